#pragma once

#include <QStringList>

#include <functional>

class TmainDlg;

// What the keyboard and drops on the list do in the main window.
struct KeyActions {
    std::function<void()> add, convert, stop, pause, import, exportList, deleteRows;
    std::function<void(const QStringList& paths)> dropped;
};

// The keyboard does what the mouse does, and only when the mouse could: a
// tool's keys act while its button is enabled. Also the focus order and
// what assistive technology says of the controls.
void bindKeys(TmainDlg& window, const KeyActions& actions);

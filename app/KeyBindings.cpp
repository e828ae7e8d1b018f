#include "KeyBindings.h"

#include "FSProgressBar.h"
#include "Guarded.h"
#include "JobListView.h"
#include "MyButtonEx.h"
#include "imagebutton.h"
#include "mainForm.h"

#include <QShortcut>

void bindKeys(TmainDlg& window, const KeyActions& actions)
{
    const auto onKeys = [&window](const QList<QKeySequence>& keys, const std::function<void()>& act) {
        for (const QKeySequence& key : keys)
            QObject::connect(new QShortcut(key, &window), &QShortcut::activated, &window, guarded(act));
    };
    const auto whenEnabled = [](TImageButton* button, const std::function<void()>& act) {
        return [button, act] {
            if (button->Enabled())
                act();
        };
    };
    onKeys({QKeySequence("Ctrl+O"), QKeySequence(Qt::Key_Insert), QKeySequence("Alt+A")},
        whenEnabled(window.btnAdd, actions.add));
    onKeys({QKeySequence("Ctrl+Return"), QKeySequence("Ctrl+Enter"), QKeySequence("Alt+C")},
        whenEnabled(window.btnConvert, actions.convert));
    onKeys({QKeySequence(Qt::Key_Escape), QKeySequence("Alt+S")}, whenEnabled(window.btnStop, actions.stop));
    onKeys({QKeySequence("Ctrl+P"), QKeySequence("Alt+P"), QKeySequence("Alt+R")}, actions.pause);
    onKeys({QKeySequence("Ctrl+I")}, actions.import);
    onKeys({QKeySequence("Ctrl+E")}, actions.exportList);
    // On the list, Delete deletes the selected row as the popup's entry does;
    // Return opens the properties as a double-click does (onShowItemProperties).
    JobListView& view = *window.VirtualStringTree1;
    view.onDeleteKey = guarded(actions.deleteRows);
    // Dropped files and folders come in as files passed on the command line do.
    view.onDropped = guarded(actions.dropped);

    // Tab goes along the tools, into the list, then to the list buttons.
    QWidget* order[] = {window.btnAdd, window.btnConvert, window.btnStop, window.btnSupport, window.VirtualStringTree1,
        window.btnImport, window.btnExport};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    // What assistive technology says of the controls.
    const std::pair<QWidget*, const char*> names[] = {{window.btnAdd, QT_TRANSLATE_NOOP("KeyBindings", "Add")},
        {window.btnConvert, QT_TRANSLATE_NOOP("KeyBindings", "Convert")},
        {window.btnStop, QT_TRANSLATE_NOOP("KeyBindings", "Stop")},
        {window.btnSupport, QT_TRANSLATE_NOOP("KeyBindings", "Support")},
        {window.btnList, QT_TRANSLATE_NOOP("KeyBindings", "List")},
        {window.btnOption, QT_TRANSLATE_NOOP("KeyBindings", "Option")},
        {window.btnImport, QT_TRANSLATE_NOOP("KeyBindings", "Import")},
        {window.btnExport, QT_TRANSLATE_NOOP("KeyBindings", "Export")},
        {&view, QT_TRANSLATE_NOOP("KeyBindings", "Job list")},
        {window.ProgressBar1, QT_TRANSLATE_NOOP("KeyBindings", "Progress of the run")}};
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QCoreApplication::translate("KeyBindings", name));
}

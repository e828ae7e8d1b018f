#pragma once

#include <QCoreApplication>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class JobListModel;
class QWidget;
class TCommandManager;
class TFileDialog;
struct TItemNodeData;

// The Item Property dialog for one or several items, and what its OK does.
// Between runs a chosen format, folder or size limit goes to every item
// shown (that is how an item is aimed anew); during a run it goes to the
// items still waiting, while those that run or ended keep what they ran with.
class ItemProperties final {
    Q_DECLARE_TR_FUNCTIONS(ItemProperties)

public:
    ItemProperties(JobListModel& jobs, const TCommandManager& catalogue, const std::string& ffmpegPath);

    // Shows the dialog for nodes (those no longer listed are left out) and
    // applies what OK chose; running tells whether a run goes on, as the
    // dialog opens and as it closes. While it is open, openDialog holds it.
    void edit(const std::vector<TItemNodeData*>& nodes, const std::function<bool()>& running, QWidget* parent,
        QPointer<TFileDialog>& openDialog);

    // The items of nodes that a change would reach: all of them between runs,
    // only the waiting ones during a run.
    static std::vector<TItemNodeData*> changeable(const std::vector<TItemNodeData*>& nodes, bool duringRun);

private:
    JobListModel& m_jobs;
    const TCommandManager& m_catalogue;
    std::string m_ffmpegPath;
};

// Greys out, in a dialog's chooser, the formats this machine cannot make, each saying why.
void markUnavailableFormats(TFileDialog& dialog, const TCommandManager& catalogue, const std::string& ffmpegPath);

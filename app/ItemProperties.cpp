#include "ItemProperties.h"

#include "FfmpegAbilities.h"
#include "FlatEditUnit.h"
#include "ItemForm.h"
#include "JobListModel.h"
#include "MyListBox.h"
#include "SizeLimitField.h"
#include "commandManager.h"
#include "consts.h"
#include "overwriteManager.h"

#include <QPlainTextEdit>

#include <algorithm>

void markUnavailableFormats(TFileDialog& dialog, const TCommandManager& catalogue, const std::string& ffmpegPath)
{
    // A format this machine cannot make stays in its place, so indexes keep, and says why.
    const FfmpegProbe::Answer abilities = FfmpegProbe::of(ffmpegPath)->answer();
    for (int i = 0; i < static_cast<int>(catalogue.Formats().size()); ++i) {
        if (const Wording why = catalogue.unavailability(i, abilities.get()); !why.empty())
            dialog.setUnavailable(i, QString::fromStdString(why.shown));
    }
}

ItemProperties::ItemProperties(JobListModel& jobs, const TCommandManager& catalogue, const std::string& ffmpegPath)
    : m_jobs(jobs)
    , m_catalogue(catalogue)
    , m_ffmpegPath(ffmpegPath)
{ }

std::vector<TItemNodeData*> ItemProperties::changeable(const std::vector<TItemNodeData*>& nodes, bool duringRun)
{
    std::vector<TItemNodeData*> reached;
    for (TItemNodeData* node : nodes) {
        if (!duringRun || node->State == ItemState::waiting)
            reached.push_back(node);
    }
    return reached;
}

void ItemProperties::edit(const std::vector<TItemNodeData*>& chosen, const std::function<bool()>& running,
    QWidget* parent, QPointer<TFileDialog>& openDialog)
{
    std::vector<TItemNodeData*> nodes;
    for (TItemNodeData* node : chosen) {
        if (node && m_jobs.indexOf(node) >= 0)
            nodes.push_back(node);
    }
    if (nodes.empty())
        return;
    TItemDlg dialog(m_catalogue.shownFormats(), parent);
    markUnavailableFormats(dialog, m_catalogue, m_ffmpegPath);
    const TItemData& first = nodes.front()->Item;
    const auto allAlike = [&nodes](const auto& field) {
        return std::all_of(
            nodes.begin(), nodes.end(), [&](const TItemNodeData* node) { return field(*node) == field(*nodes[0]); });
    };
    const bool oneFormat = allAlike([](const TItemNodeData& node) { return node.Item.FormatIndex; });
    const bool onePath = allAlike([](const TItemNodeData& node) { return node.Item.Path; });
    const bool oneSizeLimit = allAlike([](const TItemNodeData& node) { return node.Item.SizeLimit; });
    const bool knownFormat = oneFormat && m_catalogue.isValidIndex(first.FormatIndex);
    for (const TItemNodeData* node : nodes)
        dialog.MyListBox1->addItem(node->Item.FileName);
    // Differing values show as such, and stay each item's own unless one is chosen.
    const QString several = tr("(several)");
    if (!oneFormat)
        dialog.ComboBox1->setPlaceholderText(several);
    dialog.ComboBox1->setCurrentIndex(knownFormat ? first.FormatIndex : -1);
    if (onePath)
        dialog.etDirectory->setText(first.Path);
    else
        dialog.etDirectory->setPlaceholderText(several);
    QPlainTextEdit& memo = *dialog.Memo1;
    if (nodes.size() == 1) {
        const std::string fileName = first.FileName.toStdString();
        memo.appendPlainText(tr("file name: %1").arg(QString::fromStdString(extractFileName(fileName))));
        memo.appendPlainText(tr("file size: %1 Bytes").arg(GetFileSize(fileName)));
        // A converted item's note: what was checked, or why not, and damage met.
        if (nodes.front()->State == ItemState::done && !nodes.front()->Remark.isEmpty())
            memo.appendPlainText(tr("note: %1").arg(nodes.front()->Remark));
    } else {
        // An input that is gone blocks nothing here: the others may still be changed.
        std::int64_t total = 0;
        int missing = 0;
        for (const TItemNodeData* node : nodes) {
            try {
                total += GetFileSize(node->Item.FileName.toStdString());
            } catch (const std::exception&) {
                ++missing;
            }
        }
        memo.appendPlainText(tr("file count: %1").arg(nodes.size()));
        memo.appendPlainText(tr("file size: %1 Bytes in all").arg(total)
            + (missing > 0 ? tr(" (%1 not found)").arg(missing) : QString()));
    }
    if (!oneFormat) {
        dialog.showSeveralFormats();
    } else if (!knownFormat) {
        // Nothing in the list stands for the item's format: say so, and keep
        // it unless the user picks one.
        memo.appendPlainText(tr("format: unknown (number %1), choose one").arg(first.FormatIndex));
    }
    if (!onePath)
        dialog.showSeveralPaths();
    if (oneSizeLimit)
        dialog.sizeLimitField->setBytes(first.SizeLimit);
    else
        dialog.showSeveralSizeLimits();
    // During a run, what ran or runs keeps what it ran with.
    if (const std::size_t reached = changeable(nodes, running()).size(); reached < nodes.size())
        memo.appendPlainText(tr("a change applies to the waiting items only: %n of %1; the others keep theirs", nullptr,
            static_cast<int>(reached))
                                 .arg(nodes.size()));
    openDialog = &dialog;
    dialog.exec();
    if (!dialog.OK())
        return;
    std::vector<TItemNodeData*> listed;
    for (TItemNodeData* node : nodes) {
        if (m_jobs.indexOf(node) >= 0)
            listed.push_back(node);
    }
    for (TItemNodeData* node : changeable(listed, running())) {
        if (dialog.formatIndex() >= 0)
            node->Item.FormatIndex = dialog.formatIndex();
        if (onePath || dialog.directoryChosen())
            node->Item.Path = dialog.directory();
        if ((oneSizeLimit || dialog.sizeLimitField->changed())
            && node->Item.SizeLimit != dialog.sizeLimitField->bytes()) {
            node->Item.SizeLimit = dialog.sizeLimitField->bytes();
            // What the last output took was measured against the old limit.
            node->OutputSize = -1;
        }
        m_jobs.nodeChanged(node);
    }
}

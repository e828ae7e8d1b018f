#include "uihook.h"

#include "ErrorReport.h"
#include "FlatEditUnit.h"
#include "JobListModel.h"
#include "MyListBox.h"
#include "addForm.h"
#include "consts.h"
#include "overwriteManager.h"

#include <QPlainTextEdit>
#include "command.h"
#include "commandManager.h"
#include "itemManager.h"
#include "mainForm.h"
#include "menuDraw.h"
#include "saveManager.h"
#include "treeManager.h"

TUIHook::TUIHook()
    : m_commandManager(std::make_unique<TCommandManager>())
    , m_itemManager(std::make_unique<TItemManager>())
    , m_menuDraw(std::make_unique<TMenuDraw>())
{ }

TUIHook::~TUIHook()
{
    // The driver first: it ends a running ffmpeg, and nothing of it may reach
    // the window afterwards.
    m_command.reset();
    m_saveManager.reset();
    m_treeManager.reset();
    if (m_window)
        m_window->VirtualStringTree1->setModel(nullptr);
    m_jobs.reset();
}

void TUIHook::HookControls(TmainDlg& window)
{
    m_window = &window;
    m_menuDraw->AttachMenu(window.PopupMenu1);
    window.btnStop->SetEnabled(false);
    setTextColor(*window.lbStop, kDisabledCaptionColor);

    m_jobs = std::make_unique<JobListModel>();
    m_treeManager = std::make_unique<TTreeManager>(*m_jobs, *m_itemManager);
    JobListView& view = *window.VirtualStringTree1;
    view.bind(m_jobs.get(), window.listImage, &m_commandManager->Formats());
    view.setPopupMenu(m_menuDraw->AttachedMenu());
    m_command = std::make_unique<TCommand>(*m_jobs, *m_commandManager);
    view.canOfferMenu = [this] { return m_command->Idle(); };
    view.onShowItemProperties = [this, &view] { ShowItemProperties(m_jobs->nodeAt(view.currentIndex().row())); };
    m_saveManager = std::make_unique<TSaveManager>(*m_jobs);
}

void TUIHook::ShowItemProperties(TItemNodeData* node)
{
    if (!node || m_jobs->indexOf(node) < 0)
        return;
    TItemDlg dialog(m_commandManager->Formats(), m_window);
    TItemData& item = node->Item;
    dialog.MyListBox1->addItem(item.FileName);
    const bool knownFormat = m_commandManager->isValidIndex(item.FormatIndex);
    dialog.ComboBox1->setCurrentIndex(knownFormat ? item.FormatIndex : -1);
    dialog.etDirectory->setText(item.Path);
    const std::string fileName = item.FileName.toStdString();
    dialog.Memo1->appendPlainText(QString::fromStdString("file name: " + extractFileName(fileName)));
    try {
        dialog.Memo1->appendPlainText(QString("file size: %1 Bytes").arg(GetFileSize(fileName)));
    } catch (const std::exception& e) {
        reportError(e.what());
        return;
    }
    if (!knownFormat) {
        // Nothing in the list stands for the item's format: say so, and keep
        // it unless the user picks one.
        dialog.Memo1->appendPlainText(QString("format: unknown (number %1), choose one").arg(item.FormatIndex));
    }
    dialog.exec();
    if (!dialog.OK() || !m_command->Idle())
        return;
    if (dialog.formatIndex() >= 0)
        item.FormatIndex = dialog.formatIndex();
    item.Path = dialog.directory();
    m_jobs->nodeChanged(node);
}

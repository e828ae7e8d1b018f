#include "uihook.h"

#include "JobListModel.h"
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
    view.onShowItemProperties = [this] { ShowItemProperties(); };
    m_saveManager = std::make_unique<TSaveManager>(*m_jobs);
}

void TUIHook::ShowItemProperties() { }

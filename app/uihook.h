#pragma once

#include <memory>

class JobListModel;
struct TItemNodeData;
class TCommand;
class TCommandManager;
class TItemManager;
class TMenuDraw;
class TSaveManager;
class TTreeManager;
class TmainDlg;

// The main window's controller: owns the program-wide objects and binds the
// window's controls to them.
class TUIHook final {
public:
    // Creates the format catalogue, the staging list and the menu painter.
    TUIHook();
    ~TUIHook();
    TUIHook(const TUIHook&) = delete;
    TUIHook& operator=(const TUIHook&) = delete;

    // Binds the window's controls, then creates the job list, the driver and
    // the list import and export on its job list view.
    void HookControls(TmainDlg& window);

    TCommandManager& catalogue() const { return *m_commandManager; }
    TItemManager& staging() const { return *m_itemManager; }
    TMenuDraw& menuDraw() const { return *m_menuDraw; }
    JobListModel* jobs() const { return m_jobs.get(); }
    TTreeManager* treeManager() const { return m_treeManager.get(); }
    TCommand* driver() const { return m_command.get(); }
    TSaveManager* saveManager() const { return m_saveManager.get(); }

    // Shows the Item Property dialog for node and applies the chosen format
    // and directory, unless a conversion is running by the time it closes.
    void ShowItemProperties(TItemNodeData* node);

private:
    TmainDlg* m_window = nullptr;
    std::unique_ptr<TCommandManager> m_commandManager;
    std::unique_ptr<TItemManager> m_itemManager;
    std::unique_ptr<TMenuDraw> m_menuDraw;
    std::unique_ptr<JobListModel> m_jobs;
    std::unique_ptr<TTreeManager> m_treeManager;
    std::unique_ptr<TCommand> m_command;
    std::unique_ptr<TSaveManager> m_saveManager;
};

#include "treeManager.h"

#include "JobListModel.h"
#include "itemManager.h"

TTreeManager::TTreeManager(JobListModel& model, TItemManager& staging)
    : m_model(model)
    , m_staging(staging)
{ }

void TTreeManager::AddItems(const QStringList& files)
{
    if (files.isEmpty())
        return;
    for (int i = 0; i < files.size(); ++i) {
        TItemData item;
        item.FileName = files[i];
        item.FormatIndex = m_staging.GetFormatIndex(i);
        item.Path = QString::fromStdString(m_staging.GetPath(i));
        m_model.append(item);
    }
    m_staging.Clear();
}

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

QString TTreeManager::HintText(const TItemData& item, const std::vector<std::string>& formats)
{
    const bool known = item.FormatIndex >= 0 && item.FormatIndex < static_cast<int>(formats.size());
    // A format the catalogue does not list is shown by its number.
    const std::string format = known ? formats[static_cast<std::size_t>(item.FormatIndex)]
                                     : "(unknown format " + std::to_string(item.FormatIndex) + ")";
    return "[File Name]: " + item.FileName + "\n[format]: " + QString::fromStdString(format) + "\n[path]: " + item.Path;
}

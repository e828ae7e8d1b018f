#include "treeManager.h"

#include "JobListModel.h"
#include "itemManager.h"

#include <QCoreApplication>

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
        item.SizeLimit = m_staging.GetSizeLimit(i);
        item.Subfolder = QString::fromStdString(m_staging.GetSubfolder(i));
        m_model.append(item);
    }
    m_staging.Clear();
}

QString TTreeManager::HintText(const TItemData& item, const std::vector<std::string>& formats)
{
    const bool known = item.FormatIndex >= 0 && item.FormatIndex < static_cast<int>(formats.size());
    // A format the catalogue does not list is shown by its number.
    const QString format = known
        ? QString::fromStdString(formats[static_cast<std::size_t>(item.FormatIndex)])
        : QCoreApplication::translate("TTreeManager", "(unknown format %1)").arg(item.FormatIndex);
    return QCoreApplication::translate("TTreeManager", "[File Name]: %1\n[format]: %2\n[path]: %3")
        .arg(item.FileName, format, item.Path);
}

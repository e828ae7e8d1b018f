#include "JobListModel.h"

struct JobListModel::Entry {
    TItemNodeData data;
    int row = 0;
};

namespace {

// The record sits at the start of its entry, so a record pointer is an entry pointer.
template <typename Entry> Entry* entryOf(const TItemNodeData* node)
{
    static_assert(offsetof(Entry, data) == 0);
    return reinterpret_cast<Entry*>(const_cast<TItemNodeData*>(node));
}

} // namespace

JobListModel::JobListModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

JobListModel::~JobListModel() = default;

int JobListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int JobListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant JobListModel::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeAt(index.row());
    if (!node || role != Qt::DisplayRole)
        return {};
    return index.column() == 0 ? node->Item.FileName : QString();
}

JobListModel::Node* JobListModel::append(const TItemData& item)
{
    const int row = count();
    beginInsertRows({}, row, row);
    auto entry = std::make_unique<Entry>();
    entry->row = row;
    entry->data.Kind = 1;
    entry->data.State = kStateQueued;
    entry->data.Item = item;
    Node* node = &entry->data;
    m_nodes.push_back(std::move(entry));
    m_listed.insert(node);
    endInsertRows();
    return node;
}

JobListModel::Node* JobListModel::nodeAt(int row) const
{
    return (row >= 0 && row < count()) ? &m_nodes[static_cast<std::size_t>(row)]->data : nullptr;
}

JobListModel::Node* JobListModel::next(const Node* node) const
{
    const int row = indexOf(node);
    return row < 0 ? nullptr : nodeAt(row + 1);
}

int JobListModel::indexOf(const Node* node) const
{
    if (!m_listed.contains(node))
        return -1;
    return entryOf<Entry>(node)->row;
}

void JobListModel::remove(Node* node)
{
    const int row = indexOf(node);
    if (row < 0)
        return;
    emit nodeAboutToBeRemoved(node);
    beginRemoveRows({}, row, row);
    m_listed.erase(node);
    m_nodes.erase(m_nodes.begin() + row);
    for (std::size_t i = static_cast<std::size_t>(row); i < m_nodes.size(); ++i)
        m_nodes[i]->row = static_cast<int>(i);
    endRemoveRows();
}

void JobListModel::clear()
{
    if (m_nodes.empty())
        return;
    for (const auto& entry : m_nodes)
        emit nodeAboutToBeRemoved(&entry->data);
    beginResetModel();
    m_listed.clear();
    m_nodes.clear();
    endResetModel();
}

void JobListModel::nodeChanged(const Node* node)
{
    const int row = indexOf(node);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, 1));
}

#include "JobListModel.h"

#include <algorithm>

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

Qt::ItemFlags JobListModel::flags(const QModelIndex& index) const
{
    if (!nodeAt(index.row()) || index.parent().isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

JobListModel::Node* JobListModel::append(const TItemData& item)
{
    const int row = count();
    beginInsertRows({}, row, row);
    auto entry = std::make_unique<Entry>();
    entry->row = row;
    entry->data.Kind = 1;
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

void JobListModel::removeIf(const std::function<bool(const Node& node)>& wanted)
{
    std::vector<Node*> picked;
    for (const auto& entry : m_nodes) {
        if (wanted(entry->data))
            picked.push_back(&entry->data);
    }
    for (Node* node : picked)
        remove(node);
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

bool JobListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
    const QModelIndex& destinationParent, int destinationChild)
{
    const int last = sourceRow + count - 1;
    if (sourceParent.isValid() || destinationParent.isValid() || count <= 0 || sourceRow < 0 || last >= this->count()
        || destinationChild < 0 || destinationChild > this->count()
        || (destinationChild >= sourceRow && destinationChild <= last + 1))
        return false;
    beginMoveRows({}, sourceRow, last, {}, destinationChild);
    const auto begin = m_nodes.begin();
    if (destinationChild < sourceRow)
        std::rotate(begin + destinationChild, begin + sourceRow, begin + last + 1);
    else
        std::rotate(begin + sourceRow, begin + last + 1, begin + destinationChild);
    const int from = std::min(sourceRow, destinationChild);
    const int to = std::max(last + 1, destinationChild);
    for (int row = from; row < to; ++row)
        m_nodes[static_cast<std::size_t>(row)]->row = row;
    endMoveRows();
    return true;
}

void JobListModel::move(const std::vector<Node*>& nodes, const Node* before)
{
    std::vector<Node*> listed;
    for (Node* node : nodes) {
        if (indexOf(node) >= 0)
            listed.push_back(node);
    }
    std::sort(listed.begin(), listed.end(), [this](const Node* a, const Node* b) { return indexOf(a) < indexOf(b); });
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    // Before one of the moved nodes means before the first one after them that stays.
    while (before && std::find(listed.begin(), listed.end(), before) != listed.end())
        before = next(before);
    if (before && indexOf(before) < 0)
        return;
    // From the last: each goes just before the one placed after it, so those
    // already in place do not move at all.
    for (auto node = listed.rbegin(); node != listed.rend(); ++node) {
        moveRows({}, indexOf(*node), 1, {}, before ? indexOf(before) : count());
        before = *node;
    }
}

void JobListModel::setState(Node* node, ItemState state)
{
    if (indexOf(node) < 0)
        return;
    if (!isWorking(node->State) && isWorking(state)) {
        node->Failure.clear();
        node->Output.clear();
        node->OutputSize = -1;
        node->Remark.clear();
        node->Log.clear();
        node->Progress = ItemProgress();
    }
    if (!isWorking(state)) {
        node->Progress = ItemProgress();
        node->Item.ActivityPos = 0;
    }
    node->State = state;
    nodeChanged(node);
}

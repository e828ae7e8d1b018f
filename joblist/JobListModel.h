#pragma once

#include "ItemData.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

// The job list: a flat list of nodes, each with its TItemNodeData, shown in
// two columns (the file, and the activity of a running item). Node records
// keep their address for their whole life, so the driver may hold one while
// it runs; rows are tracked in the records so that index lookups are O(1).
class JobListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    using Node = TItemNodeData;

    explicit JobListModel(QObject* parent = nullptr);
    ~JobListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Every row can be selected and dragged to another place in the list.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int count() const { return static_cast<int>(m_nodes.size()); }
    // Appends a queued job item at the end and returns its node.
    Node* append(const TItemData& item);
    Node* first() const { return nodeAt(0); }
    Node* next(const Node* node) const;
    Node* nodeAt(int row) const;
    // Row of node (a record of this list), or -1 when it was removed.
    int indexOf(const Node* node) const;
    void remove(Node* node);
    // Removes every node that wanted picks.
    void removeIf(const std::function<bool(const Node& node)>& wanted);
    void clear();
    // Moves nodes (records of this list) to stand together, in their list
    // order, just before the node before, or at the end without one. Records
    // keep their addresses, so whoever holds one still finds it by indexOf.
    void move(const std::vector<Node*>& nodes, const Node* before);
    // Moves count rows from sourceRow to before destinationChild (a row as
    // the list is before the move); false for a move that is no move.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent,
        int destinationChild) override;
    // Tells views that a node's record changed and wants repainting.
    void nodeChanged(const Node* node);
    // Where the node's item is now, as its lane (or a kept queue) says; the
    // one way a node's state changes. A start clears what the last run left
    // (its failure, output, remark, log); leaving the working states clears
    // the progress and the activity block.
    void setState(Node* node, ItemState state);

signals:
    void nodeAboutToBeRemoved(JobListModel::Node* node);

private:
    struct Entry;
    std::vector<std::unique_ptr<Entry>> m_nodes;
    // The records of the list, so that a removed one is told apart without reading it.
    std::unordered_set<const Node*> m_listed;
};

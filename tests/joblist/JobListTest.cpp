#include "JobListModel.h"
#include "itemManager.h"
#include "treeManager.h"
#include "TempDir.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TEST(JobList, AddItemsTakesEachFilesStagedFormatAndPath)
{
    JobListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    TItemManager staging;
    TTreeManager tree(model, staging);

    tree.AddItems({});
    EXPECT_EQ(model.count(), 0);

    staging.AddItem("/v/a.avi", 3, "/out/");
    staging.AddItem("/v/caf\xC3\xA9 & <b>.avi", 0, "");
    staging.AddItem("/v/a.avi", 1, "/x/");
    tree.AddItems({QString::fromUtf8("/v/a.avi"), QString::fromUtf8("/v/caf\xC3\xA9 & <b>.avi"), "/v/a.avi"});
    EXPECT_EQ(staging.Count(), 0) << "the staging list is emptied";
    ASSERT_EQ(model.count(), 3) << "duplicates are kept";
    const TItemNodeData* second = model.nodeAt(1);
    EXPECT_EQ(second->Kind, 1);
    EXPECT_EQ(second->State, ItemState::waiting);
    EXPECT_EQ(second->Item.FileName, QString::fromUtf8("/v/caf\xC3\xA9 & <b>.avi"));
    EXPECT_EQ(second->Item.FormatIndex, 0);
    EXPECT_EQ(second->Item.Path, "");
    EXPECT_EQ(model.nodeAt(0)->Item.FormatIndex, 3);
    EXPECT_EQ(model.nodeAt(2)->Item.Path, "/x/");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), second->Item.FileName);
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), "");

    // An empty file list leaves a filled staging list alone.
    staging.AddItem("/v/z.avi", 2, "");
    tree.AddItems({});
    EXPECT_EQ(staging.Count(), 1);
}

TEST(JobList, NodesKeepTheirRowsThroughRemovals)
{
    JobListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<JobListModel::Node*> nodes;
    for (int i = 0; i < 5; ++i) {
        TItemData item;
        item.FileName = QString::number(i);
        nodes.push_back(model.append(item));
    }
    EXPECT_EQ(model.first(), nodes[0]);
    EXPECT_EQ(model.next(nodes[3]), nodes[4]);
    EXPECT_EQ(model.next(nodes[4]), nullptr);

    QSignalSpy removing(&model, &JobListModel::nodeAboutToBeRemoved);
    model.remove(nodes[1]);
    EXPECT_EQ(removing.count(), 1);
    EXPECT_EQ(model.indexOf(nodes[2]), 1);
    EXPECT_EQ(model.indexOf(nodes[4]), 3);
    EXPECT_EQ(model.next(nodes[0]), nodes[2]);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.nodeChanged(nodes[4]);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 3);

    // A removed record is gone; asking for it must not read it (the sanitizer build checks).
    EXPECT_EQ(model.indexOf(nodes[1]), -1);
    EXPECT_EQ(model.next(nodes[1]), nullptr);
    model.nodeChanged(nodes[1]);
    EXPECT_EQ(changed.count(), 1);

    model.clear();
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.first(), nullptr);
    EXPECT_EQ(removing.count(), 5);
    EXPECT_EQ(model.indexOf(nodes[0]), -1);
    EXPECT_EQ(model.indexOf(nodes[4]), -1);
}

// The file names of the list, in order, as one string: "0 2 1".
std::string order(const JobListModel& model)
{
    std::string names;
    for (int row = 0; row < model.count(); ++row)
        names += (row ? " " : "") + model.nodeAt(row)->Item.FileName.toStdString();
    return names;
}

TEST(JobList, MovesKeepTheRecordsAndTheirRowsRight)
{
    JobListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<JobListModel::Node*> n;
    for (int i = 0; i < 6; ++i) {
        TItemData item;
        item.FileName = QString::number(i);
        n.push_back(model.append(item));
    }
    const QPersistentModelIndex held = model.index(4, 0);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    struct Case {
        std::vector<int> nodes; // by their first names
        int before; // a first name, or -1 for the end
        const char* order;
    };
    // Each case starts from the order the one before left.
    const Case cases[] = {
        {{4}, 3, "0 1 2 4 3 5"}, // one up
        {{4}, 5, "0 1 2 3 4 5"}, // one down (before the one after its neighbour)
        {{0}, -1, "1 2 3 4 5 0"}, // to the end
        {{0}, 1, "0 1 2 3 4 5"}, // to the top
        {{5, 1, 3}, 0, "1 3 5 0 2 4"}, // scattered, given in any order, together in list order
        {{1, 3}, 1, "1 3 5 0 2 4"}, // before one of themselves: where they are, nothing moves
        {{3, 5}, 3, "1 3 5 0 2 4"}, {{1, 5}, 4, "3 0 2 1 5 4"}, {{4}, -1, "3 0 2 1 5 4"}, // already at the end
    };
    int movesSoFar = 0;
    std::string lastOrder = order(model);
    for (const Case& c : cases) {
        std::vector<JobListModel::Node*> nodes;
        for (int name : c.nodes)
            nodes.push_back(n[static_cast<std::size_t>(name)]);
        model.move(nodes, c.before < 0 ? nullptr : n[static_cast<std::size_t>(c.before)]);
        EXPECT_EQ(order(model), c.order);
        for (int row = 0; row < model.count(); ++row)
            EXPECT_EQ(model.indexOf(model.nodeAt(row)), row) << c.order;
        if (order(model) == lastOrder) {
            EXPECT_EQ(moved.count(), movesSoFar) << "nothing moved, nothing said: " << c.order;
        }
        movesSoFar = static_cast<int>(moved.count());
        lastOrder = order(model);
    }
    EXPECT_EQ(moved.count(), 9) << "one move per node that moved, none for those already in place";
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(removed.count(), 0) << "a move is no removal: the driver is not told of one";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(n[static_cast<std::size_t>(i)]->Item.FileName, QString::number(i)) << "records keep their addresses";
    EXPECT_EQ(held.row(), model.indexOf(n[4])) << "views' indexes follow the node";

    // Removed records and moves that are none change nothing.
    model.remove(n[2]);
    const std::string before = order(model);
    model.move({n[2]}, nullptr);
    model.move({n[0]}, n[2]);
    EXPECT_FALSE(model.moveRows({}, 0, 1, {}, 1)) << "before its own successor: no move";
    EXPECT_FALSE(model.moveRows({}, 0, 9, {}, 0));
    EXPECT_FALSE(model.moveRows({}, 0, 1, {}, 99));
    EXPECT_FALSE(model.moveRows(model.index(0, 0), 0, 1, {}, 3)) << "no children";
    EXPECT_EQ(order(model), before);
    EXPECT_TRUE(model.moveRows({}, 0, 2, {}, 5));
    EXPECT_EQ(order(model), "1 5 4 3 0");
}

TEST(JobList, StagedFormatThatIsNotANumberReadsAsNoFormat)
{
    TItemManager staging;
    staging.AddItem("/a", 12, "/p/");
    EXPECT_EQ(staging.GetFormatIndex(0), 12);
    EXPECT_EQ(staging.GetPath(0), "/p/");
    EXPECT_EQ(staging.GetFormatIndex(5), -1);
    EXPECT_EQ(staging.GetPath(5), "");
}

} // namespace

int main(int argc, char* argv[])
{
    useEnglishLocale();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

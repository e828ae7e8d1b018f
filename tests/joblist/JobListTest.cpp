#include "JobListModel.h"
#include "itemManager.h"
#include "treeManager.h"

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
    EXPECT_EQ(second->State, kStateQueued);
    EXPECT_EQ(second->Item.FileName, QString::fromUtf8("/v/caf\xC3\xA9 & <b>.avi"));
    EXPECT_EQ(second->Item.FormatIndex, 0);
    EXPECT_EQ(second->Item.Path, "");
    EXPECT_EQ(model.nodeAt(0)->Item.FormatIndex, 3);
    EXPECT_EQ(model.nodeAt(2)->Item.Path, "/x/");
    EXPECT_FALSE(second->Item.Busy);
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
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "JobListModel.h"
#include "TempDir.h"
#include "itemManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

void add(JobListModel& model, const char* file, std::int64_t sizeLimit)
{
    TItemData item;
    item.FileName = file;
    item.FormatIndex = 1;
    item.Path = "/out/";
    item.SizeLimit = sizeLimit;
    model.append(item);
}

std::vector<std::int64_t> sizeLimits(const JobListModel& model)
{
    std::vector<std::int64_t> limits;
    for (int row = 0; row < model.count(); ++row)
        limits.push_back(model.nodeAt(row)->Item.SizeLimit);
    return limits;
}

TEST(SizeLimitList, ExportWritesSizeAfterPathOnlyWhenSetAndImportReadsItBack)
{
    TempDir dir;
    JobListModel model;
    add(model, "/v/a.avi", 25'000'000);
    add(model, "/v/b.avi", 0);
    add(model, "/v/c.avi", 9'000'000'000'000'000'000);
    TSaveManager manager(model);
    manager.ExportToFile(dir.file("list.qfl"));
    EXPECT_EQ(readFileBytes(dir.file("list.qfl")),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<list>\r\n"
        "  <item>\r\n"
        "    <filename>/v/a.avi</filename>\r\n"
        "    <format>1</format>\r\n"
        "    <path>/out/</path>\r\n"
        "    <size>25000000</size>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/b.avi</filename>\r\n"
        "    <format>1</format>\r\n"
        "    <path>/out/</path>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/c.avi</filename>\r\n"
        "    <format>1</format>\r\n"
        "    <path>/out/</path>\r\n"
        "    <size>9000000000000000000</size>\r\n"
        "  </item>\r\n"
        "</list>\r\n");
    JobListModel imported;
    TSaveManager importer(imported);
    importer.ImportFromFile(dir.file("list.qfl"));
    EXPECT_EQ(sizeLimits(imported), (std::vector<std::int64_t> {25'000'000, 0, 9'000'000'000'000'000'000}));
    // Exported again, byte for byte the same.
    importer.ExportToFile(dir.file("again.qfl"));
    EXPECT_EQ(readFileBytes(dir.file("again.qfl")), readFileBytes(dir.file("list.qfl")));
}

TEST(SizeLimitList, OldListsAndElementsNotKnownLoad)
{
    TempDir dir;
    // A list from before size limits: its items have none.
    writeFileBytes(dir.file("old.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<list>\r\n  <item>\r\n    <filename>/v/a.avi</filename>\r\n"
        "    <format>2</format>\r\n    <path/>\r\n  </item>\r\n</list>\r\n");
    // A list from a later Calvera, with elements this one does not know, before and after <size>.
    writeFileBytes(dir.file("new.qfl"),
        "<list><item><filename>/v/b.avi</filename><format>3</format><path>/o/</path>"
        "<subfolder>trip/day 1</subfolder><size>1048576</size><colour>red</colour>"
        "<later><nested>x</nested></later></item></list>");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("old.qfl"));
    manager.ImportFromFile(dir.file("new.qfl"));
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.nodeAt(0)->Item.FormatIndex, 2);
    EXPECT_EQ(model.nodeAt(1)->Item.FormatIndex, 3);
    EXPECT_EQ(model.nodeAt(1)->Item.Path, "/o/");
    EXPECT_EQ(sizeLimits(model), (std::vector<std::int64_t> {0, 1'048'576}));
}

TEST(SizeLimitList, ASizeThatIsNoCountOfBytesLoadsAsNoLimit)
{
    EXPECT_EQ(sizeLimitValue("25000000"), 25'000'000);
    EXPECT_EQ(sizeLimitValue(" \n 42\t"), 42) << "blanks around it, as an indented file has them";
    EXPECT_EQ(sizeLimitValue("9223372036854775807"), 9'223'372'036'854'775'807);
    for (const char* bad :
        {"", "-5", "+5", "abc", "25M", "1.5", "1e6", "9223372036854775808", "99999999999999999999", "4 2", "0x10"})
        EXPECT_EQ(sizeLimitValue(bad), 0) << bad;

    TempDir dir;
    writeFileBytes(dir.file("bad.qfl"),
        "<list><item><filename>/v/a.avi</filename><format>0</format><path/><size>-1</size></item>"
        "<item><filename>/v/b.avi</filename><format>0</format><path/><size>lots</size></item>"
        "<item><filename>/v/c.avi</filename><format>0</format><path/><size>18446744073709551616</size></item>"
        "<item><filename>/v/d.avi</filename><format>0</format><path/><size>700</size></item></list>");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("bad.qfl"));
    EXPECT_EQ(sizeLimits(model), (std::vector<std::int64_t> {0, 0, 0, 700})) << "the item loads, without a limit";
}

TEST(SizeLimitList, TheKeptQueueKeepsTheLimitBeforeTheState)
{
    TempDir dir;
    JobListModel model;
    add(model, "/v/a.avi", 2'000'000);
    add(model, "/v/b.avi", 0);
    model.setState(model.nodeAt(0), ItemState::done);
    TSaveManager manager(model);
    const std::string queue = manager.QueueText();
    EXPECT_NE(queue.find("    <path>/out/</path>\r\n    <size>2000000</size>\r\n    <state>done</state>\r\n"),
        std::string::npos)
        << queue;
    EXPECT_EQ(queue.find("<size>", queue.find("/v/b.avi")), std::string::npos) << "none without a limit";
    JobListModel restored;
    TSaveManager restorer(restored);
    restorer.RestoreQueue(queue, dir.file("queue.qfl"));
    EXPECT_EQ(sizeLimits(restored), (std::vector<std::int64_t> {2'000'000, 0}));
    EXPECT_EQ(restored.nodeAt(0)->State, ItemState::done);
}

TEST(SizeLimitList, StagedLimitsReachTheirItems)
{
    JobListModel model;
    TItemManager staging;
    TTreeManager tree(model, staging);
    staging.AddItem("/v/a.avi", 1, "");
    staging.AddItem("/v/b.avi", 1, "");
    staging.AddItem("/v/c.avi", 1, "");
    staging.SetSizeLimit(1, 5'000'000);
    staging.SetSizeLimit(2, -3);
    staging.SetSizeLimit(7, 9); // no such item: nothing
    tree.AddItems({"/v/a.avi", "/v/b.avi", "/v/c.avi"});
    EXPECT_EQ(sizeLimits(model), (std::vector<std::int64_t> {0, 5'000'000, 0}));
    EXPECT_EQ(staging.Count(), 0);
    EXPECT_EQ(staging.GetSizeLimit(1), 0) << "emptied with the staging list";
}

} // namespace

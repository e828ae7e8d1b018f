// An item's folder below the tree it was queued from, in list files, the
// kept queue and the staging list.

#include "JobListModel.h"
#include "TempDir.h"
#include "itemManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TItemData item(const char* file, const char* subfolder)
{
    TItemData data;
    data.FileName = file;
    data.FormatIndex = 2;
    data.Path = "/out/";
    data.Subfolder = QString::fromUtf8(subfolder);
    return data;
}

std::vector<std::string> subfolders(const JobListModel& model)
{
    std::vector<std::string> result;
    for (int i = 0; i < model.count(); ++i)
        result.push_back(model.nodeAt(i)->Item.Subfolder.toStdString());
    return result;
}

TEST(SubfolderList, WrittenAfterThePathOnlyWhenSetAndReadBack)
{
    TempDir dir;
    JobListModel model;
    model.append(item("/v/Season 1/E01.mkv", "Season 1"));
    model.append(item("/v/top.mkv", ""));
    model.append(item("/v/S 2/Disc \xC3\xA9/E01.mkv", "S 2/Disc \xC3\xA9"));
    TSaveManager manager(model);
    const std::string path = dir.file("list.qfl");
    manager.ExportToFile(path);
    const std::string text = readFileBytes(path);
    EXPECT_NE(
        text.find("    <path>/out/</path>\r\n    <subfolder>Season 1</subfolder>\r\n  </item>"), std::string::npos)
        << text;
    EXPECT_NE(text.find("<filename>/v/top.mkv</filename>\r\n    <format>2</format>\r\n    <path>/out/</path>\r\n  "
                        "</item>"),
        std::string::npos)
        << "no element for an item that came alone: " << text;

    JobListModel read;
    TSaveManager reader(read);
    reader.ImportFromFile(path);
    EXPECT_EQ(subfolders(read), (std::vector<std::string> {"Season 1", "", "S 2/Disc \xC3\xA9"}));

    // The kept queue keeps it too, before the state.
    const std::string queue = manager.QueueText();
    EXPECT_NE(queue.find("<subfolder>Season 1</subfolder>\r\n    <state>queued</state>"), std::string::npos) << queue;
    JobListModel restored;
    TSaveManager(restored).RestoreQueue(queue, dir.file("queue.qfl"));
    EXPECT_EQ(subfolders(restored), subfolders(model));
}

TEST(SubfolderList, OldListsLoadAndUnsafeOrStrangeSubfoldersAreKeptAsWrittenOrRefused)
{
    TempDir dir;
    // A list from before subfolders, and one with what a hand-edited list may hold.
    writeFileBytes(dir.file("old.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list><item><filename>/v/a.avi</filename><format>1</format>"
        "<path>/o/</path></item></list>\n");
    writeFileBytes(dir.file("odd.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list>"
        "<item><filename>/v/a.avi</filename><format>1</format><path>/o/</path><subfolder>../../etc</subfolder>"
        "<extra>kept aside</extra></item>"
        "<item><filename>/v/b.avi</filename><format>1</format><path>/o/</path><subfolder>/abs</subfolder></item>"
        "<item><filename>/v/c.avi</filename><format>1</format><path>/o/</path><subfolder/></item>"
        "</list>\n");
    writeFileBytes(dir.file("bad.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list><item><filename>/v/a.avi</filename><format>1</format>"
        "<path>/o/</path><subfolder>\xFF</subfolder></item></list>\n");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("old.qfl"));
    manager.ImportFromFile(dir.file("odd.qfl"));
    EXPECT_EQ(subfolders(model), (std::vector<std::string> {"", "../../etc", "/abs", ""}))
        << "kept as written: planning refuses what would lead out of the output folder";
    try {
        manager.ImportFromFile(dir.file("bad.qfl"));
        ADD_FAILURE() << "a subfolder that is not UTF-8 is refused";
    } catch (const EListFileError& error) {
        EXPECT_EQ(std::string(error.what()),
            "Item 1 of \"" + dir.file("bad.qfl") + "\" has a subfolder that is not valid UTF-8.");
    }
    EXPECT_EQ(model.count(), 4);
}

TEST(SubfolderList, TheStagingListCarriesItIntoTheJobList)
{
    JobListModel model;
    TItemManager staging;
    TTreeManager tree(model, staging);
    staging.AddItem("/v/S1/a.avi", 1, "/o/");
    staging.AddItem("/v/b.avi", 1, "/o/");
    staging.SetSubfolder(0, "S1");
    staging.SetSubfolder(5, "nowhere"); // past the end: nothing
    tree.AddItems({"/v/S1/a.avi", "/v/b.avi"});
    EXPECT_EQ(subfolders(model), (std::vector<std::string> {"S1", ""}));
    EXPECT_EQ(staging.Count(), 0);
}

} // namespace

#include "JobListModel.h"
#include "TempDir.h"
#include "saveManager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

struct Job {
    std::string file;
    int format;
    std::string path;
    bool operator==(const Job&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Job& job)
{
    return out << "{" << job.file << ", " << job.format << ", " << job.path << "}";
}

void add(JobListModel& model, const Job& job)
{
    TItemData item;
    item.FileName = QString::fromStdString(job.file);
    item.FormatIndex = job.format;
    item.Path = QString::fromStdString(job.path);
    model.append(item);
}

std::vector<Job> jobs(const JobListModel& model)
{
    std::vector<Job> result;
    for (int i = 0; i < model.count(); ++i) {
        const TItemNodeData* node = model.nodeAt(i);
        EXPECT_EQ(node->State, ItemState::waiting);
        EXPECT_EQ(node->Kind, 1);
        result.push_back({node->Item.FileName.toStdString(), node->Item.FormatIndex, node->Item.Path.toStdString()});
    }
    return result;
}

std::string importError(TSaveManager& manager, const std::string& path)
{
    try {
        manager.ImportFromFile(path);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ListFile, ExportWritesTheFixedLayoutAndImportReadsItBack)
{
    TempDir dir;
    JobListModel model;
    const std::vector<Job> written = {
        {"/v/a & <b> \"c\" 'd'.avi", 3, "/out/"},
        {"/v/caf\xC3\xA9.mpg", 0, ""},
        {"/v/x.avi", -2, "/o&o/"},
    };
    for (const Job& job : written)
        add(model, job);
    TSaveManager manager(model);
    const std::string path = dir.file("list.qfl");
    manager.ExportToFile(path);
    EXPECT_EQ(readFileBytes(path),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<list>\r\n"
        "  <item>\r\n"
        "    <filename>/v/a &amp; &lt;b&gt; &quot;c&quot; &apos;d&apos;.avi</filename>\r\n"
        "    <format>3</format>\r\n"
        "    <path>/out/</path>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/caf&#xC3;&#xA9;.mpg</filename>\r\n"
        "    <format>0</format>\r\n"
        "    <path/>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/x.avi</filename>\r\n"
        "    <format>-2</format>\r\n"
        "    <path>/o&amp;o/</path>\r\n"
        "  </item>\r\n"
        "</list>\r\n");

    // Imported items come after the existing ones; importing twice doubles them.
    manager.ImportFromFile(path);
    manager.ImportFromFile(path);
    std::vector<Job> expected = written;
    expected.insert(expected.end(), written.begin(), written.end());
    expected.insert(expected.end(), written.begin(), written.end());
    EXPECT_EQ(jobs(model), expected);
}

TEST(ListFile, ImportIgnoresCaseRootNameAndWhatIsNotAnItem)
{
    TempDir dir;
    writeFileBytes(dir.file("caps.qfl"),
        "<JOBS><!-- made by hand -->\n"
        "  <ITEM><PATH>/o/</PATH><FILENAME>/v/a.avi</FILENAME>"
        "<Format>\n  7\n</Format></ITEM>\n"
        "  <entry><filename>/v/b.avi</filename><format>1</format>"
        "<format>2</format><path/></entry>\n"
        "</JOBS>");
    writeFileBytes(dir.file("empty.qfl"), "<?xml version=\"1.0\"?><list/>");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("empty.qfl"));
    manager.ImportFromFile(dir.file("missing.qfl"));
    EXPECT_EQ(model.count(), 0);
    manager.ImportFromFile(dir.file("caps.qfl"));
    EXPECT_EQ(jobs(model), (std::vector<Job> {{"/v/a.avi", 7, "/o/"}, {"/v/b.avi", 2, ""}}))
        << "of two elements with one name, the last counts";
}

TEST(ListFile, BadItemsStopTheImportAndNameTheProblem)
{
    TempDir dir;
    writeFileBytes(dir.file("abc.qfl"),
        "<list><item><filename>a</filename><format>1</format><path/></item>"
        "<item><filename>b</filename><format>abc</format><path/></item>"
        "<item><filename>c</filename><format>2</format><path/></item></list>");
    writeFileBytes(dir.file("lacking.qfl"),
        "<list><item><filename>d</filename><format>1</format><path/></item>"
        "<item><filename>e</filename><path/></item></list>");
    writeFileBytes(dir.file("broken.qfl"), "<list><item><filename>f</filename></item>");
    writeFileBytes(dir.file("huge.qfl"),
        "<list><item><filename>g</filename><format>99999999999</format>"
        "<path/></item></list>");
    JobListModel model;
    TSaveManager manager(model);
    EXPECT_EQ(importError(manager, dir.file("abc.qfl")), "'abc' is not a valid integer value");
    EXPECT_EQ(jobs(model), (std::vector<Job> {{dir.file("a"), 1, ""}})) << "items before the bad one stay";

    EXPECT_EQ(importError(manager, dir.file("lacking.qfl")),
        "Item 2 of \"" + dir.file("lacking.qfl") + "\" has no \"format\" element.");
    EXPECT_EQ(model.count(), 2);

    EXPECT_EQ(importError(manager, dir.file("broken.qfl")), "Invalid XML Element: Unexpected end of data");
    EXPECT_EQ(model.count(), 2) << "a malformed file adds nothing";

    EXPECT_EQ(importError(manager, dir.file("huge.qfl")), "'99999999999' is not a valid integer value");
}

TEST(ListFile, ExportKeepsThePrologAndRootOfTheLastImport)
{
    TempDir dir;
    writeFileBytes(dir.file("other.qfl"),
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<!-- keep -->\r\n"
        "<jobs><item><filename>/v/a</filename><format>1</format><path/></item></jobs>");
    writeFileBytes(dir.file("bare.qfl"), "<list><item><filename>b</filename><format>0</format><path/></item></list>");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("other.qfl"));
    manager.ExportToFile(dir.file("out.qfl"));
    EXPECT_EQ(readFileBytes(dir.file("out.qfl")),
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<!-- keep -->\r\n<jobs>\r\n  <item>\r\n"
        "    <filename>/v/a</filename>\r\n    <format>1</format>\r\n    <path/>\r\n  </item>\r\n</jobs>\r\n");

    model.clear();
    manager.ImportFromFile(dir.file("bare.qfl"));
    manager.ExportToFile(dir.file("out2.qfl"));
    EXPECT_TRUE(readFileBytes(dir.file("out2.qfl"))
                    .starts_with("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<list>\r\n  <item>"))
        << "a file without a declaration gets the default one";
}

TEST(ListFile, TheKeptQueueHasEachItemsStateWhichImportAndExportLeaveOut)
{
    TempDir dir;
    JobListModel model;
    TSaveManager manager(model);
    add(model, {"/v/done.avi", 3, "/out/"});
    add(model, {"/v/failed & <x>.avi", 0, ""});
    add(model, {"/v/stopped.avi", 2, ""});
    add(model, {"/v/converting.avi", 1, "/out/"});
    add(model, {"/v/queued.avi", 2, ""});
    model.setState(model.nodeAt(0), ItemState::done);
    model.setState(model.nodeAt(1), ItemState::failed);
    model.nodeAt(1)->Failure = "Invalid data found when processing input";
    model.setState(model.nodeAt(2), ItemState::stopped);
    model.setState(model.nodeAt(3), ItemState::converting);
    const std::string queue = manager.QueueText();
    EXPECT_EQ(queue,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<list>\r\n"
        "  <item>\r\n"
        "    <filename>/v/done.avi</filename>\r\n"
        "    <format>3</format>\r\n"
        "    <path>/out/</path>\r\n"
        "    <state>done</state>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/failed &amp; &lt;x&gt;.avi</filename>\r\n"
        "    <format>0</format>\r\n"
        "    <path/>\r\n"
        "    <state>failed</state>\r\n"
        "    <reason>Invalid data found when processing input</reason>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/stopped.avi</filename>\r\n"
        "    <format>2</format>\r\n"
        "    <path/>\r\n"
        "    <state>stopped</state>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/converting.avi</filename>\r\n"
        "    <format>1</format>\r\n"
        "    <path>/out/</path>\r\n"
        "    <state>queued</state>\r\n"
        "  </item>\r\n"
        "  <item>\r\n"
        "    <filename>/v/queued.avi</filename>\r\n"
        "    <format>2</format>\r\n"
        "    <path/>\r\n"
        "    <state>queued</state>\r\n"
        "  </item>\r\n"
        "</list>\r\n");

    // Restored: the same items with their outcomes, a failed one with why; converting comes back queued.
    JobListModel restored;
    TSaveManager restorer(restored);
    restorer.RestoreQueue(queue, dir.file("queue.qfl"));
    ASSERT_EQ(restored.count(), 5);
    const std::vector<ItemState> states
        = {ItemState::done, ItemState::failed, ItemState::stopped, ItemState::waiting, ItemState::waiting};
    EXPECT_EQ(restored.nodeAt(1)->Failure, "Invalid data found when processing input");
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(restored.nodeAt(row)->State, states[static_cast<std::size_t>(row)]) << row;
        EXPECT_EQ(restored.nodeAt(row)->Item.FileName, model.nodeAt(row)->Item.FileName);
        EXPECT_EQ(restored.nodeAt(row)->Item.FormatIndex, model.nodeAt(row)->Item.FormatIndex);
        EXPECT_EQ(restored.nodeAt(row)->Item.Path, model.nodeAt(row)->Item.Path);
    }

    // Exported, the list is what it always was: no <state>; imported, <state> is passed over.
    restorer.ExportToFile(dir.file("exported.qfl"));
    manager.ExportToFile(dir.file("before.qfl"));
    EXPECT_EQ(readFileBytes(dir.file("exported.qfl")), readFileBytes(dir.file("before.qfl")));
    EXPECT_EQ(readFileBytes(dir.file("exported.qfl")).find("state"), std::string::npos);
    writeFileBytes(dir.file("queue.qfl"), queue);
    JobListModel imported;
    TSaveManager importer(imported);
    importer.ImportFromFile(dir.file("queue.qfl"));
    EXPECT_EQ(jobs(imported).size(), 5u) << "every item queued";
    EXPECT_EQ(manager.QueueText(), queue) << "writing the queue leaves the export's document alone";
}

TEST(ListFile, AForeignOrDamagedQueueAddsNothing)
{
    JobListModel model;
    TSaveManager manager(model);
    const auto error = [&](const std::string& text) -> std::string {
        try {
            manager.RestoreQueue(text, "/s/queue.qfl");
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no error)";
    };
    EXPECT_EQ(error("<commands><command><format>x</format></command></commands>"),
        "\"/s/queue.qfl\" is not a Calvera list: its root is <commands>.");
    EXPECT_EQ(error("<list><item><filename>/a</filename><format>1</format><path/></item><item>"),
        "Invalid XML Element: Unexpected end of data");
    EXPECT_EQ(error("<list><item><filename>/a</filename><format>1</format><path/></item>"
                    "<item><filename>/b</filename><format>x</format><path/></item></list>"),
        "'x' is not a valid integer value");
    EXPECT_EQ(model.count(), 0) << "not even the items before the bad one";
    EXPECT_EQ(error("<list/>"), "(no error)");
    EXPECT_EQ(error("<list><item><filename>/a</filename><format>1</format><path/><state>odd</state></item></list>"),
        "(no error)");
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.nodeAt(0)->State, ItemState::waiting) << "a state Calvera does not know is queued";
}

TEST(ListFile, FailedExportLeavesTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("list.qfl");
    writeFileBytes(path, "old list");
    JobListModel model;
    for (int i = 0; i < 2000; ++i)
        add(model, {"/videos/clip number " + std::to_string(i) + ".avi", 1, "/out/"});
    TSaveManager manager(model);

    std::string error;
    try {
        const FileSizeLimit limit(4096); // a disk that fills up part-way
        manager.ExportToFile(path);
    } catch (const std::exception& e) {
        error = e.what();
    }

    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
    EXPECT_EQ(readFileBytes(path), "old list");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);

    // A folder that does not exist: the system's reason, with the full path.
    try {
        manager.ExportToFile(dir.file("no/list.qfl"));
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_EQ(
            std::string(e.what()), "Cannot create file \"" + dir.file("no/list.qfl") + "\". No such file or directory");
    }
}

} // namespace

namespace {

TEST(ListFile, HostileNamesAreRefusedNamingTheItemOrKeptByteExact)
{
    TempDir dir;
    const auto list = [&](const std::string& name, const std::string& filename, const std::string& path = "") {
        writeFileBytes(dir.file(name),
            "<list><item><filename>/v/ok.avi</filename><format>1</format><path/></item><item><filename>" + filename
                + "</filename><format>1</format><path>" + path + "</path></item></list>");
        return dir.file(name);
    };
    struct Case {
        std::string file;
        std::string why;
    };
    const Case refused[] = {
        {list("raw-nul.qfl", std::string("/v/a\0b.avi", 10)), "has a NUL character in its file name."},
        {list("ref-nul.qfl", "/v/a&#256;b.avi"), "has a NUL character in its file name."},
        {list("nul-path.qfl", "/v/a.avi", "/out&#256;/"), "has a NUL character in its path."},
        {list("latin1.qfl", "/v/caf&#xE9;.avi"), "has a file name that is not valid UTF-8."},
        {list("cut.qfl", "/v/&#xC3;"), "has a file name that is not valid UTF-8."},
    };
    for (const Case& bad : refused) {
        JobListModel model;
        TSaveManager manager(model);
        EXPECT_EQ(importError(manager, bad.file), "Item 2 of \"" + bad.file + "\" " + bad.why);
        EXPECT_EQ(model.count(), 1) << bad.file;
    }

    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(list("kept.qfl", "/v/caf&#xC3;&#xA9; &#0;.avi", "/out/"));
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.nodeAt(1)->Item.FileName.toStdString(), "/v/caf\xC3\xA9 &#0;.avi")
        << "UTF-8 bytes written one reference each read back as the same bytes; &#0; stays text";
}

TEST(ListFile, RelativeNamesAreTakenFromTheListFilesFolder)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("lists"));
    writeFileBytes(dir.file("lists/jobs.qfl"),
        "<list><item><filename>clips/a.avi</filename><format>1</format><path>-</path></item>"
        "<item><filename>http://127.0.0.1:8765/clip.avi</filename><format>1</format><path>out/</path></item>"
        "<item><filename>/abs/b.avi</filename><format>2</format><path>/abs/out/</path></item></list>");
    JobListModel model;
    TSaveManager manager(model);
    manager.ImportFromFile(dir.file("lists/jobs.qfl"));
    const std::string folder = dir.file("lists") + "/";
    EXPECT_EQ(jobs(model),
        (std::vector<Job> {{folder + "clips/a.avi", 1, folder + "-"},
            {folder + "http://127.0.0.1:8765/clip.avi", 1, folder + "out/"}, {"/abs/b.avi", 2, "/abs/out/"}}));
}

TEST(ListFile, WhatIsNotARegularFileIsRefusedAtOnce)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.qfl").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder.qfl"));
    for (const std::string& path : {std::string("/dev/zero"), dir.file("fifo.qfl"), dir.file("folder.qfl")}) {
        JobListModel model;
        TSaveManager manager(model);
        EXPECT_EQ(importError(manager, path), "Cannot open file \"" + path + "\". It is not a regular file.");
        EXPECT_EQ(model.count(), 0);
    }
}

TEST(ListFile, AKeptSkippedItemComesBackSkippedWithItsReason)
{
    TempDir dir;
    JobListModel model;
    TSaveManager manager(model);
    add(model, {"/v/E01.avi", 0, "/out/"});
    model.setState(model.nodeAt(0), ItemState::skipped);
    model.nodeAt(0)->Failure = "already converted: Season 1/E01.mp4";
    const std::string queue = manager.QueueText();
    EXPECT_NE(queue.find("    <state>skipped</state>\r\n    <reason>already converted: Season 1/E01.mp4</reason>\r\n"),
        std::string::npos)
        << queue;
    JobListModel restored;
    TSaveManager restorer(restored);
    restorer.RestoreQueue(queue, dir.file("queue.qfl"));
    ASSERT_EQ(restored.count(), 1);
    EXPECT_EQ(restored.nodeAt(0)->State, ItemState::skipped) << "Convert the rest leaves it, as a converted one";
    EXPECT_EQ(restored.nodeAt(0)->Failure, "already converted: Season 1/E01.mp4");
}

} // namespace

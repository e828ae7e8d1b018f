#include "SimpleXML.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

void fillList(TJclSimpleXML& doc, int items)
{
    doc.SetEncoding("UTF-8");
    doc.Root().SetName("list");
    for (int i = 0; i < items; ++i) {
        TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
        item.Children().Add("filename").SetValue("/videos/clip " + std::to_string(i) + ".avi");
        item.Children().Add("format").SetValue("1");
        item.Children().Add("path");
    }
}

TEST(XmlFile, SaveAndLoadRoundTrip)
{
    TempDir dir;
    const std::string path = dir.file("list.qfl");
    TJclSimpleXML doc;
    fillList(doc, 3);
    doc.SaveToFile(path);
    EXPECT_EQ(readFileBytes(path), doc.SaveToString());

    TJclSimpleXML loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.Root().ChildCount(), 3);
    EXPECT_EQ(loaded.SaveToString(), doc.SaveToString());
}

TEST(XmlFile, FailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    TempDir dir;
    const std::string path = dir.file("list.qfl");
    writeFileBytes(path, "precious");

    TJclSimpleXML doc;
    fillList(doc, 5000);
    try {
        FileSizeLimit limit(4096);
        doc.SaveToFile(path);
        FAIL() << "a write error must be reported";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + path + "\". File too large");
    }
    EXPECT_EQ(readFileBytes(path), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(XmlFile, SaveKeepsPermissionsAndWritesThroughLinks)
{
    TempDir dir;
    const std::string target = dir.file("real.qfl");
    writeFileBytes(target, "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, dir.file("link.qfl"));

    TJclSimpleXML doc;
    fillList(doc, 1);
    doc.SaveToFile(dir.file("link.qfl"));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.qfl")));
    EXPECT_EQ(readFileBytes(target), doc.SaveToString());
    struct stat info { };
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(XmlFile, ReportsFilesThatCannotBeOpenedOrCreated)
{
    TempDir dir;
    TJclSimpleXML doc;
    const std::string missing = dir.file("missing.qfl");
    try {
        doc.LoadFromFile(missing);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory");
    }

    const std::string noDir = dir.file("no/such/dir/list.qfl");
    try {
        doc.SaveToFile(noDir);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + noDir + "\". No such file or directory");
    }

    try {
        doc.SaveToFile(dir.path().string());
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir.path().string() + "\". Is a directory");
    }
}

} // namespace

// The desktop entry and the list files' MIME type against what the program
// does: the names a desktop matches windows, icons and files by must agree.

#include "FormsSupport.h"
#include "JobListModel.h"
#include "TempDir.h"
#include "saveManager.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

namespace {

const std::string kPackaging = CALVERA_PACKAGING_DIR;

std::map<std::string, std::string> desktopEntry()
{
    std::istringstream lines(readFileBytes(kPackaging + "/" + kDesktopFileId + ".desktop"));
    std::map<std::string, std::string> keys;
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return keys;
}

TEST(DesktopEntry, NamesTheProgramAsItNamesItself)
{
    const std::map<std::string, std::string> entry = desktopEntry();
    nameApplication();
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), kDesktopFileId)
        << "Wayland's app id and the portal's name for the program";
    // Qt gives X11 windows the application name as their WM_CLASS class.
    EXPECT_EQ(entry.at("StartupWMClass"), QCoreApplication::applicationName().toStdString());
    EXPECT_EQ(entry.at("Icon"), kDesktopFileId);
    // %F: local paths, which the window imports (.qfl) or offers to add.
    EXPECT_EQ(entry.at("Exec"), "calvera %F");
    EXPECT_TRUE(entry.at("MimeType").starts_with("application/x-calvera-list;"));
}

TEST(DesktopEntry, ListFilesAreKnownByTheirNameAndByTheirContent)
{
    // As on a system with the package installed: the system's MIME packages
    // and ours compiled into one database, the only one searched.
    const std::filesystem::path system = "/usr/share/mime/packages";
    const QString compiler = QStandardPaths::findExecutable("update-mime-database");
    if (!std::filesystem::exists(system / "freedesktop.org.xml") || compiler.isEmpty())
        GTEST_SKIP() << "needs the system's MIME database and update-mime-database (shared-mime-info)";
    TempDir data;
    const std::filesystem::path packages = data.path() / "mime/packages";
    std::filesystem::create_directories(packages);
    for (const auto& entry : std::filesystem::directory_iterator(system))
        std::filesystem::copy_file(entry.path(), packages / entry.path().filename());
    std::filesystem::copy_file(kPackaging + "/" + kDesktopFileId + ".mime.xml", packages / "calvera.xml");
    QProcess update;
    update.start(compiler, {QString::fromStdString((data.path() / "mime").string())});
    ASSERT_TRUE(update.waitForFinished(60000));
    ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().toStdString();
    struct Variable {
        const char* name;
        bool set;
        QByteArray value;
    };
    std::vector<Variable> saved;
    for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME"}) {
        saved.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        qputenv(name, QByteArray::fromStdString(data.path().string()));
    }

    TempDir dir;
    JobListModel model;
    TItemData item;
    item.FileName = "/v/a.avi";
    model.append(item);
    TSaveManager(model).ExportToFile(dir.file("jobs.qfl"));
    TSaveManager(model).ExportToFile(dir.file("saved without a name"));
    writeFileBytes(dir.file("other"), "<?xml version=\"1.0\"?>\n<listing><item/></listing>\n");

    const QMimeDatabase mime;
    const auto typeOf = [&mime, &dir](const char* name) {
        return mime.mimeTypeForFile(QString::fromStdString(dir.file(name))).name().toStdString();
    };
    EXPECT_EQ(typeOf("jobs.qfl"), "application/x-calvera-list");
    EXPECT_EQ(typeOf("saved without a name"), "application/x-calvera-list") << "by its <list> root";
    EXPECT_EQ(typeOf("other"), "application/xml");
    EXPECT_TRUE(mime.mimeTypeForName("application/x-calvera-list").inherits("application/xml"));
    for (const Variable& variable : saved) {
        if (variable.set)
            qputenv(variable.name, variable.value);
        else
            qunsetenv(variable.name);
    }
}

} // namespace

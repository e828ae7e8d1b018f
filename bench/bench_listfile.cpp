// Importing a 100,000-item list file into the job list and exporting it again:
// time, memory held once the import is over, and the peak during it.

#include "JobListModel.h"
#include "SimpleXML.h"
#include "saveManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

std::size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kItems = 100000;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/big.qfl";
    {
        TJclSimpleXML doc;
        doc.SetEncoding("UTF-8");
        doc.Root().SetName("list");
        for (int i = 0; i < kItems; ++i) {
            TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
            item.Children().Add("filename").SetValue("/home/me/Vid\xC3\xA9os/Trip & co " + std::to_string(i) + ".avi");
            item.Children().Add("format").SetValue(std::to_string(i % 14));
            item.Children().Add("path").SetValue(i % 3 ? "/home/me/Out/" : "");
        }
        doc.SaveToFile(path);
    }
    const double fileMb = static_cast<double>(std::ifstream(path, std::ios::ate).tellg()) / 1e6;

    JobListModel model;
    TSaveManager manager(model);
    const std::size_t before = heapInUse();
    std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak resident size
    const long rssBefore = statusKb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    manager.ImportFromFile(path);
    const double importSeconds = clock.nsecsElapsed() / 1e9;
    const long peakKb = statusKb("VmHWM:");
    const std::size_t held = heapInUse() - before;

    clock.restart();
    manager.ExportToFile(dir.path().toStdString() + "/again.qfl");
    const double exportSeconds = clock.nsecsElapsed() / 1e9;

    std::printf("list file: %d items, %.1f MB\n", model.count(), fileMb);
    std::printf("import: %.0f ms   export: %.0f ms\n", importSeconds * 1e3, exportSeconds * 1e3);
    std::printf("held after import: %.1f MB (%.2fx the file)   peak during import: %.1f MB above the start\n",
        held / 1e6, held / 1e6 / fileMb, (peakKb - rssBefore) / 1e3);
    return 0;
}

// Reader, writer and memory of the document model against pugixml, on the
// same generated 100,000-item list file in the same run.

#include "SimpleXML.h"

#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string makeListFile(int items)
{
    TJclSimpleXML doc;
    doc.SetEncoding("UTF-8");
    doc.Root().SetName("list");
    for (int i = 0; i < items; ++i) {
        TJclSimpleXMLElem& item = doc.Root().Children().Add("item");
        item.Children().Add("filename").SetValue("/home/me/Videos/Trip & caf\xC3\xA9 " + std::to_string(i) + ".avi");
        item.Children().Add("format").SetValue(std::to_string(i % 14));
        item.Children().Add("path").SetValue(i % 3 ? "/home/me/Out/" : "");
    }
    return doc.SaveToString();
}

std::size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// Best of several runs of f, which returns the duration it measured itself.
template <typename F> double bestSeconds(int repeats, F&& f)
{
    double best = 1e9;
    for (int i = 0; i < repeats; ++i)
        best = std::min(best, std::chrono::duration<double>(f()).count());
    return best;
}

template <typename F> auto timed(F&& f)
{
    return [f = std::forward<F>(f)]() mutable {
        const auto start = Clock::now();
        f();
        return Clock::now() - start;
    };
}

struct StringWriter final : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

} // namespace

int main()
{
    constexpr int kItems = 100000;
    constexpr int kRepeats = 5;
    const std::string data = makeListFile(kItems);
    const std::string dir = std::filesystem::temp_directory_path() / ("calvera-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::printf("list file: %d items, %.1f MB\n", kItems, data.size() / 1e6);

    // Only the load is timed: building and destroying the documents is not.
    const double ourParse = bestSeconds(kRepeats, [&] {
        auto doc = std::make_unique<TJclSimpleXML>();
        const auto start = Clock::now();
        doc->LoadFromString(data);
        return Clock::now() - start;
    });
    const double pugiParse = bestSeconds(kRepeats, [&] {
        auto doc = std::make_unique<pugi::xml_document>();
        const auto start = Clock::now();
        doc->load_buffer(data.data(), data.size());
        return Clock::now() - start;
    });

    std::size_t before = heapInUse();
    auto ours = std::make_unique<TJclSimpleXML>();
    ours->LoadFromString(data);
    const std::size_t ourMemory = heapInUse() - before;
    before = heapInUse();
    auto pugi = std::make_unique<pugi::xml_document>();
    pugi->load_buffer(data.data(), data.size());
    const std::size_t pugiMemory = heapInUse() - before;

    const double ourSerialize = bestSeconds(kRepeats, timed([&] { ours->SaveToString(); }));
    const double pugiSerialize = bestSeconds(kRepeats, timed([&] {
        StringWriter writer;
        pugi->save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    }));
    const double ourSave = bestSeconds(kRepeats, timed([&] { ours->SaveToFile(dir + "/ours.qfl"); }));
    const double pugiSave = bestSeconds(kRepeats, timed([&] { pugi->save_file((dir + "/pugi.qfl").c_str()); }));
    std::filesystem::remove_all(dir);

    std::printf("%-22s %10s %10s %8s\n", "", "calvera", "pugixml", "ratio");
    std::printf("%-22s %8.1fms %8.1fms %8.2f\n", "parse", ourParse * 1e3, pugiParse * 1e3, ourParse / pugiParse);
    std::printf("%-22s %8.1fms %8.1fms %8.2f\n", "save to memory", ourSerialize * 1e3, pugiSerialize * 1e3,
        ourSerialize / pugiSerialize);
    std::printf("%-22s %8.1fms %8.1fms %8.2f\n", "save to file", ourSave * 1e3, pugiSave * 1e3, ourSave / pugiSave);
    std::printf("%-22s %8.1fMB %8.1fMB %8.2f\n", "memory held", ourMemory / 1e6, pugiMemory / 1e6,
        double(ourMemory) / double(pugiMemory));
    std::printf("(save to file: calvera writes a new file, syncs it and renames it over the old one;"
                " pugixml truncates and rewrites in place without syncing)\n");
    return 0;
}

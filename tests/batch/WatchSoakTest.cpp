// calvera-batch --watch left running for three minutes while files are
// dropped, downloaded, appended to, rewritten, renamed and deleted at random
// (seeded: CALVERA_SOAK_SEED, else 29). Afterwards every file there has
// exactly one whole output, no private folder is left, and the journal
// names every output.

#include "BatchTestSupport.h"

#include <QElapsedTimer>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <thread>

namespace {

class WatchSoakTest : public QueueTest {
protected:
    WatchSoakTest()
    {
        fs::create_directories(dir.file("in"));
        writeScript(dir.file("ffmpeg"), standInArguments() + "cat \"$source\" > \"$output\"");
    }
    static void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// A file's stem as its outputs carry it: "n12" of "n12.mp3", "n12_2.mp3" and "n12_2_2.mp3".
std::string stemOf(const std::string& output)
{
    return output.substr(0, output.find_first_of("_."));
}

TEST_F(WatchSoakTest, ThreeMinutesOfEverythingAtOnceLeaveOneWholeOutputPerFile)
{
    const char* given = std::getenv("CALVERA_SOAK_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 29u;
    std::cout << "seed " << seed << " (CALVERA_SOAK_SEED)\n";
    std::mt19937 random(seed);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    const std::string journal = dir.file("watch.journal");
    RunningProgram program({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg"), "-q", "-j",
        "2", "--settle=3", "--journal", journal, "-f", kMp3, "-o", dir.file("out"), "--watch", dir.file("in")});

    // Every whole version ends with "END": a half-written one never does.
    std::map<std::string, std::string> files; // path in the folder: what it holds
    int made = 0;
    int versions = 0;
    const auto content
        = [&] { return "version " + std::to_string(++versions) + " " + std::string(random() % 4096, 'x'); };
    const auto newName = [&] {
        const std::string folder = chance(20) ? "in/sub" + std::to_string(random() % 5) + "/" : "in/";
        fs::create_directories(dir.file(folder));
        return dir.file(folder + "n" + std::to_string(++made) + ".avi");
    };
    const int kFiles = 2000;
    const std::int64_t kRunMs = 170000;
    QElapsedTimer clock;
    clock.start();
    while (made < kFiles) {
        const int roll = static_cast<int>(random() % 100);
        if (roll < 55 || files.empty()) {
            const std::string name = newName();
            const std::string text = content() + "END\n";
            if (chance(30)) {
                // A download: under its .part name until it is whole.
                writeFileBytes(name + ".part", text);
                fs::rename(name + ".part", name);
            } else {
                writeFileBytes(name, text);
            }
            files[name] = text;
        } else {
            auto chosen = files.begin();
            std::advance(chosen, static_cast<long>(random() % files.size()));
            const std::string name = chosen->first;
            // A file is changed only once its output is there: one changed while ffmpeg reads it
            // is no file that stood still, which is what this test is about.
            const bool converted = [&] {
                std::string output = dir.file("out/" + fs::path(name).stem().string());
                for (int tries = 0; tries < 16; ++tries, output += "_2") {
                    if (fs::exists(output + ".mp3") && readFileBytes(output + ".mp3") == chosen->second)
                        return true;
                }
                return false;
            }();
            if (!converted && roll < 88) {
                // Renamed or deleted instead: either fails a conversion at once, never halves it.
                fs::remove(name);
                files.erase(name);
            } else if (roll < 63) {
                // Appended in steps, each a close of its own, well within the settle time: whole only
                // once the last step has written its END.
                for (int step = 0; step < 3; ++step) {
                    std::ofstream(name, std::ios::app | std::ios::binary)
                        << (step == 2 ? "END\n" : " more " + std::to_string(++versions));
                    pause(100);
                }
                files[name] = readFileBytes(name);
            } else if (roll < 76) {
                const std::string text = content() + "END\n";
                writeFileBytes(name, text);
                files[name] = text;
            } else if (roll < 88) {
                const std::string renamed = newName();
                fs::rename(name, renamed);
                files[renamed] = chosen->second;
                files.erase(name);
            } else {
                fs::remove(name);
                files.erase(name);
            }
        }
        const std::int64_t left = kRunMs - clock.elapsed();
        if (left > 0)
            pause(static_cast<int>(random() % (2 * left / std::max(1, kFiles - made) + 1)));
    }

    // Once everything settled and converted: each file's output is there.
    std::map<std::string, std::vector<std::string>> byStem; // the contents of each stem's outputs
    const auto allThere = [&] {
        byStem.clear();
        // A file of a folder below the watched one has its output in the same folder below out.
        for (auto entry = fs::recursive_directory_iterator(dir.file("out")); entry != fs::end(entry); ++entry) {
            const std::string name = entry->path().filename().string();
            if (name.front() == '.') {
                if (entry->is_directory())
                    entry.disable_recursion_pending();
                continue;
            }
            if (entry->is_regular_file())
                byStem[stemOf(name)].push_back(readFileBytes(entry->path().string()));
        }
        for (const auto& [path, text] : files) {
            const auto& contents = byStem[fs::path(path).stem().string()];
            if (std::find(contents.begin(), contents.end(), text) == contents.end())
                return false;
        }
        return true;
    };
    EXPECT_TRUE(waitFor(allThere, 120000)) << "every file converted in the end";
    program.sendSignal(SIGTERM);
    program.finish();

    int missing = 0;
    int twice = 0;
    for (const auto& [path, text] : files) {
        const auto& contents = byStem[fs::path(path).stem().string()];
        const auto count = std::count(contents.begin(), contents.end(), text);
        missing += count == 0 ? 1 : 0;
        twice += count > 1 ? 1 : 0;
    }
    EXPECT_EQ(missing, 0) << "of " << files.size() << " files";
    EXPECT_EQ(twice, 0) << "converted twice as they are";
    int half = 0;
    int outputsMade = 0;
    for (const auto& [stem, contents] : byStem) {
        for (const std::string& text : contents) {
            ++outputsMade;
            if (!text.ends_with("END\n")) {
                ++half;
                std::cout << "not whole: an output of " << stem << " ends \""
                          << text.substr(text.size() - std::min<std::size_t>(30, text.size())) << "\"\n";
            }
        }
    }
    EXPECT_EQ(half, 0) << "outputs of a file taken before it was whole, of " << outputsMade;
    EXPECT_TRUE(temporariesIn(dir.file("out")).empty()) << "no private folder left";

    // The journal names each output as converted, and nothing else as converted.
    std::istringstream lines(readFileBytes(journal));
    int converted = 0;
    int named = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("converted\t"))
            continue;
        ++converted;
        const std::size_t out = line.find("\t" + dir.file("out/"));
        named
            += out != std::string::npos && fs::exists(line.substr(out + 1, line.find('\t', out + 1) - out - 1)) ? 1 : 0;
    }
    EXPECT_EQ(converted, outputsMade) << "one converted line per output";
    EXPECT_EQ(named, converted) << "each names a file that is there";
}

} // namespace

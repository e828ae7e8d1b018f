#pragma once

#include "EngineTestSupport.h"
#include "RunningProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

inline const std::string kMp3 = std::to_string(shippedFormat("mp3"));

class BatchTest : public testing::Test {
protected:
    BatchTest() { makeClip(dir.file("clip.avi")); }

    // calvera-batch with the shipped catalogue and the system's ffmpeg.
    std::vector<std::string> batch(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", "ffmpeg"});
        return arguments;
    }

    TempDir dir;
};

// The "done" lines of a run's output: the files it says it made.
inline std::vector<std::string> donePaths(const std::string& output)
{
    std::vector<std::string> paths;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("done   exit 0   "))
            paths.push_back(line.substr(16));
    }
    return paths;
}

// A file system that fills up part-way: a tmpfs of a few pages.
class FullDisk final {
public:
    explicit FullDisk(const std::string& path)
        : m_path(path)
    {
        fs::create_directory(path);
        m_mounted = ::geteuid() == 0 && runProgram({"mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", path}) == 0;
    }
    ~FullDisk()
    {
        if (m_mounted)
            runProgram({"umount", m_path});
    }
    bool mounted() const { return m_mounted; }

private:
    std::string m_path;
    bool m_mounted = false;
};

// Runs of calvera-batch over a queue of named clips with a stand-in ffmpeg
// that writes the input's name into the output.
class QueueTest : public BatchTest {
protected:
    // Shell lines run before the output is written, with $source set.
    void standIn(const std::string& before)
    {
        writeScript(dir.file("ffmpeg"), standInArguments() + before + "\necho \"$source\" > \"$output\"");
    }
    std::vector<std::string> run(const std::vector<std::string>& options, const std::vector<std::string>& names)
    {
        std::vector<std::string> arguments
            = {CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", dir.file("ffmpeg")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {"-f", kMp3, "-o", dir.file("out")});
        for (const std::string& name : names) {
            arguments.push_back(dir.file(name + ".avi"));
            if (!fs::exists(arguments.back()))
                writeFileBytes(arguments.back(), name);
        }
        return arguments;
    }
    // The files in the output folder, hidden ones left out.
    std::set<std::string> outputs() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.file("out"))) {
            const std::string name = entry.path().filename().string();
            if (name.front() != '.')
                names.insert(name);
        }
        return names;
    }
    QueueTest() { fs::create_directory(dir.file("out")); }
};

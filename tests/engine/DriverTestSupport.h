#pragma once

#include "EngineTestSupport.h"
#include "ErrorReport.h"
#include "TempDir.h"
#include "command.h"
#include "commandManager.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

inline const int kMp3 = shippedFormat("mp3");
inline const int kMp4H264 = shippedFormat("mp4");

// A job list, the shipped catalogue and a driver that runs the system's ffmpeg,
// writing into a temporary folder.
class DriverTest : public testing::Test {
protected:
    DriverTest()
        : catalogue(CALVERA_CATALOGUE)
        , driver(model, catalogue)
    {
        driver.FfmpegPath = QStandardPaths::findExecutable("ffmpeg").toStdString();
        QObject::connect(&driver, &TCommand::OnProgress,
            [this](TDosCommand*, std::int32_t percent) { progress.push_back(percent); });
        QObject::connect(
            &driver, &TCommand::OnFinished, [this](TDosCommand*, bool stopped) { finished.push_back(stopped); });
        QObject::connect(&driver, &TCommand::itemFinished, [this](JobListModel::Node*, const ItemOutcome& outcome) {
            outputs.push_back(outcome.output);
            outcomes.push_back(outcome);
        });
        setErrorReporter([this](const std::string& message) { errors.push_back(message); });
    }
    ~DriverTest() override { setErrorReporter(nullptr); }

    JobListModel::Node* add(const std::string& file, int format, const std::string& path)
    {
        TItemData item;
        item.FileName = QString::fromStdString(file);
        item.FormatIndex = format;
        item.Path = QString::fromStdString(path);
        return model.append(item);
    }
    std::string clip(const std::string& name = "clip.avi")
    {
        const std::string path = dir.file(name);
        if (!std::filesystem::exists(path))
            makeClip(path);
        return path;
    }
    bool runToEnd(int timeoutMs = 120000)
    {
        driver.Start();
        return waitFor([this] { return !finished.empty(); }, timeoutMs);
    }
    std::vector<ItemState> states() const
    {
        std::vector<ItemState> result;
        for (int i = 0; i < model.count(); ++i)
            result.push_back(model.nodeAt(i)->State);
        return result;
    }

    TempDir dir;
    TCommandManager catalogue;
    JobListModel model;
    TCommand driver;
    std::vector<int> progress;
    std::vector<bool> finished;
    std::vector<std::string> outputs;
    std::vector<ItemOutcome> outcomes;
    std::vector<std::string> errors;
};

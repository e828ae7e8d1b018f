#pragma once

#include <QStringList>

#include <string>
#include <vector>

struct TItemData;

class JobListModel;
class TItemManager;

// The job list's operations on its data: appending the staged files. The
// binding to a view (texts, pictures, hints, painting) lives with the window.
class TTreeManager final {
public:
    TTreeManager(JobListModel& model, TItemManager& staging);

    // Appends one queued node per file, taking the i-th file's format index
    // and directory from the i-th staged item, then empties the staging list.
    // An empty file list changes nothing, not even the staging list.
    void AddItems(const QStringList& files);

    JobListModel& model() const { return m_model; }

    // The three-line hint of a node: file name, format name, output directory.
    static QString HintText(const TItemData& item, const std::vector<std::string>& formats);

private:
    JobListModel& m_model;
    TItemManager& m_staging;
};

#pragma once

#include <atomic>
#include <string>
#include <vector>

// The files of a folder tree that can be queued: what a folder given with
// -r, a watched tree and a folder dropped on the window bring in.
//
// A file is taken by its extension (videoExtensions, in any case), or, when included
// patterns are given, by those instead. Hidden names, names of files in
// progress (FolderWatch::inProgressPatterns) and the excluded patterns leave
// a file or a whole folder out; a pattern with a "/" is matched against the
// path below the root. A link below the root is never followed
// (what it leads to inside the tree is walked under its own name), and each
// folder is entered once (known by device and inode). The folders
// passed over (an output folder inside the tree) are never entered.
class TreeWalk final {
public:
    struct Rules {
        std::vector<std::string> included; // shell patterns; empty: the extensions decide
        std::vector<std::string> excluded; // shell patterns
        std::vector<std::string> passedOver; // folders; those that do not exist are ignored
    };
    struct File {
        std::string path; // the root's path joined with the path below it
        // The file's folder below the root, "/"-separated, without a "/" at
        // either end; empty for the root itself.
        std::string subfolder;
    };
    struct Found {
        std::vector<File> files; // sorted by path, bytewise
        std::vector<std::string> unreadable; // folders that could not be listed, passed over
        std::vector<std::string> passedOver; // folders of Rules::passedOver met inside the tree
    };

    // The files under root, sorted. Raises std::runtime_error, in the user's
    // language, when root is no folder that can be read. Ends early, with
    // what was found so far, once cancelled is set.
    static Found files(const std::string& root, const Rules& rules, const std::atomic<bool>* cancelled = nullptr);

    // True when the name's extension is one a tree walk takes by default.
    static bool hasVideoExtension(const std::string& name);
};

// The extensions of the video and sound files the Add dialog and tree walks
// take, without the dot, in lower case.
const std::vector<std::string>& videoExtensions();

// True when subfolder can be joined to an output folder and stay below it:
// relative, its parts neither empty nor "." nor "..", no NUL. The empty
// subfolder (the folder itself) is safe.
bool isSafeSubfolder(const std::string& subfolder);

#pragma once

#include "BatchCommandLine.h"

#include <string>
#include <vector>

// The sources of the command line with each folder given with -r replaced
// by the files below it (TreeWalk, with --include and --exclude), in order
// of their paths, each taking the folder's settings and its own subfolder; a
// name that is not UTF-8 is a refused source. Raises BatchExit (bad usage)
// for a folder that cannot be read; a subfolder that cannot be read is
// passed over with a warning.
std::vector<BatchOptions::Source> withTreesWalked(const BatchOptions& options);

// The folder of a file below root, as TItemData::Subfolder holds it: empty
// for root itself, and for a path that is not below it.
std::string subfolderBelow(const std::string& root, const std::string& path);

// The same folder, however it is spelt (links, bind mounts): the same device and inode.
bool sameFolder(const std::string& one, const std::string& other);

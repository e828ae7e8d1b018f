#pragma once

#include <string>

// True when path lies on a file system shared over a network (NFS, SMB,
// FUSE mounts such as sshfs, cluster file systems): its change notices do
// not tell of writes made on other machines, and a lock taken on another
// machine may not be seen here.
bool isNetworkFileSystem(const std::string& path);

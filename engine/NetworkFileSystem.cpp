#include "NetworkFileSystem.h"

#include <sys/statfs.h>

bool isNetworkFileSystem(const std::string& path)
{
    struct statfs info { };
    if (::statfs(path.c_str(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969: // NFS
    case 0x517B: // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE (sshfs and the like)
    case 0x564C: // NCP
    case 0x47504653: // GPFS
    case 0x00C36400: // Ceph
        return true;
    default: return false;
    }
}

// Claiming a drive's block device for the download.
#include "DriveClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "MountTable.h"

namespace {

const int kCapSysRawio = 17; // bit of CAP_SYS_RAWIO in the capability sets

} // namespace

DriveClaim::Result DriveClaim::Claim(const CdromDevice& device, bool forDownload)
{
    const std::string path = device.Path();
    if (!lock.Take(DeviceLock::Folder(), device.blockName)) {
        reason = path + ": " + lock.Reason();
        return kLocked;
    }
    // O_NONBLOCK: the drive opens without a medium, and the kernel neither checks one nor
    // locks the tray.
    opened.Reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!opened.IsOpen()) {
        int error = errno;
        reason = path + ": " + std::strerror(error);
        return error == EACCES || error == EPERM ? kNoAccess : kGone;
    }
    if (!forDownload)
        return kClaimed;
    std::string mounted = MountTable::MountedMedium(device.blockNumbers, "/proc/self/mountinfo");
    if (!mounted.empty()) {
        reason = path + ": " + mounted;
        return kMounted;
    }
    // The exclusive open also keeps anyone from mounting the medium while the drive is
    // flashed.
    exclusive.Reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC));
    if (!exclusive.IsOpen()) {
        int error = errno;
        reason = path + (error == EBUSY ? ": another program holds the drive exclusively"
                                        : std::string(": ") + std::strerror(error));
        return error == EBUSY ? kBusy : kGone;
    }
    return kClaimed;
}

bool DriveClaim::MaySendVendorCommands()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 7, "CapEff:") != 0)
            continue;
        unsigned long long effective = std::strtoull(line.c_str() + 7, nullptr, 16);
        return (effective >> kCapSysRawio) & 1;
    }
    return false;
}

bool DriveClaim::NodeNumbers(const std::string& path, bool& block, std::string& numbers)
{
    struct stat node;
    if (stat(path.c_str(), &node) != 0 || !(S_ISBLK(node.st_mode) || S_ISCHR(node.st_mode)))
        return false;
    block = S_ISBLK(node.st_mode);
    numbers = std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev));
    return true;
}

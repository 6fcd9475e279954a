// The flashers' lock on one drive: a lock file named after the drive's block device
// (/run/lock/rvxflash-sr0.lock), held with flock for as long as the program works with the
// drive, whichever of its device files (/dev/srN, /dev/sgN, a link) the user named.
// Taking it opens nothing of the drive: a second program is told at once, even while the
// first one's command keeps the drive's own device busy. The lock ends with the process,
// however it ends; the file stays, holding the last holder's process id.
#pragma once

#include <string>

#include "UniqueDescriptor.h"

class DeviceLock {
public:
    // Takes the lock of the device named deviceName ("sr0") in folder; false, with Reason()
    // saying why, when another process holds it or the lock file cannot be made.
    bool Take(const std::string& folder, const std::string& deviceName);
    const std::string& Reason() const { return reason; }

    // Where the lock files go: /run/lock, or /run on a system without it.
    static std::string Folder();

private:
    UniqueDescriptor file;
    std::string reason;
};

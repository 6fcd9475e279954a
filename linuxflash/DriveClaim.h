// One CD-ROM drive claimed for a download: its block device opened without waiting for a
// medium, the flashers' lock on it, no file system of its medium mounted, and no other
// program holding it exclusively; and whether this process may send the drive's vendor
// commands. Closes what it opened when it ends.
#pragma once

#include <string>

#include "CdromDevices.h"

class DriveClaim {
public:
    enum Result { kClaimed, kNoAccess, kGone, kLocked, kMounted, kBusy };

    DriveClaim();
    ~DriveClaim();
    DriveClaim(const DriveClaim&) = delete;
    DriveClaim& operator=(const DriveClaim&) = delete;

    // Claims the device; Reason() then says what stood in the way. For a download the
    // medium must not be mounted and no other program may hold the drive exclusively;
    // otherwise (the probe of `list`) the flashers' lock is enough.
    Result Claim(const CdromDevice& device, bool forDownload);
    // The descriptor the commands go through, -1 before a claim.
    int Descriptor() const { return exclusive >= 0 ? exclusive : locked; }
    const std::string& Reason() const { return reason; }

    // The kernel passes vendor commands through a block device's SG_IO only to a process
    // with CAP_SYS_RAWIO (its command filter lets INQUIRY, reads and the like through for
    // anyone who may open the device).
    static bool MaySendVendorCommands();
    // The numbers ("major:minor") of the device file at path, and whether it is a block
    // device; false when it is no device file.
    static bool NodeNumbers(const std::string& path, bool& block, std::string& numbers);

private:
    int locked;    // the flashers' lock (flock) is held on this descriptor
    int exclusive; // opened with O_EXCL: no mount, no other exclusive holder meanwhile
    std::string reason;
};

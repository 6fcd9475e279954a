// One CD-ROM drive claimed for a download: the flashers' lock on it (DeviceLock), its
// block device opened without waiting for a medium, no file system of its medium mounted,
// and no other program holding it exclusively; and whether this process may send the
// drive's vendor commands. Closes what it opened when it ends.
#pragma once

#include <string>

#include "CdromDevices.h"
#include "DeviceLock.h"
#include "UniqueDescriptor.h"

class DriveClaim {
public:
    enum Result { kClaimed, kNoAccess, kGone, kLocked, kMounted, kBusy };

    // Claims the device, once; Reason() then says what stood in the way. For a download
    // the medium must not be mounted and no other program may hold the drive exclusively;
    // otherwise (the probe of `list`) the flashers' lock is enough.
    Result Claim(const CdromDevice& device, bool forDownload);
    // The descriptor the commands go through, -1 before a claim.
    int Descriptor() const { return exclusive.IsOpen() ? exclusive.Get() : opened.Get(); }
    const std::string& Reason() const { return reason; }

    // The kernel passes vendor commands through a block device's SG_IO only to a process
    // with CAP_SYS_RAWIO (its command filter lets INQUIRY, reads and the like through for
    // anyone who may open the device).
    static bool MaySendVendorCommands();
    // The numbers ("major:minor") of the device file at path, and whether it is a block
    // device; false when it is no device file.
    static bool NodeNumbers(const std::string& path, bool& block, std::string& numbers);

private:
    DeviceLock lock;
    UniqueDescriptor opened;
    UniqueDescriptor exclusive; // opened with O_EXCL: no mount, no other exclusive holder
    std::string reason;
};

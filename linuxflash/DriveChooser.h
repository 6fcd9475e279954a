// Which CD-ROM drive a flash goes to: the one the user named, by any of its device files,
// which must be a CD-ROM drive Linux knows; or else the one RVX-4417K Linux knows. Never a
// guess among several. Free of Linux headers: the named file's numbers come from the
// caller (DriveClaim::NodeNumbers).
#pragma once

#include <string>
#include <vector>

#include "CdromDevices.h"

// The device file the user named.
struct NamedDevice {
    std::string path;
    bool isDevice;       // a block or character device file
    bool block;          // a block device (/dev/srN), else a character one (/dev/sgN)
    std::string numbers; // "major:minor"
};

class DriveChooser {
public:
    // named: null when the user named none. Null, with message set, when there is no drive
    // to flash.
    static const CdromDevice* Choose(const std::vector<CdromDevice>& devices,
                                     const NamedDevice* named, std::string& message);
    // The drive identifies itself as the RVX-4417K.
    static bool IsProduct(const CdromDevice& device);
};

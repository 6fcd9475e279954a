// The CD-ROM devices (peripheral type 5) that Linux knows, read from sysfs: each SCSI
// device of /sys/class/scsi_device with its address, the identification the kernel read
// with its INQUIRY, its block device (srN) and its generic device (sgN). Nothing is sent
// to a drive. A device that goes away while it is read is left out. Free of Linux headers:
// sysfs is read as files under a root the caller names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CdromDevice {
    std::string address; // host:channel:target:lun
    uint8_t target;
    std::string blockName;      // "sr0"
    std::string blockNumbers;   // "11:0", the device's major and minor number
    std::string genericName;    // "sg0", empty without the sg driver
    std::string genericNumbers; // "21:0"
    // As the drive answered INQUIRY: 8, 16 and 4 characters, blanks kept.
    std::string vendor;
    std::string product;
    std::string revision;

    std::string Path() const { return "/dev/" + blockName; }
    std::string GenericPath() const { return genericName.empty() ? "" : "/dev/" + genericName; }
};

// What sysfs holds for one SCSI device, as read: its folder's name and attributes, and the
// entries of its block/ and scsi_generic/ folders with their dev attributes (empty when
// there are none).
struct SysfsDevice {
    std::string address;
    std::string type;
    std::string vendor, model, rev;
    std::string blockName, blockNumbers;
    std::string genericName, genericNumbers;
};

namespace CdromDevices {

// The CD-ROM devices that have a block device, in the order of their names (sr0, sr1, ...).
std::vector<CdromDevice> Find(const std::string& sysfsRoot);
// One device as sysfs describes it: false when it is no CD-ROM drive with a block device
// (or its names are not the kernel's: a name with a slash, or none).
bool FromSysfs(const SysfsDevice& read, CdromDevice& device);
// The device that a device file with these numbers ("major:minor") is, as a block device
// or as a character device (its sgN); null when it is none of them.
const CdromDevice* Match(const std::vector<CdromDevice>& devices, bool block,
                         const std::string& numbers);
// The text without the blanks that pad it.
std::string Trimmed(const std::string& text);
// sr2 before sr10.
bool InNameOrder(const CdromDevice& a, const CdromDevice& b);

} // namespace CdromDevices

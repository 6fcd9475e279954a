// The SCSI operation codes and status values that the library, its layers, the drive model
// and the drive server use: the one place they are defined.
#pragma once

#include <cstdint>

// Operation codes (command block byte 0).
namespace ScsiOp {
enum : uint8_t {
    kTestUnitReady = 0x00,
    kInquiry = 0x12,
    kStartStopUnit = 0x1B,
    kPreventAllowMediumRemoval = 0x1E,
    kWriteBuffer = 0x3B,
    kLoadUnloadMedium = 0xA6,
    // C0h to FFh are the makers' own; the drive takes its download protocol under CBh.
    kFirstVendor = 0xC0,
    kVendorDownload = 0xCB,
};
} // namespace ScsiOp

// The download protocol's operations (byte 2 of a kVendorDownload command block).
namespace DownloadOp {
enum : uint8_t {
    kProbe = 0x01, // answers GOOD when the drive takes the protocol
    kWrite = 0x04, // data out: the code and its sum, written into the flash
};
} // namespace DownloadOp

// SCSI status, as the target ends a command.
namespace ScsiStatus {
enum : uint8_t {
    kGood = 0x00,
    kCheckCondition = 0x02, // sense data follows
    kBusy = 0x08,
    kTaskAborted = 0x40,
};
} // namespace ScsiStatus

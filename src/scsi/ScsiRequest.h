// One SCSI command as the downloader asks for it: the command block, the data direction
// and length, and how long to wait for the drive.
#pragma once

#include <cstdint>

struct ScsiRequest {
    uint8_t cdb[12];
    uint8_t cdbLength;   // 12, or 10 for a 10-byte block
    uint8_t direction;   // SRB_DIR_IN or SRB_DIR_OUT
    uint32_t dataLength; // bytes of the device's buffer that move
    uint32_t timeoutMs;
};

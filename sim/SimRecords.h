// Records that the simulated ASPI layer hands to tests through its control exports.
// Plain data with the same layout in the layer and in the tests that read it.
#pragma once

#include <cstdint>

// One request as the layer received it.
struct SimRequestRecord {
    uint8_t command;        // SRB_Cmd: execute and abort requests are both recorded
    uint8_t adapter;        // SRB_HaId
    uint8_t target;         // SRB_Target (0 for other requests)
    uint8_t lun;            // SRB_Lun
    uint8_t flags;          // SRB_Flags as sent
    uint8_t cdbLength;      // SRB_CDBLen
    uint8_t senseLength;    // SRB_SenseLen
    uint8_t cdb[16];        // CDBByte as sent, all 16 bytes
    uint32_t bufLen;        // SRB_BufLen
    uint32_t bufPointerSet; // 1 when SRB_BufPointer (or SRB_ToAbort) was not null
    uint32_t dataOutDigest; // FNV-1a 32 of the data-out bytes at submission, 0 when none
    uint8_t finalStatus;    // SRB_Status once completed; SS_PENDING while pending
};

// The state of one simulated device.
struct SimDeviceInfo {
    char revision[5];      // INQUIRY product revision now (4 bytes, NUL behind)
    uint8_t peripheral;    // INQUIRY byte 0
    uint8_t mediumLoaded;  // 1 after a load, 0 after an unload
    uint8_t prevented;     // prevent bit of the last PREVENT ALLOW MEDIUM REMOVAL
    uint32_t flashCount;   // firmware writes the drive accepted
    uint32_t commandCount; // commands that reached the device
};

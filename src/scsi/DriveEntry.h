// One CD-ROM drive found by discovery.
#pragma once

#include <cstdint>

struct DriveEntry {
    uint8_t adapterId;
    uint8_t targetId;
    char modelName[40]; // INQUIRY vendor (8) + product (16), NUL after the 24th character
    char revision[8];   // INQUIRY product revision (4) and a NUL
    char driveLetter;   // Windows CD-ROM drive letter paired with it, or a blank
};

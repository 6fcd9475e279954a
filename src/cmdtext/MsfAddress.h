// Conversions between logical block addresses and minute:second:frame addresses of a
// CD: 75 frames a second, and logical block 0 at 00:02:00 (the 150-frame lead-in gap).
#pragma once

#include <cstdint>

struct MsfAddress {
    int32_t lba;
    int8_t minute;
    int8_t second;
    int8_t frame;
};

// lba := (minute * 60 + second) * 75 + frame - 150 for minutes below 90; minutes 90 and
// above stand for the negative addresses down to -450,150.
void MsfToLba(MsfAddress& address);
// The inverse: addresses from -150 up count from 00:02:00 back to 00:00:00, those below
// wrap to the top of the 100-minute range (-151 is 99:59:74). Each part keeps its low
// 8 bits.
void LbaToMsf(MsfAddress& address);

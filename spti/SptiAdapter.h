// What our layer says of an adapter beyond the ASPI standard: its manager name, and flags
// in a byte of HA_Unique that the standard leaves to the layer (bytes 8 to 15), which the
// drive lister reads when the manager is ours.
#pragma once

#include <cstdint>

namespace SptiAdapter {

const char kManagerId[] = "SPTI ASPI32";
enum : uint8_t {
    kFlagsByte = 8,
    kReadOnly = 0x01, // the drive was opened without write access: commands are refused
};

} // namespace SptiAdapter

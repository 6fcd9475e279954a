// Fixed-format sense data: what a drive says about a command that did not end cleanly.
// The request's sense area is read here and nowhere else, and the same place puts key,
// ASC and ASCQ into words for the trace. Free of <windows.h>.
#pragma once

#include <cstdint>

class SenseData {
public:
    // Sense keys (byte 2, low nibble).
    enum : uint8_t {
        kNoSense = 0x0,
        kRecoveredError = 0x1,
        kNotReady = 0x2,
        kMediumError = 0x3,
        kHardwareError = 0x4,
        kIllegalRequest = 0x5,
        kUnitAttention = 0x6,
        kDataProtect = 0x7,
        kBlankCheck = 0x8,
        kVendorSpecific = 0x9,
        kCopyAborted = 0xA,
        kAbortedCommand = 0xB,
        kVolumeOverflow = 0xD,
        kMiscompare = 0xE,
    };

    SenseData() : responseCode(0), key(0), asc(0), ascq(0) {}
    // Reads at least 14 bytes: the response code in byte 0 (0: the drive returned no sense
    // data), the key in the low nibble of byte 2, ASC in byte 12 and ASCQ in byte 13.
    static SenseData FromArea(const uint8_t* area);

    // The key's name in capitals, "KEY 0F" style for the one reserved value.
    static const char* KeyName(uint8_t key);
    // The meaning of an ASC/ASCQ pair the drive or an ASPI layer is known to report;
    // null for any other pair.
    static const char* AdditionalText(uint8_t asc, uint8_t ascq);
    // "3/0C/00 MEDIUM ERROR: write error" (the text part only for known pairs) into out,
    // cut to size - 1 characters and a NUL.
    static void Describe(uint8_t key, uint8_t asc, uint8_t ascq, char* out, int size);

    uint8_t responseCode;
    uint8_t key;
    uint8_t asc;
    uint8_t ascq;
};

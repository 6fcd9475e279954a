// Firmware files for the download tests, built byte by byte: a leading block, a code
// part, an identification record laid out as INQUIRY data and the protocol marker, at
// offsets the test chooses. The sums the drive and the panel should see are computed
// here from the bytes, without the library's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FirmwareFileBuilder {
public:
    enum { kFileBytes = 65536, kCodeOffset = 0x0800, kCodeBytes = 0xF800 };

    // 65,536 bytes: leading block of zeros, code part a counting pattern that holds
    // neither a record nor the marker.
    FirmwareFileBuilder();

    // The usual firmware: marker at 0x0100 in the leading block, record with the given
    // revision at 0x1000 in the code part (the drive takes that revision when flashed).
    static FirmwareFileBuilder Standard(const char* revision = "2.00");

    FirmwareFileBuilder& FillLeading(uint8_t value);
    FirmwareFileBuilder& FillCode(uint8_t value);
    // 36 bytes from offset: 05 80 00 format 1F, three bytes, vendor (8), product (16),
    // revision (4), each padded with blanks.
    FirmwareFileBuilder& Record(size_t offset, const char* vendor, const char* product,
                                const char* revision, uint8_t format = 0x21);
    FirmwareFileBuilder& Marker(size_t offset);
    FirmwareFileBuilder& Resize(size_t size);

    // Sum of the first 65,536 bytes modulo 65,536: the "Check Sum" row.
    uint16_t FileSum() const;
    // Sum of bytes 0x0800 to 0xFFFF modulo 65,536: what the write appends.
    uint16_t CodeSum() const;
    // What the write command must carry: the code part, then the sum low byte first.
    std::vector<uint8_t> Payload() const;

    // Writes the bytes to folder\name; the full path, or "" when it could not be written.
    std::string WriteTo(const std::string& folder, const char* name) const;

    std::vector<uint8_t> bytes;
};

// The firmware image held inside the Downloader and the descriptions derived from it.
// Free of <windows.h>: reading the file and parsing it build natively as well.
#pragma once

#include <cstddef>
#include <cstdint>

struct ProductDescriptor {
    char revision[8];       // 4 characters and a NUL; empty when no record was found
    char modelName[40];     // 24 characters and a NUL; kUnknownText when no record was found
    uint8_t protocolType40; // 1 when the protocol marker was found
    uint16_t checkSum;      // sum of the 65,536 image bytes, modulo 65,536
};

struct FirmwareImage {
    // kImageBytes: nine bytes behind the file's 65,536 stay at the load's fill value, so
    // that a record scanned up to the image's end reads 0xFF rather than past it.
    enum { kFileBytes = 65536, kImageBytes = 65545, kCodeOffset = 0x0800 };
    // What the write sends: the code part, image bytes 0x0800 to 0xFFFF, and its 16-bit
    // sum behind it.
    enum { kCodeBytes = kFileBytes - kCodeOffset, kPayloadBytes = kCodeBytes + 2 };

    // Where one scan met the protocol marker and the identification record: offsets of
    // the first byte of the first and of the last hit, -1 when there was none.
    struct ScanHits {
        int32_t markerCount;
        int32_t firstMarker;
        int32_t lastMarker;
        int32_t recordCount;
        int32_t firstRecord;
        int32_t lastRecord;
    };

    // Reads the first 65,536 bytes of the named file into image and parses them.
    // True: read and parsed, fileDescriptor rewritten. False: nothing parsed and fileDescriptor
    // left as it was; *message is then the status text to show, or null when there is
    // none to show (empty or null name: nothing at all changes). message may be null.
    bool LoadFirmwareFile(const char* fileName, const char** message);
    // The same for a file its caller has read: its first count bytes (those past the
    // first 65,536 are not looked at). Fewer than 65,536 is a damaged file.
    bool LoadFirmwareBytes(const uint8_t* bytes, size_t count, const char** message);

    // Fills fileDescriptor from the first 65,536 bytes of image in one pass. When hits
    // is given it also receives where the marker and the record were recognised.
    void ParseFirmwareImage(ScanHits* hits = nullptr);

    // 16-bit sum of the code part, image bytes 0x0800 to 0xFFFF: what the transfer sends
    // behind them. Computed afresh; transferCheckSum is left to the transfer worker.
    uint16_t ComputeTransferCheckSum() const;

    // Sum of count bytes modulo 65,536.
    static uint16_t SumBytes(const uint8_t* bytes, size_t count);

    ProductDescriptor fileDescriptor;
    ProductDescriptor driveDescriptor;
    uint16_t transferCheckSum;
    uint8_t image[kImageBytes];
};

// A firmware file as its caller read it, once: its first bytes and its size in bytes (-1
// when unknown, such as for a pipe with more than the image behind its first bytes).
struct FirmwareFileBytes {
    const uint8_t* bytes;
    size_t count;
    long size;
};

// What the panel shows for a model or a protocol that a file does not name.
inline constexpr char kUnknownText[] = "Unkown";
// The download protocol's name for a file or drive that takes it, kUnknownText otherwise.
const char* ProtocolName(uint8_t protocolType40);

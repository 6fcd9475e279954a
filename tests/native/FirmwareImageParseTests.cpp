// ParseFirmwareImage over images built in memory: the check sum, the protocol marker, the
// identification record, and the transfer sum of the code part. The image lives on the
// heap so that AddressSanitizer sees any read past its 65,545 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"

namespace {

const int kFile = 65536;
const int kImage = 65545;
const char kMarker[] = "__ZQTYPE40__";

std::unique_ptr<FirmwareImage> MakeImage(uint8_t fill)
{
    std::unique_ptr<FirmwareImage> firmware(new FirmwareImage());
    std::memset(firmware->image, fill, kFile);
    // The fill behind the file data, as every load leaves it.
    std::memset(firmware->image + kFile, 0xFF, kImage - kFile);
    return firmware;
}

void Put(FirmwareImage& firmware, int offset, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        firmware.image[offset + i] = bytes[i];
}

void PutText(FirmwareImage& firmware, int offset, const char* text)
{
    std::memcpy(firmware.image + offset, text, std::strlen(text));
}

// A 36-byte INQUIRY-style record: five pattern bytes, three unexamined bytes, 24 bytes of
// identification and 4 of revision.
std::vector<uint8_t> Record(uint8_t format, const char* identification, const char* revision)
{
    EXPECT_EQ(24u, std::strlen(identification)) << "test setup";
    EXPECT_EQ(4u, std::strlen(revision)) << "test setup";
    std::vector<uint8_t> bytes = {0x05, 0x80, 0x00, format, 0x1F, 0x11, 0x22, 0x33};
    for (int i = 0; i < 24; ++i)
        bytes.push_back(static_cast<uint8_t>(identification[i]));
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(revision[i]));
    return bytes;
}

uint16_t NaiveSum(const FirmwareImage& firmware, int from, int to)
{
    unsigned long sum = 0;
    for (int i = from; i < to; ++i)
        sum += firmware.image[i];
    return static_cast<uint16_t>(sum % 65536);
}

// The scan written out step by step, byte for byte, as the reference for dense images.
struct Described {
    std::string model;
    std::string revision;
    int protocol;
    unsigned sum;
};

Described ReferenceScan(const uint8_t* image)
{
    const uint8_t pattern[5] = {0x05, 0x80, 0x00, 0x21, 0x1F};
    Described d = {"Unkown", "", 0, 0};
    int m = 0;
    int k = 0;
    auto at = [&](int i) { return i < kImage ? image[i] : uint8_t(0xFF); };
    for (int i = 0; i < kFile; ++i) {
        const uint8_t b = image[i];
        m = b == static_cast<uint8_t>(kMarker[m]) ? m + 1 : 0;
        k = (b == pattern[k] || (k == 3 && b == 0x32)) ? k + 1 : 0;
        if (m == 12) {
            d.protocol = 1;
            m = 0;
        }
        if (k == 5) {
            d.model.clear();
            d.revision.clear();
            for (int n = i + 4; n <= i + 27 && at(n) != 0; ++n)
                d.model += static_cast<char>(at(n));
            for (int n = i + 28; n <= i + 31 && at(n) != 0; ++n)
                d.revision += static_cast<char>(at(n));
            k = 0;
        }
        d.sum = (d.sum + b) % 65536;
    }
    return d;
}

} // namespace

TEST(FirmwareImageCheckSum, AllFfSumsToZeroWithDefaults)
{
    auto firmware = MakeImage(0xFF);
    firmware->ParseFirmwareImage();
    const ProductDescriptor& file = firmware->fileDescriptor;
    EXPECT_EQ(0x0000, file.checkSum);
    EXPECT_STREQ("Unkown", file.modelName);
    EXPECT_STREQ("", file.revision);
    EXPECT_EQ(0, file.protocolType40);
}

TEST(FirmwareImageCheckSum, ZerosWith300FfBytesGive2AD4)
{
    auto firmware = MakeImage(0x00);
    // 300 distinct positions spread over both blocks, the last one the last file byte.
    for (int n = 0; n < 300; ++n)
        firmware->image[54 + n * 219] = 0xFF;
    int count = 0;
    for (int i = 0; i < kFile; ++i)
        count += firmware->image[i] == 0xFF;
    ASSERT_EQ(300, count) << "test setup";
    ASSERT_EQ(0xFF, firmware->image[kFile - 1]) << "test setup";
    firmware->ParseFirmwareImage();
    EXPECT_EQ(0x2AD4, firmware->fileDescriptor.checkSum) << "300 * 255 = 76500 mod 65536";
}

TEST(FirmwareImageCheckSum, SumWrapsAndCoversExactlyTheFileBytes)
{
    struct {
        const char* name;
        uint8_t fileByte;
        uint8_t behindByte;
    } cases[] = {
        {"fill bytes 0x7F are not summed", 0x00, 0x7F},
        {"fill bytes 0x00 are not summed", 0xFF, 0x00},
        {"ramp file", 0x01, 0xFF},
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(c.fileByte);
        if (c.fileByte == 0x01) {
            for (int i = 0; i < kFile; ++i)
                firmware->image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        }
        std::memset(firmware->image + kFile, c.behindByte, kImage - kFile);
        const uint16_t expected = NaiveSum(*firmware, 0, kFile);
        firmware->ParseFirmwareImage();
        EXPECT_EQ(expected, firmware->fileDescriptor.checkSum) << c.name;
    }
}

TEST(FirmwareImageMarker, FoundOnlyAsTwelveUnbrokenBytes)
{
    struct {
        const char* name;
        int offset;
        const char* text;
        int expected;
    } cases[] = {
        {"at offset 0", 0, kMarker, 1},
        {"last byte at 65,535", 65524, kMarker, 1},
        {"in the code part", 0x1234, kMarker, 1},
        {"one more leading underscore", 100, "___ZQTYPE40__", 0},
        {"two more leading underscores", 100, "____ZQTYPE40__", 0},
        {"last byte in the fill", 65525, kMarker, 0},
        {"lower case", 100, "__zqtype40__", 0},
        {"one trailing underscore", 100, "__ZQTYPE40_", 0},
        {"extra trailing underscore", 100, "__ZQTYPE40___", 1},
        {"broken start, then a whole marker", 100, "_X__ZQTYPE40__", 1},
        {"two markers back to back", 100, "__ZQTYPE40____ZQTYPE40__", 1},
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(0xFF);
        const int length = static_cast<int>(std::strlen(c.text));
        std::memcpy(firmware->image + c.offset, c.text, std::min(length, kImage - c.offset));
        FirmwareImage::ScanHits hits;
        firmware->ParseFirmwareImage(&hits);
        EXPECT_EQ(c.expected, firmware->fileDescriptor.protocolType40)
            << c.name << ": got " << int(firmware->fileDescriptor.protocolType40);
        EXPECT_STREQ("Unkown", firmware->fileDescriptor.modelName) << c.name;
    }
}

TEST(FirmwareImageMarker, ScanHitsNameEveryMarkerStart)
{
    auto firmware = MakeImage(0x00);
    PutText(*firmware, 0, kMarker);
    PutText(*firmware, 0x0900, kMarker);
    PutText(*firmware, 65524, kMarker);
    FirmwareImage::ScanHits hits;
    firmware->ParseFirmwareImage(&hits);
    EXPECT_EQ(3, hits.markerCount);
    EXPECT_EQ(0, hits.firstMarker);
    EXPECT_EQ(65524, hits.lastMarker);
    EXPECT_EQ(0, hits.recordCount);
    EXPECT_EQ(-1, hits.firstRecord);
    EXPECT_EQ(-1, hits.lastRecord);
}

TEST(FirmwareImageRecord, PatternDecidesRecognition)
{
    const char* id = "NEMBRIKACD-ROM RVX-4417K";
    struct {
        const char* name;
        std::vector<uint8_t> before; // bytes directly in front of the record
        uint8_t format;
        int found;
    } cases[] = {
        {"format 0x21", {}, 0x21, 1},
        {"format 0x32", {}, 0x32, 1},
        {"format 0x20", {}, 0x20, 0},
        {"format 0x22", {}, 0x22, 0},
        {"preceded by 0x05", {0x05}, 0x21, 0},
        {"preceded by 0x05 0x80", {0x05, 0x80}, 0x21, 0},
        {"preceded by 0x05 0x80 0x00", {0x05, 0x80, 0x00}, 0x21, 0},
        {"preceded by 0x05 0x80 0x00 0x21", {0x05, 0x80, 0x00, 0x21}, 0x21, 0},
        {"preceded by 0x80", {0x80}, 0x21, 1},
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(0xFF);
        const int at = 0x2000;
        Put(*firmware, at - static_cast<int>(c.before.size()), c.before);
        Put(*firmware, at, Record(c.format, id, "1.01"));
        FirmwareImage::ScanHits hits;
        firmware->ParseFirmwareImage(&hits);
        const ProductDescriptor& file = firmware->fileDescriptor;
        EXPECT_STREQ(c.found ? id : "Unkown", file.modelName) << c.name;
        EXPECT_STREQ(c.found ? "1.01" : "", file.revision) << c.name;
        EXPECT_EQ(c.found ? at : -1, hits.lastRecord) << c.name;
        EXPECT_EQ(0, file.protocolType40) << c.name << ": a record is not a marker";
    }
}

TEST(FirmwareImageRecord, LaterRecordWinsAndMarkerIsIndependent)
{
    auto firmware = MakeImage(0x00);
    Put(*firmware, 0x0100, Record(0x21, "NEMBRIKACD-ROM RVX-4417K", "1.00"));
    Put(*firmware, 0x8000, Record(0x32, "OTHERVNDOTHER PRODUCT 16", "2.05"));
    PutText(*firmware, 0x9000, kMarker);
    FirmwareImage::ScanHits hits;
    firmware->ParseFirmwareImage(&hits);
    EXPECT_STREQ("OTHERVNDOTHER PRODUCT 16", firmware->fileDescriptor.modelName);
    EXPECT_STREQ("2.05", firmware->fileDescriptor.revision);
    EXPECT_EQ(1, firmware->fileDescriptor.protocolType40);
    EXPECT_EQ(2, hits.recordCount);
    EXPECT_EQ(0x0100, hits.firstRecord);
    EXPECT_EQ(0x8000, hits.lastRecord);
    EXPECT_EQ(0x9000, hits.firstMarker);
}

TEST(FirmwareImageRecord, CopiedBytesAreTakenAsTheyStand)
{
    struct {
        const char* name;
        int nulAt;       // record byte set to NUL, or -1
        const char* id;  // 24 bytes
        const char* rev; // 4 bytes
        const char* expectedModel;
        const char* expectedRevision;
    } cases[] = {
        {"blanks kept", -1, "AB      CD              ", "1   ", "AB      CD              ", "1   "},
        {"NUL in the vendor", 12, "NEMBRIKACD-ROM RVX-4417K", "1.01", "NEMB", "1.01"},
        {"NUL first", 8, "NEMBRIKACD-ROM RVX-4417K", "1.01", "", "1.01"},
        {"NUL in the revision", 33, "NEMBRIKACD-ROM RVX-4417K", "1.01", "NEMBRIKACD-ROM RVX-4417K",
         "1"},
        {"lower case and symbols", -1, "nembrika*?cd-rom rvx-44%", "a.b!",
         "nembrika*?cd-rom rvx-44%", "a.b!"},
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(0xFF);
        std::vector<uint8_t> record = Record(0x21, c.id, c.rev);
        if (c.nulAt >= 0)
            record[c.nulAt] = 0x00;
        Put(*firmware, 0x4000, record);
        firmware->ParseFirmwareImage();
        EXPECT_EQ(std::string(c.expectedModel), firmware->fileDescriptor.modelName) << c.name;
        EXPECT_EQ(std::string(c.expectedRevision), firmware->fileDescriptor.revision) << c.name;
    }
}

TEST(FirmwareImageRecord, RecordsNearTheEndReadFillBeyondTheImage)
{
    // The nine bytes behind the file data are set to 'A'..'I' here so that the test can
    // tell them from the 0xFF that stands in for bytes beyond the buffer.
    struct {
        const char* name;
        int start;
        std::string model;
        std::string revision;
    } cases[] = {
        {"record ends at 65,535", 65500, std::string(24, 'm'), "rrrr"},
        {"revision runs into the fill", 65502, std::string(24, 'm'), "rrAB"},
        {"revision runs past the buffer", 65510, std::string(18, 'm') + "ABCDEF", "GHI\xFF"},
        {"pattern ends at the last file byte", 65531, "DEFGHI" + std::string(18, '\xFF'),
         "\xFF\xFF\xFF\xFF"},
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(0x00);
        for (int i = 0; i < kImage - kFile; ++i)
            firmware->image[kFile + i] = static_cast<uint8_t>('A' + i);
        // Identification 'm' x 24 and revision 'r' x 4, cut off where the file ends.
        std::vector<uint8_t> record = Record(0x21, "mmmmmmmmmmmmmmmmmmmmmmmm", "rrrr");
        record.resize(std::min<size_t>(record.size(), kFile - c.start));
        Put(*firmware, c.start, record);
        firmware->ParseFirmwareImage();
        EXPECT_EQ(c.model, std::string(firmware->fileDescriptor.modelName)) << c.name;
        EXPECT_EQ(c.revision, std::string(firmware->fileDescriptor.revision)) << c.name;
    }
}

TEST(FirmwareImageRecord, ParseLeavesTheImageAndDriveDescriptorAlone)
{
    auto firmware = MakeImage(0x00);
    for (int i = 0; i < kImage; ++i)
        firmware->image[i] = static_cast<uint8_t>(i * 13);
    Put(*firmware, 0x0800, Record(0x21, "NEMBRIKACD-ROM RVX-4417K", "1.01"));
    std::memset(&firmware->driveDescriptor, 0x5A, sizeof firmware->driveDescriptor);
    firmware->transferCheckSum = 0x1234;
    std::vector<uint8_t> before(firmware->image, firmware->image + kImage);
    firmware->ParseFirmwareImage();
    EXPECT_EQ(0, std::memcmp(before.data(), firmware->image, kImage));
    EXPECT_EQ(0x1234, firmware->transferCheckSum);
    EXPECT_EQ(0x5A, firmware->driveDescriptor.protocolType40);
    EXPECT_EQ(0x5A, static_cast<uint8_t>(firmware->driveDescriptor.modelName[0]));
}

TEST(FirmwareImageTransferSum, CoversTheCodePartOnly)
{
    struct {
        const char* name;
        uint8_t leading;
        uint8_t code;
        uint16_t expected;
    } cases[] = {
        {"all 0xFF", 0xFF, 0xFF, 0x0800}, // 63,488 * 255 = 16,189,440
        {"all 0x00", 0x00, 0x00, 0x0000},
        {"leading block ignored", 0x5A, 0x00, 0x0000},
        {"code 0x01", 0xFF, 0x01, 0xF800}, // 63,488
    };
    for (const auto& c : cases) {
        auto firmware = MakeImage(c.code);
        std::memset(firmware->image, c.leading, 0x0800);
        std::memset(firmware->image + kFile, 0x77, kImage - kFile); // never summed
        EXPECT_EQ(c.expected, firmware->ComputeTransferCheckSum()) << c.name;
    }

    auto firmware = MakeImage(0x00);
    for (int i = 0; i < kFile; ++i)
        firmware->image[i] = static_cast<uint8_t>((i * 31) ^ (i >> 5));
    EXPECT_EQ(NaiveSum(*firmware, 0x0800, kFile), firmware->ComputeTransferCheckSum());
    EXPECT_EQ(0x0000, firmware->transferCheckSum) << "left to the transfer worker";
}

TEST(FirmwareImageScan, DenseImagesMatchTheStepByStepScan)
{
    // Images made almost only of bytes that start, continue or break a marker or a
    // record, with whole markers and records planted at random places, the end included.
    const uint8_t alphabet[] = {'_',  'Z',  'Q',  'T',  'Y',  'P',  'E',  '4',  '0',
                                0x05, 0x80, 0x00, 0x21, 0x32, 0x1F, 0x20, 0xFF, 'A'};
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 40; ++round) {
        auto firmware = MakeImage(0x00);
        for (int i = 0; i < kImage; ++i)
            firmware->image[i] = alphabet[next() % sizeof alphabet];
        const int plants = static_cast<int>(next() % 6);
        for (int p = 0; p < plants; ++p) {
            const int offset = static_cast<int>(next() % (kFile - 4));
            if (next() % 2) {
                std::vector<uint8_t> record =
                    Record(next() % 2 ? 0x21 : 0x32, "NEMBRIKACD-ROM RVX-4417K", "1.01");
                record.resize(std::min<size_t>(record.size(), kImage - offset));
                Put(*firmware, offset, record);
            } else {
                std::memcpy(firmware->image + offset, kMarker, std::min(12, kImage - offset));
            }
        }
        const Described expected = ReferenceScan(firmware->image);
        firmware->ParseFirmwareImage();
        const ProductDescriptor& file = firmware->fileDescriptor;
        EXPECT_EQ(expected.model, std::string(file.modelName)) << "round " << round;
        EXPECT_EQ(expected.revision, std::string(file.revision)) << "round " << round;
        EXPECT_EQ(expected.protocol, file.protocolType40) << "round " << round;
        EXPECT_EQ(expected.sum, file.checkSum) << "round " << round;
    }
}

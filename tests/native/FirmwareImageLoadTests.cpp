// LoadFirmwareFile over files written by the test: which files are accepted, the status
// texts of the failures, and what a failed load leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"

namespace {

const size_t kFile = 65536;
const size_t kImage = 65545;

std::string TestDir()
{
    const std::string dir = std::string(KDLL_BINARY_DIR) + "/test-files/firmware-image-load";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = TestDir() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file) << path;
    if (file == nullptr)
        return path;
    if (!bytes.empty())
        EXPECT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), file)) << path;
    std::fclose(file);
    return path;
}

// Distinct bytes everywhere, so that a shifted or partial read shows.
std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    return bytes;
}

void PutRecord(std::vector<uint8_t>& bytes, size_t at, const char* identification,
               const char* revision)
{
    const uint8_t head[8] = {0x05, 0x80, 0x00, 0x21, 0x1F, 0, 0, 0};
    std::memcpy(&bytes[at], head, 8);
    std::memcpy(&bytes[at + 8], identification, 24);
    std::memcpy(&bytes[at + 32], revision, 4);
}

uint16_t Sum(const std::vector<uint8_t>& bytes, size_t count)
{
    unsigned long sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum % 65536);
}

std::unique_ptr<FirmwareImage> FreshImage()
{
    // Zeroed descriptors, as the Downloader's constructor leaves them.
    return std::unique_ptr<FirmwareImage>(new FirmwareImage());
}

std::string Text(const char* message)
{
    return message == nullptr ? std::string("(none)") : std::string(message);
}

} // namespace

TEST(FirmwareImageLoad, FileSizesDecideAcceptance)
{
    struct {
        const char* name;
        size_t size;
        int accepted;
        const char* message;
    } cases[] = {
        {"exactly 65,536 bytes", 65536, 1, nullptr},
        {"65,535 bytes", 65535, 0, "Damaged F/W file!"},
        {"65,537 bytes", 65537, 1, nullptr},
        {"1 MiB", 1024 * 1024, 1, nullptr},
        {"empty", 0, 0, "Damaged F/W file!"},
        {"one byte", 1, 0, "Damaged F/W file!"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes = Pattern(c.size);
        const std::string path = WriteFile("size-" + std::to_string(c.size) + ".zqx", bytes);
        auto firmware = FreshImage();
        const char* message = "not set";
        const int result = firmware->LoadFirmwareFile(path.c_str(), &message);
        EXPECT_EQ(c.accepted, result) << c.name;
        EXPECT_EQ(Text(c.message), Text(message)) << c.name;
        if (!c.accepted)
            continue;
        EXPECT_EQ(0, std::memcmp(bytes.data(), firmware->image, kFile)) << c.name;
        for (size_t i = kFile; i < kImage; ++i)
            EXPECT_EQ(0xFF, firmware->image[i]) << c.name << ": fill byte " << i;
        EXPECT_EQ(Sum(bytes, kFile), firmware->fileDescriptor.checkSum) << c.name;
    }
}

TEST(FirmwareImageLoad, OnlyTheFirst64KiBOfALongFileCount)
{
    // Record and marker behind the first 65,536 bytes are never seen.
    std::vector<uint8_t> bytes(1024 * 1024, 0x00);
    PutRecord(bytes, kFile + 100, "NEMBRIKACD-ROM RVX-4417K", "9.99");
    std::memcpy(&bytes[kFile + 200], "__ZQTYPE40__", 12);
    for (size_t i = kFile + 300; i < bytes.size(); ++i)
        bytes[i] = 0x42;
    const std::string path = WriteFile("long-tail.zqx", bytes);
    auto firmware = FreshImage();
    const char* message = nullptr;
    ASSERT_EQ(1, firmware->LoadFirmwareFile(path.c_str(), &message));
    EXPECT_STREQ("Unkown", firmware->fileDescriptor.modelName);
    EXPECT_STREQ("", firmware->fileDescriptor.revision);
    EXPECT_EQ(0, firmware->fileDescriptor.protocolType40);
    EXPECT_EQ(0x0000, firmware->fileDescriptor.checkSum);
    for (size_t i = kFile; i < kImage; ++i)
        EXPECT_EQ(0xFF, firmware->image[i]) << "fill byte " << i;
}

TEST(FirmwareImageLoad, NamesThatNeverReachTheData)
{
    struct {
        const char* name;
        std::string path;
        bool nullName;
        const char* message;
    } cases[] = {
        {"missing file", TestDir() + "/does-not-exist.zqx", false, "Unable to open file!"},
        {"missing folder", TestDir() + "/no-such-folder/a.zqx", false, "Unable to open file!"},
        {"empty name", "", false, nullptr},
        {"null name", "", true, nullptr},
    };
    for (const auto& c : cases) {
        auto firmware = FreshImage();
        std::memset(firmware->image, 0x3C, kImage);
        const char* message = "not set";
        const int result =
            firmware->LoadFirmwareFile(c.nullName ? nullptr : c.path.c_str(), &message);
        EXPECT_EQ(0, result) << c.name;
        EXPECT_EQ(Text(c.message), Text(message)) << c.name;
        // The image is filled only once the file is open.
        for (size_t i = 0; i < kImage; ++i) {
            if (firmware->image[i] != 0x3C) {
                ADD_FAILURE() << c.name << ": image byte " << i << " changed";
                break;
            }
        }
        EXPECT_EQ(0, firmware->fileDescriptor.checkSum) << c.name;
        EXPECT_STREQ("", firmware->fileDescriptor.modelName) << c.name;
    }
}

TEST(FirmwareImageLoad, MessageMayBeIgnored)
{
    auto firmware = FreshImage();
    EXPECT_EQ(0, firmware->LoadFirmwareFile((TestDir() + "/absent.zqx").c_str(), nullptr));
    const std::string path = WriteFile("short-nomessage.zqx", Pattern(100));
    EXPECT_EQ(0, firmware->LoadFirmwareFile(path.c_str(), nullptr));
    const std::string good = WriteFile("good-nomessage.zqx", Pattern(kFile));
    EXPECT_EQ(1, firmware->LoadFirmwareFile(good.c_str(), nullptr));
}

TEST(FirmwareImageLoad, FailedLoadKeepsThePreviousDescriptor)
{
    std::vector<uint8_t> bytes(kFile, 0x00);
    PutRecord(bytes, 0x0800, "NEMBRIKACD-ROM RVX-4417K", "1.01");
    std::memcpy(&bytes[0x0900], "__ZQTYPE40__", 12);
    bytes[0xFFFF] = 0x99;
    const std::string good = WriteFile("previous-good.zqx", bytes);

    auto firmware = FreshImage();
    ASSERT_EQ(1, firmware->LoadFirmwareFile(good.c_str(), nullptr));
    ASSERT_STREQ("NEMBRIKACD-ROM RVX-4417K", firmware->fileDescriptor.modelName);
    ProductDescriptor kept;
    std::memcpy(&kept, &firmware->fileDescriptor, sizeof kept);

    std::vector<uint8_t> shortBytes(kFile - 1, 0x11);
    const std::string damaged = WriteFile("previous-damaged.zqx", shortBytes);
    struct {
        const char* name;
        std::string path;
        const char* message;
    } failures[] = {
        {"damaged", damaged, "Damaged F/W file!"},
        {"missing", TestDir() + "/previous-missing.zqx", "Unable to open file!"},
        {"empty name", "", nullptr},
    };
    for (const auto& f : failures) {
        const char* message = nullptr;
        EXPECT_EQ(0, firmware->LoadFirmwareFile(f.path.c_str(), &message)) << f.name;
        EXPECT_EQ(Text(f.message), Text(message)) << f.name;
        EXPECT_EQ(0, std::memcmp(&kept, &firmware->fileDescriptor, sizeof kept)) << f.name;
        EXPECT_STREQ("NEMBRIKACD-ROM RVX-4417K", firmware->fileDescriptor.modelName) << f.name;
        EXPECT_STREQ("1.01", firmware->fileDescriptor.revision) << f.name;
    }

    // The damaged read left what it got, and the fill behind it.
    const std::string again = WriteFile("previous-damaged-2.zqx", shortBytes);
    ASSERT_EQ(0, firmware->LoadFirmwareFile(again.c_str(), nullptr));
    EXPECT_EQ(0x11, firmware->image[0]);
    EXPECT_EQ(0x11, firmware->image[kFile - 2]);
    EXPECT_EQ(0xFF, firmware->image[kFile - 1]);
    EXPECT_EQ(0xFF, firmware->image[kImage - 1]);

    // The next good load rewrites everything.
    const std::string other = WriteFile("previous-other.zqx", std::vector<uint8_t>(kFile, 0xFF));
    ASSERT_EQ(1, firmware->LoadFirmwareFile(other.c_str(), nullptr));
    EXPECT_STREQ("Unkown", firmware->fileDescriptor.modelName);
    EXPECT_STREQ("", firmware->fileDescriptor.revision);
    EXPECT_EQ(0, firmware->fileDescriptor.protocolType40);
    EXPECT_EQ(0x0000, firmware->fileDescriptor.checkSum);
}

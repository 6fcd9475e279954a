#include "FirmwareFileBuilder.h"

#include <cstdio>
#include <cstring>

namespace {

void PutPadded(std::vector<uint8_t>& bytes, size_t offset, const char* text, size_t width)
{
    size_t length = std::strlen(text);
    for (size_t i = 0; i < width && offset + i < bytes.size(); ++i)
        bytes[offset + i] = static_cast<uint8_t>(i < length ? text[i] : ' ');
}

} // namespace

FirmwareFileBuilder::FirmwareFileBuilder() : bytes(kFileBytes, 0)
{
    // Neighbours differ by 7 or 8, so no two equal bytes follow each other (no "__") and
    // 05 is never followed by 80.
    for (size_t i = kCodeOffset; i < kFileBytes; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
}

FirmwareFileBuilder FirmwareFileBuilder::Standard(const char* revision)
{
    FirmwareFileBuilder file;
    file.Marker(0x0100).Record(0x1000, "NEMBRIKA", "CD-ROM RVX-4417K", revision);
    return file;
}

FirmwareFileBuilder& FirmwareFileBuilder::FillLeading(uint8_t value)
{
    std::memset(bytes.data(), value, kCodeOffset);
    return *this;
}

FirmwareFileBuilder& FirmwareFileBuilder::FillCode(uint8_t value)
{
    std::memset(bytes.data() + kCodeOffset, value, kCodeBytes);
    return *this;
}

FirmwareFileBuilder& FirmwareFileBuilder::Record(size_t offset, const char* vendor,
                                                 const char* product, const char* revision,
                                                 uint8_t format)
{
    const uint8_t head[8] = {0x05, 0x80, 0x00, format, 0x1F, 0x00, 0x00, 0x00};
    for (size_t i = 0; i < sizeof head && offset + i < bytes.size(); ++i)
        bytes[offset + i] = head[i];
    PutPadded(bytes, offset + 8, vendor, 8);
    PutPadded(bytes, offset + 16, product, 16);
    PutPadded(bytes, offset + 32, revision, 4);
    return *this;
}

FirmwareFileBuilder& FirmwareFileBuilder::Marker(size_t offset)
{
    PutPadded(bytes, offset, "__ZQTYPE40__", 12);
    return *this;
}

FirmwareFileBuilder& FirmwareFileBuilder::Resize(size_t size)
{
    bytes.resize(size, 0);
    return *this;
}

uint16_t FirmwareFileBuilder::FileSum() const
{
    uint32_t sum = 0;
    for (size_t i = 0; i < kFileBytes && i < bytes.size(); ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

uint16_t FirmwareFileBuilder::CodeSum() const
{
    uint32_t sum = 0;
    for (size_t i = kCodeOffset; i < kFileBytes && i < bytes.size(); ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> FirmwareFileBuilder::Payload() const
{
    if (bytes.size() < kFileBytes)
        return {};
    std::vector<uint8_t> payload(bytes.begin() + kCodeOffset, bytes.begin() + kFileBytes);
    uint16_t sum = CodeSum();
    payload.push_back(static_cast<uint8_t>(sum & 0xFF));
    payload.push_back(static_cast<uint8_t>(sum >> 8));
    return payload;
}

std::string FirmwareFileBuilder::WriteTo(const std::string& folder, const char* name) const
{
    std::string path = folder + "\\" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return "";
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    int closed = std::fclose(file);
    if (written != bytes.size() || closed != 0)
        return "";
    return path;
}

#include "FirmwareFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image/TestFileNote.h"

// Windows opens files in text mode unless told; elsewhere there is no such mode.
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

const size_t kFirmwareBytes = 65536;
const size_t kCodeOffset = 0x0800;
const size_t kCodeBytes = kFirmwareBytes - kCodeOffset;
// The leading block is never sent to the drive; erased flash reads as 0xFF.
const uint8_t kLeadingFill = 0xFF;

void PutPadded(uint8_t* at, const std::string& text, size_t width)
{
    // INQUIRY texts are fixed-width and padded with blanks.
    for (size_t i = 0; i < width; ++i)
        at[i] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
}

} // namespace

FirmwareFileWriter::FirmwareFileWriter(const ToolArguments& settings) : settings(settings) {}

bool FirmwareFileWriter::Fail(const std::string& text)
{
    errorText = text;
    return false;
}

bool FirmwareFileWriter::Write()
{
    if (!Build())
        return false;
    std::FILE* file = Create();
    if (file == nullptr && errno == EEXIST)
        return Fail(settings.path + " exists: not overwritten (--force overwrites it)");
    if (file == nullptr)
        return Fail(settings.path + ": cannot create: " + std::strerror(errno));
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const int closed = std::fclose(file) == 0;
    if (written != bytes.size() || !closed)
        return Fail(settings.path + ": write failed: " + std::strerror(errno));
    return true;
}

// Without --force only a file that does not exist yet is created, in one step, so that
// no file of the same name is lost, whoever made it in the meantime.
std::FILE* FirmwareFileWriter::Create() const
{
    if (settings.overwrite)
        return std::fopen(settings.path.c_str(), "wb");
    const int descriptor =
        open(settings.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    if (descriptor < 0)
        return nullptr;
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr)
        close(descriptor);
    return file;
}

bool FirmwareFileWriter::Build()
{
    bytes.assign(static_cast<size_t>(settings.fileSize), kLeadingFill);
    for (size_t i = kCodeOffset; i < bytes.size(); ++i) {
        const int ramp = static_cast<int>(i & 0xFF);
        bytes[i] = static_cast<uint8_t>(
            settings.fillByte == ToolArguments::kRamp ? ramp : settings.fillByte);
    }
    if (!PlaceCode())
        return false;
    PlaceNote();
    // Record and marker go in last so that a code binary cannot hide them.
    PlaceRecord();
    PlaceMarker();
    return true;
}

bool FirmwareFileWriter::PlaceCode()
{
    if (settings.codePath.empty())
        return true;
    std::FILE* file = std::fopen(settings.codePath.c_str(), "rb");
    if (file == nullptr)
        return Fail(settings.codePath + ": cannot open: " + std::strerror(errno));
    std::vector<uint8_t> code(kCodeBytes + 1);
    const size_t got = std::fread(code.data(), 1, code.size(), file);
    const int failed = std::ferror(file);
    std::fclose(file);
    if (failed)
        return Fail(settings.codePath + ": read failed");
    if (got > kCodeBytes)
        return Fail(settings.codePath + ": more than the 63488 bytes of the code part");
    for (size_t i = 0; i < got && kCodeOffset + i < bytes.size(); ++i)
        bytes[kCodeOffset + i] = code[i];
    return true;
}

void FirmwareFileWriter::PlaceNote()
{
    if (settings.noteLeftOut)
        return;
    std::memcpy(&bytes[TestFileNote::kOffset], TestFileNote::kText, TestFileNote::kLength);
}

void FirmwareFileWriter::PlaceRecord()
{
    if (settings.recordOffset == ToolArguments::kNone)
        return;
    uint8_t* record = &bytes[static_cast<size_t>(settings.recordOffset)];
    // Standard INQUIRY data: CD-ROM, removable, version 0, response data format,
    // additional length 31, three bytes the downloader does not look at.
    const uint8_t head[8] = {0x05, 0x80, 0x00, settings.formatByte, 0x1F, 0x00, 0x00, 0x00};
    std::memcpy(record, head, sizeof head);
    PutPadded(record + 8, settings.vendor, 8);
    PutPadded(record + 16, settings.product, 16);
    PutPadded(record + 32, settings.revision, 4);
}

void FirmwareFileWriter::PlaceMarker()
{
    if (settings.markerOffset == ToolArguments::kNone)
        return;
    static const char kMarker[] = "__ZQTYPE40__";
    std::memcpy(&bytes[static_cast<size_t>(settings.markerOffset)], kMarker, sizeof kMarker - 1);
}

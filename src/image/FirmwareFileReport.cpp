// What zqxtool info says of a firmware file: what the panel would show, and whether the
// downloader would take it.
#include "image/FirmwareFileReport.h"

#include <algorithm>
#include <cstring>

#include "image/TestFileNote.h"
#include "base/ProductInfo.h"

namespace {

std::string HitsText(int count, int first, int last)
{
    char text[96];
    if (count == 0)
        return "none found";
    if (count == 1) {
        std::snprintf(text, sizeof text, "at 0x%04X", static_cast<unsigned>(first));
        return text;
    }
    std::snprintf(text, sizeof text, "at 0x%04X, the last of %d (first at 0x%04X)",
                  static_cast<unsigned>(last), count, static_cast<unsigned>(first));
    return text;
}

} // namespace

FirmwareFileReport::FirmwareFileReport()
    : loaderMessage(nullptr), hits(), transferSum(0), noteAt(-1)
{
    std::memset(&firmware.fileDescriptor, 0, sizeof firmware.fileDescriptor);
    std::memset(&firmware.driveDescriptor, 0, sizeof firmware.driveDescriptor);
    firmware.transferCheckSum = 0;
}

bool FirmwareFileReport::Load(const std::string& path)
{
    fileName = path;
    if (!firmware.LoadFirmwareFile(path.c_str(), &loaderMessage))
        return false;
    Describe();
    return true;
}

bool FirmwareFileReport::Load(const std::string& name, const FirmwareFileBytes& read)
{
    fileName = name;
    if (!firmware.LoadFirmwareBytes(read.bytes, read.count, &loaderMessage))
        return false;
    Describe();
    return true;
}

void FirmwareFileReport::Describe()
{
    // The loader has parsed once already; this second pass over the same bytes only
    // adds where the record and the marker were met.
    firmware.ParseFirmwareImage(&hits);
    transferSum = firmware.ComputeTransferCheckSum();
    const uint8_t* block = firmware.image;
    const uint8_t* end = block + TestFileNote::kLeadingBlockEnd;
    const char* signature = TestFileNote::kSignature;
    const uint8_t* found = std::search(block, end, signature, signature + std::strlen(signature));
    noteAt = found != end ? static_cast<int>(found - block) : -1;
}

std::string FirmwareFileReport::ModelRowText() const
{
    const ProductDescriptor& file = firmware.fileDescriptor;
    return std::string(file.modelName) + " " + file.revision + "  ";
}

void FirmwareFileReport::Print(std::FILE* out) const
{
    const ProductDescriptor& file = firmware.fileDescriptor;
    const std::string row = ModelRowText();
    std::fprintf(out, "File            %s\n", fileName.c_str());
    std::fprintf(out, "FW Model Name   \"%s\"\n", row.c_str());
    std::fprintf(out, "FW Protocol     %s\n", ProtocolName(file.protocolType40));
    std::fprintf(out, "Check Sum       %04X\n", file.checkSum);
    std::fprintf(out, "Transfer sum    %04X (code part 0x0800-0xFFFF, sent behind it)\n",
                 transferSum);
    std::fprintf(out, "Record          %s\n",
                 HitsText(hits.recordCount, hits.firstRecord, hits.lastRecord).c_str());
    std::fprintf(out, "Marker          %s\n",
                 HitsText(hits.markerCount, hits.firstMarker, hits.lastMarker).c_str());
    if (noteAt >= 0)
        std::fprintf(out, "Test file       yes: \"%s\" at 0x%04X\n", TestFileNote::kSignature,
                     static_cast<unsigned>(noteAt));

    switch (Judge()) {
    case kOtherDrive:
        std::fprintf(out,
                     "Verdict         the download stops after reading the file: the "
                     "identification is not %s\n",
                     KDLL_DRIVE_IDENTIFICATION);
        break;
    case kNoMarker:
        std::fprintf(out, "Verdict         the download stops at the protocol check: the "
                          "file has no protocol marker (\"Mismatch protocol between F/W and "
                          "drive!\")\n");
        break;
    case kFit:
        std::fprintf(out, "Verdict         fit for an RVX-4417K\n");
        break;
    case kTestFile:
        std::fprintf(out, "Verdict         a test file made by zqxtool: the downloader takes it "
                          "for an RVX-4417K, but never flash a real drive with it\n");
        break;
    }
}

FirmwareFileReport::Verdict FirmwareFileReport::Judge() const
{
    // The downloader compares the first 24 characters of the row text; a shorter text
    // differs. The protocol is compared later with the drive's, which speaks 4.0.
    if (ModelRowText().compare(0, KDLL_DRIVE_IDENTIFICATION_LENGTH, KDLL_DRIVE_IDENTIFICATION) != 0)
        return kOtherDrive;
    if (!firmware.fileDescriptor.protocolType40)
        return kNoMarker;
    return noteAt >= 0 ? kTestFile : kFit;
}

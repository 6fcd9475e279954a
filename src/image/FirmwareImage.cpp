// Loading a firmware file into the image and deriving the file's description from it.
#include "image/FirmwareImage.h"

#include <cstdio>
#include <cstring>

#include "base/InquiryLayout.h"

namespace {

const char kUnableToOpen[] = "Unable to open file!";
const char kDamaged[] = "Damaged F/W file!";

// Download protocol type 4.0; no terminator follows it in the file.
const uint8_t kMarker[12] = {'_', '_', 'Z', 'Q', 'T', 'Y', 'P', 'E', '4', '0', '_', '_'};
// First five bytes of INQUIRY data: CD-ROM, removable, version 0, response data format
// 0x21 (0x32 is taken as well), additional length 31.
const uint8_t kRecordStart[5] = {0x05, 0x80, 0x00, 0x21, 0x1F};
const uint8_t kAlternateFormat = 0x32;
const uint8_t kFill = 0xFF;

void SetMessage(const char** message, const char* text)
{
    if (message != nullptr)
        *message = text;
}

// Copies count bytes starting at image offset from and puts a NUL behind them. A record
// recognised in the last bytes of the image names bytes beyond the buffer; those read as
// the fill value, as if the fill behind the file data went on.
void CopyRecordText(const uint8_t* image, int from, int count, char* text)
{
    for (int n = 0; n < count; ++n) {
        const int at = from + n;
        text[n] = static_cast<char>(at < FirmwareImage::kImageBytes ? image[at] : kFill);
    }
    text[count] = '\0';
}

} // namespace

bool FirmwareImage::LoadFirmwareFile(const char* fileName, const char** message)
{
    SetMessage(message, nullptr);
    if (fileName == nullptr || fileName[0] == '\0')
        return false;

    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        SetMessage(message, kUnableToOpen);
        return false;
    }
    std::memset(image, kFill, sizeof image);
    const size_t got = std::fread(image, 1, kFileBytes, file);
    // A file of exactly 65,536 bytes leaves the end-of-file indicator clear: the read
    // stops when it has its bytes and does not look further.
    const int atEnd = std::feof(file);
    std::fclose(file);
    if (got < static_cast<size_t>(kFileBytes) || atEnd) {
        SetMessage(message, kDamaged);
        return false;
    }
    ParseFirmwareImage();
    return true;
}

bool FirmwareImage::LoadFirmwareBytes(const uint8_t* bytes, size_t count, const char** message)
{
    SetMessage(message, nullptr);
    if (count < static_cast<size_t>(kFileBytes)) {
        SetMessage(message, kDamaged);
        return false;
    }
    std::memset(image, kFill, sizeof image);
    std::memcpy(image, bytes, kFileBytes);
    ParseFirmwareImage();
    return true;
}

void FirmwareImage::ParseFirmwareImage(ScanHits* hits)
{
    ProductDescriptor& file = fileDescriptor;
    std::memset(file.revision, 0, sizeof file.revision);
    std::memset(file.modelName, 0, sizeof file.modelName);
    std::memcpy(file.modelName, kUnknownText, sizeof kUnknownText);
    file.protocolType40 = 0;
    if (hits != nullptr)
        *hits = ScanHits{0, -1, -1, 0, -1, -1};

    uint16_t sum = 0;
    int m = 0;
    int k = 0;
    for (int i = 0; i < kFileBytes; ++i) {
        const uint8_t b = image[i];
        sum = static_cast<uint16_t>(sum + b);
        // Most bytes neither continue a partial match nor start one: they only count in
        // the sum, and the counters stay 0.
        if ((m | k) == 0 && b != kMarker[0] && b != kRecordStart[0])
            continue;
        // A byte that breaks a partial match is not tried again as a first byte.
        if (b == kMarker[m])
            ++m;
        else
            m = 0;
        if (b == kRecordStart[k] || (k == 3 && b == kAlternateFormat))
            ++k;
        else
            k = 0;
        if (m == static_cast<int>(sizeof kMarker)) {
            file.protocolType40 = 1;
            m = 0;
            if (hits != nullptr) {
                hits->lastMarker = i + 1 - static_cast<int>(sizeof kMarker);
                if (hits->markerCount++ == 0)
                    hits->firstMarker = hits->lastMarker;
            }
        }
        if (k == static_cast<int>(sizeof kRecordStart)) {
            const int record = i + 1 - static_cast<int>(sizeof kRecordStart);
            CopyRecordText(image, record + InquiryLayout::kVendorOffset,
                           InquiryLayout::kIdentificationLength, file.modelName);
            CopyRecordText(image, record + InquiryLayout::kRevisionOffset,
                           InquiryLayout::kRevisionLength, file.revision);
            k = 0;
            if (hits != nullptr) {
                hits->lastRecord = record;
                if (hits->recordCount++ == 0)
                    hits->firstRecord = record;
            }
        }
    }
    file.checkSum = sum;
}

uint16_t FirmwareImage::ComputeTransferCheckSum() const
{
    return SumBytes(image + kCodeOffset, kCodeBytes);
}

uint16_t FirmwareImage::SumBytes(const uint8_t* bytes, size_t count)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

const char* ProtocolName(uint8_t protocolType40)
{
    return protocolType40 == 1 ? "VEXO Type 4.0" : kUnknownText;
}

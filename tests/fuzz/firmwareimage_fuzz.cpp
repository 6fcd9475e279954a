// ParseFirmwareImage over arbitrary image contents. The first input byte chooses where the
// rest lands: at the start of the image, against the end of the file data, or against the
// end of the whole buffer (over the fill bytes); the other bytes hold 0xFF as after a load.
// The image lives on the heap, so a read past its 65,545 bytes is reported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/FirmwareImage.h"

namespace {

const size_t kFile = FirmwareImage::kFileBytes;
const size_t kImage = FirmwareImage::kImageBytes;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

size_t BoundedLength(const char* text, size_t size)
{
    size_t n = 0;
    while (n < size && text[n] != '\0')
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FirmwareImage* firmware = new FirmwareImage();
    static uint8_t* before = new uint8_t[kImage];
    if (size == 0)
        return 0;
    const uint8_t placement = data[0] % 3;
    ++data;
    --size;
    if (size > kImage)
        size = kImage;

    std::memset(firmware->image, 0xFF, kImage);
    size_t at = 0;
    if (placement == 1)
        at = size <= kFile ? kFile - size : 0;
    else if (placement == 2)
        at = kImage - size;
    if (size > 0)
        std::memcpy(firmware->image + at, data, size);
    std::memcpy(before, firmware->image, kImage);

    FirmwareImage::ScanHits hits;
    firmware->ParseFirmwareImage(&hits);
    const ProductDescriptor& file = firmware->fileDescriptor;

    // The expected sum from the input alone: 0xFF everywhere but where the input landed.
    uint32_t sum = 0xFFu * static_cast<uint32_t>(kFile);
    for (size_t n = 0; n < size && at + n < kFile; ++n)
        sum = sum - 0xFFu + data[n];
    Check(file.checkSum == static_cast<uint16_t>(sum));
    Check(file.protocolType40 == (hits.markerCount > 0 ? 1 : 0));
    Check(BoundedLength(file.modelName, sizeof file.modelName) <= 24);
    Check(BoundedLength(file.revision, sizeof file.revision) <= 4);
    if (hits.recordCount == 0) {
        Check(std::strcmp(file.modelName, "Unkown") == 0);
        Check(file.revision[0] == '\0');
    } else {
        Check(hits.lastRecord >= 0 && static_cast<size_t>(hits.lastRecord) + 5 <= kFile);
        Check(firmware->image[hits.lastRecord] == 0x05);
    }
    if (hits.markerCount > 0) {
        Check(static_cast<size_t>(hits.lastMarker) + 12 <= kFile);
        Check(std::memcmp(firmware->image + hits.lastMarker, "__ZQTYPE40__", 12) == 0);
    }
    Check(std::memcmp(before, firmware->image, kImage) == 0);

    return 0;
}

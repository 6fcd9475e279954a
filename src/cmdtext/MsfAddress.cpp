// Logical block addresses to and from minute, second and frame.
#include "cmdtext/MsfAddress.h"

namespace {

const int32_t kLeadIn = 150;           // frames before logical block 0
const int32_t kWrapFrames = 450150;    // 100 minutes plus the lead-in
const int32_t kFramesPerMinute = 4500; // 60 * 75

int8_t Low8(int32_t value)
{
    int32_t low = value & 0xFF;
    return static_cast<int8_t>(low >= 0x80 ? low - 0x100 : low);
}

} // namespace

void MsfToLba(MsfAddress& address)
{
    int32_t n = (address.minute * 60 + address.second) * 75 + address.frame;
    address.lba = address.minute < 90 ? n - kLeadIn : n - kWrapFrames;
}

void LbaToMsf(MsfAddress& address)
{
    // 32-bit arithmetic that wraps instead of overflowing: an address near the top of the
    // range comes out as the product's 32-bit code had it.
    uint32_t offset = address.lba >= -kLeadIn ? static_cast<uint32_t>(kLeadIn)
                                              : static_cast<uint32_t>(kWrapFrames);
    uint32_t sum = static_cast<uint32_t>(address.lba) + offset;
    int32_t b = sum <= 0x7FFFFFFFu ? static_cast<int32_t>(sum) : -static_cast<int32_t>(~sum) - 1;
    int32_t inMinute = b % kFramesPerMinute;
    address.minute = Low8(b / kFramesPerMinute);
    address.second = Low8(inMinute / 75);
    address.frame = Low8(inMinute % 75);
}

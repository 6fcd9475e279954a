// FormatCommand over arbitrary command lines with arguments for their placeholders.
//
// Input: one mode byte, the line up to the first NUL, then the argument bytes.
//   mode bit 0 clear: numbers. Every letter after a '%' that would make a %S placeholder
//     is turned into D, so each placeholder takes a 32-bit number; the numbers are the
//     argument bytes read four at a time (little-endian).
//   mode bit 0 set: texts. Every D or X after a '%' is turned into S, so each placeholder
//     takes a string; the strings are the argument bytes split at NULs, an empty piece
//     passing a null pointer.
//   mode bit 1: a device with a 4,096-byte buffer instead of the system's 65,536.
// The placeholder letters are made uniform because a variadic argument must be read
// with the type it was passed as. A line holds at most 19 tokens and each takes at most
// one argument, so 19 arguments are always enough.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdtext/FormatCommand.h"

namespace {

const int kArguments = 19;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Sanitize(std::string& line, bool texts)
{
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] != '%')
            continue;
        char& letter = line[i + 1];
        const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 32) : letter;
        if (texts && (upper == 'D' || upper == 'X'))
            letter = 'S';
        if (!texts && upper == 'S')
            letter = 'D';
    }
}

void CheckRequest(const ScsiDevice& device, uint8_t* buffer)
{
    Check(device.PendingRequest().cdbLength == 12);
    Check(device.PendingRequest().direction == SRB_DIR_IN ||
          device.PendingRequest().direction == SRB_DIR_OUT);
    Check(device.PendingRequest().dataLength <= device.BufferCapacity());
    Check(device.DataBuffer() == buffer && device.DataBuffer()[0] == 0x5A);
    Check(device.AdapterId() == 0 && device.TargetId() == 0 && device.SenseKey() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScsiDevice* large = new ScsiDevice(65545);
    static ScsiDevice* small = new ScsiDevice(4096);
    if (size == 0)
        return 0;
    const bool texts = (data[0] & 1) != 0;
    ScsiDevice& device = (data[0] & 2) ? *small : *large;
    device.DataBuffer()[0] = 0x5A;
    uint8_t* const buffer = device.DataBuffer();

    const char* begin = reinterpret_cast<const char*>(data + 1);
    const char* end = reinterpret_cast<const char*>(data + size);
    const char* nul = static_cast<const char*>(std::memchr(begin, 0, end - begin));
    std::string line(begin, nul ? nul : end);
    Sanitize(line, texts);
    const std::string argumentBytes(nul ? nul + 1 : end, end);
    const std::string original = line;

    if (texts) {
        std::vector<std::string> pieces;
        size_t at = 0;
        while (pieces.size() < kArguments && at <= argumentBytes.size()) {
            size_t stop = argumentBytes.find('\0', at);
            if (stop == std::string::npos)
                stop = argumentBytes.size();
            pieces.push_back(argumentBytes.substr(at, stop - at));
            at = stop + 1;
        }
        pieces.resize(kArguments);
        const char* s[kArguments];
        for (int i = 0; i < kArguments; ++i)
            s[i] = pieces[i].empty() ? nullptr : pieces[i].c_str();
        Check(FormatCommand(device, line.c_str(), s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7],
                            s[8], s[9], s[10], s[11], s[12], s[13], s[14], s[15], s[16], s[17],
                            s[18]) == 1);
    } else {
        int32_t n[kArguments] = {};
        for (int i = 0; i < kArguments; ++i) {
            uint32_t v = 0;
            for (int b = 0; b < 4; ++b) {
                const size_t k = static_cast<size_t>(i) * 4 + b;
                if (k < argumentBytes.size())
                    v |= static_cast<uint32_t>(static_cast<uint8_t>(argumentBytes[k])) << (8 * b);
            }
            n[i] = static_cast<int32_t>(v);
        }
        Check(FormatCommand(device, line.c_str(), n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7],
                            n[8], n[9], n[10], n[11], n[12], n[13], n[14], n[15], n[16], n[17],
                            n[18]) == 1);
    }
    CheckRequest(device, buffer);
    Check(line == original);
    return 0;
}

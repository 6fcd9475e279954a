// EvaluateNumber: one number token of a command line, in the radix its prefix names.
#include "cmdtext/EvaluateNumber.h"

#include <cstdlib>

#include "base/AsciiText.h"
#include "cmdtext/MatchPattern.h"
#include "cmdtext/MsfAddress.h"

namespace {

const uint32_t kInt32Max = 0x7FFFFFFFu;

int8_t Low8(uint32_t value)
{
    int32_t low = static_cast<int32_t>(value & 0xFF);
    return static_cast<int8_t>(low >= 0x80 ? low - 0x100 : low);
}

// The blanks that scanf skips before a number.
bool IsScanSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips leading blanks and reads an optional sign; true for '-'.
bool ScanSign(const char*& s)
{
    while (IsScanSpace(*s))
        ++s;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        ++s;
    return negative;
}

// "%ld" with a 32-bit long: saturates at 2,147,483,647; negative results become 0.
uint32_t ScanDecimal(const char* s)
{
    bool negative = ScanSign(s);
    uint32_t value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        uint32_t digit = static_cast<uint32_t>(*s - '0');
        value = value > (kInt32Max - digit) / 10 ? kInt32Max : value * 10 + digit;
    }
    return negative ? 0 : value;
}

// "%lX" with a 32-bit unsigned long: a 0X prefix may follow the sign, a minus negates
// modulo 2^32, and a magnitude beyond 32 bits saturates at 0xFFFFFFFF.
uint32_t ScanHex(const char* s)
{
    bool negative = ScanSign(s);
    if (s[0] == '0' && (s[1] == 'X' || s[1] == 'x') && HexDigit(s[2]) >= 0)
        s += 2;
    uint32_t value = 0;
    bool overflow = false;
    for (int digit = HexDigit(*s); digit >= 0; digit = HexDigit(*++s)) {
        if (value > 0x0FFFFFFFu)
            overflow = true;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    if (overflow)
        return 0xFFFFFFFFu;
    return negative ? 0u - value : value;
}

// Every character shifts in one bit: 1 for '1', 0 for anything else.
uint32_t ScanBinary(const char* s)
{
    uint32_t value = 0;
    for (; *s; ++s)
        value = (value << 1) | (*s == '1' ? 1u : 0u);
    return value;
}

} // namespace

uint32_t EvaluateNumber(TextBuffer& token, char defaultRadix)
{
    UpperCase(token.data);
    char radix = defaultRadix >= 'a' && defaultRadix <= 'z' ? static_cast<char>(defaultRadix - 32)
                                                            : defaultRadix;

    char prefix[2];
    if (MatchPattern(token, "?'*", {{prefix, sizeof prefix}, {nullptr, 0}})) {
        radix = prefix[0];
        token.RemoveFront(2);
    } else if (token.data[0] == '#') {
        radix = 'D';
        token.RemoveFront(1);
    } else if (token.data[0] == '$') {
        radix = 'H';
        token.RemoveFront(1);
    } else if (token.data[0] == '%') {
        radix = 'B';
        token.RemoveFront(1);
    }

    // Parts are never longer than the token, so nothing captured here is cut.
    int room = token.Length() + 1;
    TextBuffer first(room);
    TextBuffer second(room);
    TextBuffer third(room);
    if (MatchPattern(token, "*:*:*",
                     {{first.data, room}, {second.data, room}, {third.data, room}})) {
        MsfAddress address;
        address.lba = 0;
        address.minute = Low8(EvaluateNumber(first, radix));
        address.second = Low8(EvaluateNumber(second, radix));
        address.frame = Low8(EvaluateNumber(third, radix));
        MsfToLba(address);
        return static_cast<uint32_t>(address.lba);
    }
    if (MatchPattern(token, "*:*", {{first.data, room}, {second.data, room}})) {
        uint32_t low = EvaluateNumber(first, radix);
        uint32_t high = EvaluateNumber(second, radix);
        // The product's runtime draws 0 to 32767; other runtimes are held to that range.
        uint32_t g = static_cast<uint32_t>(std::rand()) & 0x7FFFu;
        return low + (g * (high - low + 1u)) / 32767u;
    }

    switch (radix) {
    case 'B':
        return ScanBinary(token.data);
    case 'D':
        return ScanDecimal(token.data);
    case 'H':
        return ScanHex(token.data);
    default:
        return 0;
    }
}

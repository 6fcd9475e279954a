// FormatCommand: a command line read token by token into the device's pending request.
#include "cmdtext/FormatCommand.h"

#include <cinttypes>
#include <cstring>

#include "base/AsciiText.h"
#include "base/FormatText.h"
#include "cmdtext/EvaluateNumber.h"
#include "cmdtext/MatchPattern.h"
#include "cmdtext/MsfAddress.h"

namespace {

enum {
    kMaxTokens = 19,
    kTokenSize = 15, // 14 characters as written and the NUL
    kTextSize = 20,  // 19 characters of inserted, option or parenthesised text and the NUL
    kCdbSize = 12,
};

// Nineteen stars: the last one takes the rest of the line, blanks included.
const char kSplitPattern[] = "* * * * * * * * * * * * * * * * * * *";

// The request as it is built; handed to the device only once the line is read.
struct Request {
    uint8_t cdb[kCdbSize];
    int position;
    uint8_t direction;
    uint32_t dataLength;
    uint32_t timeoutMs;
};

// Bytes past the twelfth are dropped.
void PutByte(Request& request, uint32_t value)
{
    if (request.position < kCdbSize)
        request.cdb[request.position] = static_cast<uint8_t>(value & 0xFF);
    ++request.position;
}

// Replaces the token's first placeholder by its argument's text; false when the letter
// is none of D, X, S and the token is to be dropped.
bool ReplacePlaceholder(TextBuffer& token, va_list& arguments)
{
    char before[kTokenSize];
    char letter[2];
    char after[kTokenSize];
    if (!MatchPattern(token, "*%?*",
                      {{before, sizeof before}, {letter, sizeof letter}, {after, sizeof after}}))
        return true;
    char text[kTextSize];
    switch (letter[0]) {
    case 'D':
        FormatText(text, sizeof text, "%" PRId32, va_arg(arguments, int32_t));
        break;
    case 'X':
        FormatText(text, sizeof text, "%" PRIx32, va_arg(arguments, uint32_t));
        break;
    case 'S': {
        const char* source = va_arg(arguments, const char*);
        size_t length = source ? std::strlen(source) : 0;
        if (length > sizeof text - 1)
            length = sizeof text - 1;
        if (length > 0)
            std::memcpy(text, source, length);
        text[length] = '\0';
        break;
    }
    default:
        return false;
    }
    token.Assign(before).Append(text).Append(after);
    return true;
}

// Acts on an option token; false when the token is not one.
bool ApplyOption(TextBuffer& token, Request& request, uint32_t bufferCapacity)
{
    char letter[2];
    char value[kTextSize];
    if (!MatchPattern(token, "/?*", {{letter, sizeof letter}, {value, sizeof value}}))
        return false;
    if (letter[0] != 'R' && letter[0] != 'W' && letter[0] != 'T')
        return true;
    TextBuffer valueText(value);
    uint32_t n = EvaluateNumber(valueText, 'D');
    if (letter[0] == 'T') {
        request.timeoutMs = n * 1000u;
        return true;
    }
    request.direction = letter[0] == 'R' ? SRB_DIR_IN : SRB_DIR_OUT;
    request.dataLength = (n == 0 || n > bufferCapacity) ? bufferCapacity : n;
    return true;
}

void PutValue(Request& request, char type, uint32_t value)
{
    switch (type) {
    case 'B':
        PutByte(request, value);
        break;
    case 'W':
        PutByte(request, value >> 8);
        PutByte(request, value);
        break;
    case 'D':
    case 'L':
        PutByte(request, value >> 24);
        PutByte(request, value >> 16);
        PutByte(request, value >> 8);
        PutByte(request, value);
        break;
    case 'M': {
        MsfAddress address;
        address.lba = static_cast<int32_t>(value);
        LbaToMsf(address);
        PutByte(request, static_cast<uint8_t>(address.minute));
        PutByte(request, static_cast<uint8_t>(address.second));
        PutByte(request, static_cast<uint8_t>(address.frame));
        break;
    }
    default:
        break;
    }
}

void ReadToken(const char* written, Request& request, uint32_t bufferCapacity, va_list& arguments)
{
    TextBuffer token(written);
    if (!ReplacePlaceholder(token, arguments))
        return;
    if (ApplyOption(token, request, bufferCapacity))
        return;
    char type = 'B';
    char typeLetter[2];
    char inner[kTextSize];
    if (MatchPattern(token, "?(*)", {{typeLetter, sizeof typeLetter}, {inner, sizeof inner}})) {
        type = typeLetter[0];
        token.Assign(inner);
    }
    PutValue(request, type, EvaluateNumber(token, 'H'));
}

} // namespace

int FormatCommand(ScsiDevice& device, const char* commandLine, ...)
{
    va_list arguments;
    va_start(arguments, commandLine);
    int result = FormatCommandV(device, commandLine, arguments);
    va_end(arguments);
    return result;
}

int FormatCommandV(ScsiDevice& device, const char* commandLine, va_list arguments)
{
    TextBuffer line(commandLine);
    UpperCase(line.data);

    char tokens[kMaxTokens][kTokenSize];
    PatternOutput outputs[kMaxTokens];
    for (int i = 0; i < kMaxTokens; ++i) {
        tokens[i][0] = '\0';
        outputs[i].text = tokens[i];
        outputs[i].size = kTokenSize;
    }
    // A line with fewer tokens fails the match but leaves the tokens it did capture.
    MatchPattern(line, kSplitPattern, outputs, kMaxTokens);

    Request request;
    std::memset(request.cdb, 0, sizeof request.cdb);
    request.position = 0;
    request.direction = SRB_DIR_IN;
    request.dataLength = 0;
    request.timeoutMs = ScsiDevice::kDefaultTimeoutMs;

    va_list cursor;
    va_copy(cursor, arguments);
    for (int i = 0; i < kMaxTokens; ++i) {
        if (tokens[i][0] == '\0')
            continue;
        ReadToken(tokens[i], request, device.BufferCapacity(), cursor);
    }
    va_end(cursor);

    ScsiRequest pending;
    std::memcpy(pending.cdb, request.cdb, sizeof pending.cdb);
    pending.cdbLength = kCdbSize;
    pending.direction = request.direction;
    pending.dataLength = request.dataLength;
    pending.timeoutMs = request.timeoutMs;
    device.SetRequest(pending);
    return 1;
}

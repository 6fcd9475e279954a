#include "ToolArguments.h"

#include <cstdio>

#include "image/TestFileNote.h"

namespace {

const long kFirmwareBytes = 65536;
const long kDefaultRecordAt = 0x0800;
const long kDefaultMarkerAt = 0x0840;
const long kRecordBytes = 36;
const long kMarkerBytes = 12;

// Decimal, or hexadecimal after "0x"; nothing else, no sign, nothing behind the digits.
bool ParseNumber(const std::string& text, long limit, long* value)
{
    int base = 10;
    size_t at = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        at = 2;
    }
    if (at >= text.size())
        return false;
    long result = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        if (digit >= base)
            return false;
        result = result * base + digit;
        if (result > limit)
            return false;
    }
    *value = result;
    return true;
}

} // namespace

ToolArguments::ToolArguments()
    : verb(kHelp), fileSize(kFirmwareBytes), recordOffset(kDefaultRecordAt),
      markerOffset(kDefaultMarkerAt), vendor("NEMBRIKA"), product("CD-ROM RVX-4417K"),
      revision("1.01"), formatByte(0x21), fillByte(kRamp), overwrite(false), recordLeftOut(false),
      markerLeftOut(false), noteLeftOut(false), recordGiven(false), markerGiven(false)
{
}

bool ToolArguments::Fail(const std::string& text)
{
    errorText = text;
    return false;
}

bool ToolArguments::Parse(int argc, const char* const* argv)
{
    if (argc < 2)
        return Fail("no verb given");
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        verb = kHelp;
        if (argc != 2)
            return Fail("--help takes no further arguments");
        return true;
    }
    if (first == "make")
        verb = kMake;
    else if (first == "info")
        verb = kInfo;
    else
        return Fail("unknown verb '" + first + "' (make, info or --help)");

    int havePath = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            verb = kHelp;
            return true;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            if (verb != kMake)
                return Fail("info takes no options: '" + arg + "'");
            if (arg == "--force") {
                overwrite = true;
                continue;
            }
            if (i + 1 >= argc)
                return Fail("option " + arg + " needs a value");
            if (!ParseMakeOption(arg, argv[++i]))
                return false;
            continue;
        }
        if (havePath)
            return Fail("more than one file named: '" + path + "' and '" + arg + "'");
        path = arg;
        havePath = 1;
    }
    if (!havePath)
        return Fail(std::string(verb == kMake ? "make" : "info") + " needs a file name");

    if (verb != kMake)
        return true;
    return PlaceFits();
}

// Record and marker must lie inside the file and apart. Only where the user gave no
// offset does a file too short for it simply go without.
bool ToolArguments::PlaceFits()
{
    if (!recordGiven && recordOffset + kRecordBytes > fileSize) {
        recordOffset = kNone;
        recordLeftOut = true;
    }
    if (!markerGiven && markerOffset + kMarkerBytes > fileSize) {
        markerOffset = kNone;
        markerLeftOut = true;
    }
    if (recordOffset != kNone && recordOffset + kRecordBytes > fileSize)
        return Fail("the 36-byte record at " + std::to_string(recordOffset) +
                    " does not fit in a file of " + std::to_string(fileSize) + " bytes");
    if (markerOffset != kNone && markerOffset + kMarkerBytes > fileSize)
        return Fail("the 12-byte marker at " + std::to_string(markerOffset) +
                    " does not fit in a file of " + std::to_string(fileSize) + " bytes");
    if (recordOffset != kNone && markerOffset != kNone &&
        markerOffset < recordOffset + kRecordBytes && recordOffset < markerOffset + kMarkerBytes)
        return Fail("the record and the marker overlap");
    return NoteFits();
}

// The note that marks the file as a test file is never covered: a file without it would
// pass for firmware.
bool ToolArguments::NoteFits()
{
    const long noteAt = static_cast<long>(TestFileNote::kOffset);
    const long noteEnd = noteAt + static_cast<long>(TestFileNote::kLength);
    if (fileSize < noteEnd) {
        noteLeftOut = true;
        return true;
    }
    const char* covering = nullptr;
    if (recordOffset != kNone && recordOffset < noteEnd && noteAt < recordOffset + kRecordBytes)
        covering = "record";
    else if (markerOffset != kNone && markerOffset < noteEnd &&
             noteAt < markerOffset + kMarkerBytes)
        covering = "marker";
    if (covering == nullptr)
        return true;
    char range[32];
    std::snprintf(range, sizeof range, "0x%04lX-0x%04lX", noteAt, noteEnd - 1);
    return Fail(std::string("the ") + covering + " would cover the test file's note at " + range);
}

bool ToolArguments::ParseMakeOption(const std::string& name, const std::string& value)
{
    long number = 0;
    if (name == "--size") {
        if (!ParseNumber(value, kMaxFileSize, &number))
            return Fail("--size: '" + value + "' is not a size from 0 to " +
                        std::to_string(static_cast<long>(kMaxFileSize)));
        fileSize = number;
        return true;
    }
    if (name == "--record-at" || name == "--marker-at") {
        long* offset = name == "--record-at" ? &recordOffset : &markerOffset;
        (name == "--record-at" ? recordGiven : markerGiven) = true;
        if (value == "none") {
            *offset = kNone;
            return true;
        }
        if (!ParseNumber(value, kMaxFileSize, &number))
            return Fail(name + ": '" + value + "' is neither an offset nor 'none'");
        *offset = number;
        return true;
    }
    if (name == "--vendor" || name == "--product" || name == "--revision") {
        const size_t width = name == "--vendor" ? 8 : name == "--product" ? 16 : 4;
        if (value.size() > width)
            return Fail(name + ": '" + value + "' is longer than " + std::to_string(width) +
                        " characters");
        std::string& field = name == "--vendor" ? vendor : name == "--product" ? product : revision;
        field = value;
        return true;
    }
    if (name == "--format") {
        if (!ParseNumber(value, 255, &number) || (number != 0x21 && number != 0x32))
            return Fail("--format: '" + value + "' is not 0x21 or 0x32");
        formatByte = static_cast<uint8_t>(number);
        return true;
    }
    if (name == "--fill") {
        if (value == "ramp") {
            fillByte = kRamp;
            return true;
        }
        if (!ParseNumber(value, 255, &number))
            return Fail("--fill: '" + value + "' is neither 'ramp' nor a byte value");
        fillByte = static_cast<int>(number);
        return true;
    }
    if (name == "--code") {
        if (value.empty())
            return Fail("--code needs a file name");
        codePath = value;
        return true;
    }
    return Fail("unknown option '" + name + "'");
}

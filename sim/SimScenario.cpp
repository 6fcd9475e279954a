// Scenario text: one directive a line, '#' to the end of the line is a comment, tokens
// separated by blanks, double-quoted strings with \0, \\, \" and \xHH escapes.
#include "SimScenario.h"

#include <cstring>

#include "base/AsciiText.h"
#include "scsi/AspiTypes.h"

namespace {

typedef std::vector<std::string> Tokens;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Reads a quoted string starting after its opening quote; i ends behind the closing one.
bool ReadQuoted(const char* line, size_t length, size_t& i, std::string& token,
                std::string& problem)
{
    while (i < length) {
        char c = line[i++];
        if (c == '"')
            return true;
        if (c != '\\') {
            token.push_back(c);
            continue;
        }
        if (i >= length)
            break;
        char e = line[i++];
        if (e == '0') {
            token.push_back('\0');
        } else if (e == '\\' || e == '"') {
            token.push_back(e);
        } else if (e == 'x' && i + 2 <= length && HexDigit(line[i]) >= 0 &&
                   HexDigit(line[i + 1]) >= 0) {
            token.push_back(static_cast<char>(HexDigit(line[i]) * 16 + HexDigit(line[i + 1])));
            i += 2;
        } else {
            problem = "unknown escape in quoted string (use \\0, \\\\, \\\" or \\xHH)";
            return false;
        }
    }
    problem = "quoted string not closed";
    return false;
}

bool Tokenize(const char* line, size_t length, Tokens& tokens, std::string& problem)
{
    size_t i = 0;
    while (i < length) {
        char c = line[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        if (c == '#')
            return true;
        std::string token;
        if (c == '"') {
            ++i;
            if (!ReadQuoted(line, length, i, token, problem))
                return false;
            if (i < length && !IsBlank(line[i]) && line[i] != '#') {
                problem = "quoted string must be followed by a blank";
                return false;
            }
            tokens.push_back(token);
            continue;
        }
        while (i < length && !IsBlank(line[i]) && line[i] != '#') {
            if (line[i] == '"') {
                problem = "quote inside a word";
                return false;
            }
            token.push_back(line[i++]);
        }
        tokens.push_back(token);
    }
    return true;
}

// Decimal number within [low, high]; digits only.
bool ParseDecimal(const std::string& text, long low, long high, long& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high)
        return false;
    value = static_cast<long>(v);
    return true;
}

// Byte in hexadecimal, with or without 0x: "3A", "0x3a", "5".
bool ParseHexByte(const std::string& text, uint8_t& value)
{
    size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        start = 2;
    size_t digits = text.size() - start;
    if (digits < 1 || digits > 2)
        return false;
    int v = 0;
    for (size_t i = start; i < text.size(); ++i) {
        int d = HexDigit(text[i]);
        if (d < 0)
            return false;
        v = v * 16 + d;
    }
    value = static_cast<uint8_t>(v);
    return true;
}

// An INQUIRY text field: at most width bytes, padded with blanks.
bool ParseField(const std::string& text, size_t width, uint8_t* field)
{
    if (text.size() > width)
        return false;
    std::memset(field, ' ', width);
    std::memcpy(field, text.data(), text.size());
    return true;
}

struct CommandName {
    const char* name;
    uint8_t kind;
};

const CommandName kCommandNames[] = {
    {"inquiry", kCmdInquiry}, {"probe", kCmdProbe}, {"prevent", kCmdPrevent},
    {"unload", kCmdUnload},   {"load", kCmdLoad},   {"write", kCmdWrite},
    {"tur", kCmdTur},         {"any", kCmdAny},
};

// The fault's sense: KEY ASC ASCQ in hexadecimal from tokens[i], the key from 0 to F.
bool ReadSense(const Tokens& tokens, size_t i, SimFaultRule& rule)
{
    return tokens.size() - i >= 3 && ParseHexByte(tokens[i], rule.senseKey) &&
           rule.senseKey <= 0x0F && ParseHexByte(tokens[i + 1], rule.asc) &&
           ParseHexByte(tokens[i + 2], rule.ascq);
}

void SetSense(SimFaultRule& rule, uint8_t key, uint8_t asc, uint8_t ascq)
{
    rule.senseKey = key;
    rule.asc = asc;
    rule.ascq = ascq;
}

std::string Quote(const std::string& token)
{
    std::string shown;
    for (char c : token) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += hex[u >> 4];
            shown += hex[u & 15];
        } else {
            shown += c;
        }
        if (shown.size() > 40) {
            shown += "...";
            break;
        }
    }
    return "'" + shown + "'";
}

} // namespace

SimScenario::SimScenario()
    : adapterCount(0), supportStatus(0), supportStatusSet(0), syncCompletion(0), refuseAll(0),
      dataOutAtCompletion(0), lineNumber(0), adaptersLine(0)
{
}

bool SimScenario::Fail(const std::string& message)
{
    if (lineNumber > 0)
        error = "line " + std::to_string(lineNumber) + ": " + message;
    else
        error = message;
    return false;
}

bool SimScenario::Parse(const char* text)
{
    adapterCount = 0;
    supportStatus = 0;
    supportStatusSet = 0;
    syncCompletion = 0;
    refuseAll = 0;
    dataOutAtCompletion = 0;
    devices.clear();
    error.clear();
    lineNumber = 0;
    adaptersLine = 0;
    if (text == nullptr)
        return Fail("no scenario text");
    size_t total = strnlen(text, kMaxTextLength + 1);
    if (total > kMaxTextLength)
        return Fail("scenario text longer than " + std::to_string(kMaxTextLength) + " bytes");

    size_t start = 0;
    while (start <= total) {
        const char* newline =
            static_cast<const char*>(std::memchr(text + start, '\n', total - start));
        size_t end = newline != nullptr ? static_cast<size_t>(newline - text) : total;
        ++lineNumber;
        if (end - start > kMaxLineLength)
            return Fail("line longer than " + std::to_string(kMaxLineLength) + " characters");
        Tokens tokens;
        std::string problem;
        if (!Tokenize(text + start, end - start, tokens, problem))
            return Fail(problem);
        if (!tokens.empty() && !ParseLine(tokens))
            return false;
        if (newline == nullptr)
            break;
        start = end + 1;
    }
    lineNumber = 0;
    return CheckAdapters();
}

bool SimScenario::CheckAdapters()
{
    if (adaptersLine == 0) {
        // Without an adapters line there are as many adapters as the devices need.
        int highest = -1;
        for (const SimDevice& device : devices) {
            if (device.adapter > highest)
                highest = device.adapter;
        }
        adapterCount = static_cast<uint8_t>(highest + 1);
        return true;
    }
    for (const SimDevice& device : devices) {
        if (device.adapter < adapterCount)
            continue;
        lineNumber = device.declaredLine;
        return Fail("adapter " + std::to_string(device.adapter) + " not below the adapter count " +
                    std::to_string(adapterCount) + " of line " + std::to_string(adaptersLine));
    }
    return true;
}

bool SimScenario::ParseLine(const Tokens& tokens)
{
    const std::string& directive = tokens[0];
    if (directive == "adapters")
        return ParseAdapters(tokens);
    if (directive == "device")
        return ParseDevice(tokens);
    if (directive == "fault")
        return ParseFault(tokens);
    if (directive == "support-status") {
        if (tokens.size() != 2 || !ParseHexByte(tokens[1], supportStatus))
            return Fail("support-status takes one hexadecimal byte");
        supportStatusSet = 1;
        return true;
    }
    if (directive == "completion") {
        if (tokens.size() != 2 || (tokens[1] != "async" && tokens[1] != "sync"))
            return Fail("completion takes async or sync");
        syncCompletion = tokens[1] == "sync";
        return true;
    }
    if (directive == "data-out") {
        if (tokens.size() != 2 || (tokens[1] != "at-submission" && tokens[1] != "at-completion"))
            return Fail("data-out takes at-submission or at-completion");
        dataOutAtCompletion = tokens[1] == "at-completion";
        return true;
    }
    if (directive == "refuse-all") {
        if (tokens.size() != 1)
            return Fail("refuse-all takes nothing, got " + Quote(tokens[1]));
        refuseAll = 1;
        return true;
    }
    return Fail("unknown directive " + Quote(directive));
}

bool SimScenario::ParseAdapters(const Tokens& tokens)
{
    long count = 0;
    if (tokens.size() != 2 || !ParseDecimal(tokens[1], 0, kMaxAdapters, count))
        return Fail("adapters takes a count from 0 to " + std::to_string(kMaxAdapters));
    if (adaptersLine != 0)
        return Fail("adapters already given on line " + std::to_string(adaptersLine));
    adapterCount = static_cast<uint8_t>(count);
    adaptersLine = lineNumber;
    return true;
}

bool SimScenario::ParseAddress(const Tokens& tokens, int& adapterId, int& targetId)
{
    long a = 0;
    long t = 0;
    if (tokens.size() < 3 || !ParseDecimal(tokens[1], 0, kMaxAdapters - 1, a))
        return Fail(tokens[0] + " needs an adapter from 0 to " + std::to_string(kMaxAdapters - 1));
    if (!ParseDecimal(tokens[2], 0, kMaxTargets - 1, t))
        return Fail(tokens[0] + " needs a target from 0 to " + std::to_string(kMaxTargets - 1));
    adapterId = static_cast<int>(a);
    targetId = static_cast<int>(t);
    return true;
}

bool SimScenario::ParseDevice(const Tokens& tokens)
{
    int a = 0;
    int t = 0;
    if (!ParseAddress(tokens, a, t))
        return false;
    const SimDevice* existing = FindDevice(a, t);
    if (existing != nullptr)
        return Fail("adapter " + std::to_string(a) + " target " + std::to_string(t) +
                    " already has a device (line " + std::to_string(existing->declaredLine) + ")");
    if (tokens.size() < 4)
        return Fail("device needs a kind: rvx, cdrom, disk or type");

    SimDevice device;
    device.adapter = static_cast<uint8_t>(a);
    device.target = static_cast<uint8_t>(t);
    device.declaredLine = lineNumber;
    const std::string& kindName = tokens[3];
    if (kindName == "rvx") {
        if (!ParseRvxOptions(tokens, device))
            return false;
        devices.push_back(device);
        return true;
    }

    size_t first = 4;
    uint8_t peripheral = 0;
    uint8_t kindValue = kSimRaw;
    if (kindName == "cdrom") {
        peripheral = 0x05;
        kindValue = kSimCdrom;
    } else if (kindName == "disk") {
        peripheral = 0x00;
        kindValue = kSimDisk;
    } else if (kindName == "type") {
        if (tokens.size() < 5 || !ParseHexByte(tokens[4], peripheral))
            return Fail("type needs the peripheral byte in hexadecimal");
        first = 5;
    } else {
        return Fail("unknown device kind " + Quote(kindName));
    }
    if (tokens.size() != first + 3)
        return Fail(kindName + " needs exactly VENDOR PRODUCT REVISION");
    uint8_t vendor[8];
    uint8_t product[16];
    uint8_t revision[4];
    if (!ParseField(tokens[first], 8, vendor))
        return Fail("vendor " + Quote(tokens[first]) + " longer than 8 characters");
    if (!ParseField(tokens[first + 1], 16, product))
        return Fail("product " + Quote(tokens[first + 1]) + " longer than 16 characters");
    if (!ParseField(tokens[first + 2], 4, revision))
        return Fail("revision " + Quote(tokens[first + 2]) + " longer than 4 characters");
    // CD-ROM media are removable (byte 1 bit 7); the response format is that of an ATAPI
    // drive for a CD-ROM and SCSI-2 otherwise.
    if (kindValue == kSimCdrom)
        device.SetIdentity(kindValue, peripheral, 0x80, 0x00, 0x32, vendor, product, revision);
    else
        device.SetIdentity(kindValue, peripheral, 0x00, 0x02, 0x02, vendor, product, revision);
    devices.push_back(device);
    return true;
}

bool SimScenario::ParseRvxOptions(const Tokens& tokens, SimDevice& device)
{
    uint8_t vendor[8];
    uint8_t product[16];
    uint8_t revision[4];
    uint8_t format = 0x21;
    ParseField("NEMBRIKA", 8, vendor);
    ParseField("CD-ROM RVX-4417K", 16, product);
    ParseField("1.00", 4, revision);
    for (size_t i = 4; i < tokens.size(); i += 2) {
        const std::string& option = tokens[i];
        if (i + 1 >= tokens.size())
            return Fail("rvx option " + Quote(option) + " needs a value");
        const std::string& value = tokens[i + 1];
        if (option == "revision") {
            if (!ParseField(value, 4, revision))
                return Fail("revision " + Quote(value) + " longer than 4 characters");
        } else if (option == "vendor") {
            if (!ParseField(value, 8, vendor))
                return Fail("vendor " + Quote(value) + " longer than 8 characters");
        } else if (option == "product") {
            if (!ParseField(value, 16, product))
                return Fail("product " + Quote(value) + " longer than 16 characters");
        } else if (option == "format") {
            if (!ParseHexByte(value, format) || (format != 0x21 && format != 0x32))
                return Fail("format takes 0x21 or 0x32");
        } else {
            return Fail("unknown rvx option " + Quote(option) +
                        " (revision, format, vendor, product)");
        }
    }
    device.SetIdentity(kSimRvx, 0x05, 0x80, 0x00, format, vendor, product, revision);
    return true;
}

bool SimScenario::ParseFault(const Tokens& tokens)
{
    int a = 0;
    int t = 0;
    if (!ParseAddress(tokens, a, t))
        return false;
    SimDevice* device = FindDevice(a, t);
    if (device == nullptr)
        return Fail("no device at adapter " + std::to_string(a) + " target " + std::to_string(t) +
                    " (declare it on an earlier line)");
    if (tokens.size() < 4)
        return Fail("fault needs a command: inquiry, probe, prevent, unload, load, write, tur "
                    "or any");
    SimFaultRule rule;
    std::memset(&rule, 0, sizeof rule);
    rule.remaining = -1;
    int known = 0;
    for (const CommandName& c : kCommandNames) {
        if (tokens[3] == c.name) {
            rule.command = c.kind;
            known = 1;
        }
    }
    if (!known)
        return Fail("unknown command " + Quote(tokens[3]) +
                    " (inquiry, probe, prevent, unload, load, write, tur, any)");
    if (!ParseFaultActions(tokens, rule))
        return false;
    if (!device->AddFault(rule))
        return Fail("more than " + std::to_string(SimDevice::kMaxFaults) +
                    " faults for one device");
    return true;
}

bool SimScenario::ParseFaultActions(const Tokens& tokens, SimFaultRule& rule)
{
    size_t i = 4;
    while (i < tokens.size()) {
        const std::string& action = tokens[i++];
        if (action == "count") {
            if (!ParseFaultCount(tokens, i, rule))
                return false;
            continue;
        }
        uint8_t result = kFaultNone;
        uint8_t timing = kTimingNone;
        if (!ParseFaultResult(action, tokens, i, rule, result) ||
            !ParseFaultTiming(action, tokens, i, rule, timing))
            return false;
        if (result == kFaultNone && timing == kTimingNone)
            return Fail("unknown fault action " + Quote(action) +
                        " (check, unit-attention, reject, status, sense-with-good, delay, hang, "
                        "keep, pause, count)");
        if (!StoreFaultAction(result, timing, rule))
            return false;
    }
    return CheckFaultRule(rule);
}

bool SimScenario::ParseFaultResult(const std::string& action, const Tokens& tokens, size_t& i,
                                   SimFaultRule& rule, uint8_t& result)
{
    if (action == "check") {
        if (!ReadSense(tokens, i, rule))
            return Fail("check needs KEY ASC ASCQ in hexadecimal (key 0 to F)");
        i += 3;
        result = kFaultCheck;
    } else if (action == "unit-attention") {
        result = kFaultCheck;
        SetSense(rule, 0x06, 0x29, 0x00); // power on, reset or bus device reset occurred
    } else if (action == "reject") {
        result = kFaultCheck;
        SetSense(rule, 0x05, 0x20, 0x00); // invalid command operation code
    } else if (action == "status") {
        if (i >= tokens.size() || !ParseHexByte(tokens[i], rule.srbStatus))
            return Fail("status needs an SRB_Status byte in hexadecimal");
        if (rule.srbStatus == SS_PENDING)
            return Fail("status 0 is SS_PENDING; use hang for a request that never ends");
        ++i;
        result = kFaultStatus;
    } else if (action == "sense-with-good") {
        return ParseSenseWithGood(tokens, i, rule, result);
    }
    return true;
}

bool SimScenario::ParseSenseWithGood(const Tokens& tokens, size_t& i, SimFaultRule& rule,
                                     uint8_t& result)
{
    result = kFaultSenseWithGood;
    SetSense(rule, 0x06, 0x29, 0x00);
    // Optional KEY ASC ASCQ: no action word reads as a hexadecimal byte.
    uint8_t probe = 0;
    if (i >= tokens.size() || !ParseHexByte(tokens[i], probe))
        return true;
    if (!ReadSense(tokens, i, rule))
        return Fail("sense-with-good takes no sense or KEY ASC ASCQ in hexadecimal");
    i += 3;
    return true;
}

bool SimScenario::ParseFaultTiming(const std::string& action, const Tokens& tokens, size_t& i,
                                   SimFaultRule& rule, uint8_t& timing)
{
    if (action == "delay") {
        long ms = 0;
        if (i >= tokens.size() || !ParseDecimal(tokens[i], 0, kMaxDelayMs, ms))
            return Fail("delay needs milliseconds from 0 to " + std::to_string(kMaxDelayMs));
        ++i;
        rule.delayMs = static_cast<uint32_t>(ms);
        timing = kTimingDelay;
    } else if (action == "hang") {
        timing = kTimingHang;
    } else if (action == "keep") {
        timing = kTimingKeep;
    } else if (action == "pause") {
        timing = kTimingPause;
    }
    return true;
}

bool SimScenario::ParseFaultCount(const Tokens& tokens, size_t& i, SimFaultRule& rule)
{
    long n = 0;
    if (i >= tokens.size() || !ParseDecimal(tokens[i], 1, kMaxCount, n))
        return Fail("count needs a number from 1 to " + std::to_string(kMaxCount));
    // Only a count sets remaining, which is -1 until then.
    if (rule.remaining >= 0)
        return Fail("count given twice");
    ++i;
    rule.remaining = static_cast<int32_t>(n);
    return true;
}

bool SimScenario::StoreFaultAction(uint8_t result, uint8_t timing, SimFaultRule& rule)
{
    if (result != kFaultNone) {
        if (rule.result != kFaultNone)
            return Fail("more than one result for one fault");
        rule.result = result;
    }
    if (timing != kTimingNone) {
        if (rule.timing != kTimingNone)
            return Fail("more than one of delay, hang, keep and pause for one fault");
        rule.timing = timing;
    }
    return true;
}

bool SimScenario::CheckFaultRule(const SimFaultRule& rule)
{
    if (rule.result == kFaultNone && rule.timing == kTimingNone)
        return Fail("fault needs an action");
    if ((rule.timing == kTimingHang || rule.timing == kTimingKeep) && rule.result != kFaultNone)
        return Fail("a request that never completes has no result");
    if (rule.timing == kTimingPause && rule.result != kFaultNone)
        return Fail("a paused request completes with its real result");
    return true;
}

SimDevice* SimScenario::FindDevice(int adapterId, int targetId)
{
    for (SimDevice& device : devices) {
        if (device.adapter == adapterId && device.target == targetId)
            return &device;
    }
    return nullptr;
}

const SimDevice* SimScenario::FindDevice(int adapterId, int targetId) const
{
    for (const SimDevice& device : devices) {
        if (device.adapter == adapterId && device.target == targetId)
            return &device;
    }
    return nullptr;
}

uint32_t SimScenario::SupportInfo() const
{
    uint8_t status = adapterCount == 0 ? SS_NO_ADAPTERS : SS_COMP;
    if (supportStatusSet)
        status = supportStatus;
    return (uint32_t(status) << 8) | adapterCount;
}

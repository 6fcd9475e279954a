// Command lines as the drive would receive them: the 12 command bytes, the direction,
// the transfer length and the time-out of the pending request.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LibraryInternals.h"
#include "cmdtext/FormatCommand.h"

namespace {

const uint8_t IN = SRB_DIR_IN;
const uint8_t OUT = SRB_DIR_OUT;

struct Expected {
    const char* cdb;
    uint8_t direction;
    uint32_t dataLength;
    uint32_t timeoutMs;
};

std::string Hex(const uint8_t* bytes, int count)
{
    std::string text;
    char cell[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
        text += cell;
    }
    return text;
}

// A pending request full of leftovers, so that every field must be written afresh.
void Dirty(ScsiDevice& device)
{
    ScsiRequest leftovers;
    std::memset(leftovers.cdb, 0xEE, sizeof leftovers.cdb);
    leftovers.cdbLength = 3;
    leftovers.direction = 0x99;
    leftovers.dataLength = 12345;
    leftovers.timeoutMs = 1;
    device.SetRequest(leftovers);
}

void ExpectRequest(const ScsiDevice& device, const Expected& e, const std::string& name)
{
    EXPECT_EQ(std::string(e.cdb), Hex(device.PendingRequest().cdb, 12)) << name;
    EXPECT_EQ(12, device.PendingRequest().cdbLength) << name;
    EXPECT_EQ(e.direction, device.PendingRequest().direction) << name;
    EXPECT_EQ(e.dataLength, device.PendingRequest().dataLength) << name;
    EXPECT_EQ(e.timeoutMs, device.PendingRequest().timeoutMs) << name;
}

struct LineCase {
    const char* line;
    Expected expected;
};

// Lines without placeholders, on a device with the system's buffer (capacity 65,536).
void RunLines(const LineCase* cases, size_t count)
{
    ScsiDevice device(65545);
    for (size_t i = 0; i < count; ++i) {
        Dirty(device);
        EXPECT_EQ(1, FormatCommand(device, cases[i].line));
        ExpectRequest(device, cases[i].expected, std::string("line \"") + cases[i].line + "\"");
    }
}

const char* const kZeros = "00 00 00 00 00 00 00 00 00 00 00 00";

} // namespace

TEST(FormatCommandSystemLines, EveryLineOfTheSystem)
{
    const LineCase cases[] = {
        {"12 0 0 0 d'46 /R46", {"12 00 00 00 2E 00 00 00 00 00 00 00", IN, 46, 7200}},
        {"CB 0 1 0 0 0 0 F8 02 0 40", {"CB 00 01 00 00 00 00 F8 02 00 40 00", IN, 0, 7200}},
        {"1e 0 0 0 2", {"1E 00 00 00 02 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"1B 0 0 0 2 /t30", {"1B 00 00 00 02 00 00 00 00 00 00 00", IN, 0, 30000}},
        {"1b 0 0 0 3", {"1B 00 00 00 03 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"00", {kZeros, IN, 0, 7200}},
        {"BE 0 D(1:0:0) W(1) 0 /R2352", {"BE 00 00 00 10 FE 00 01 00 00 00 00", IN, 2352, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandSystemLines, TransferCommandTakesItsTimeOutFromTheArgument)
{
    ScsiDevice device(65545);
    Dirty(device);
    EXPECT_EQ(1, FormatCommand(device, "CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490", 9000));
    ExpectRequest(device, {"CB 00 04 00 00 00 00 F8 02 00 40 00", OUT, 63490, 9000000},
                  "transfer command");
}

TEST(FormatCommandSystemLines, OnlyThePendingRequestChanges)
{
    ScsiDevice device(65545);
    device.SetAdapter(2).SetTarget(5);
    LibraryInternals::SetLastResult(device, SS_ERR, 6, 0x29, 0x01, true);
    device.DataBuffer()[0] = 0x5A;
    device.DataBuffer()[63489] = 0xA5;
    uint8_t* const buffer = device.DataBuffer();

    char line[] = "CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490";
    FormatCommand(device, line, 9000);

    EXPECT_STREQ("CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490", line) << "the caller's text";
    EXPECT_EQ(2, device.AdapterId());
    EXPECT_EQ(5, device.TargetId());
    EXPECT_EQ(6, device.SenseKey());
    EXPECT_EQ(0x29, device.Asc());
    EXPECT_EQ(0x01, device.Ascq());
    EXPECT_EQ(1, device.IsTimedOut());
    EXPECT_EQ(SS_ERR, device.RequestBlock().SRB_Status);
    EXPECT_EQ(buffer, device.DataBuffer());
    EXPECT_EQ(0x5A, device.DataBuffer()[0]) << "the payload stays as the caller built it";
    EXPECT_EQ(0xA5, device.DataBuffer()[63489]);
    EXPECT_EQ(65536u, device.BufferCapacity());
}

TEST(FormatCommandSystemLines, NothingCarriesOverToTheNextLine)
{
    ScsiDevice device(65545);
    FormatCommand(device, "FF FF FF FF FF FF FF FF FF FF FF FF /w10 /t5");
    FormatCommand(device, "00");
    ExpectRequest(device, {kZeros, IN, 0, 7200}, "00 after a full line");
    FormatCommand(device, "1B 0 0 0 2 /t30");
    FormatCommand(device, "1b 0 0 0 3");
    ExpectRequest(device, {"1B 00 00 00 03 00 00 00 00 00 00 00", IN, 0, 7200}, "load after eject");
}

TEST(FormatCommandSyntax, EmptyLinesAndUpperCasing)
{
    const LineCase cases[] = {
        {"", {kZeros, IN, 0, 7200}},
        {"   ", {kZeros, IN, 0, 7200}},
        {"1B 0 0 0 3", {"1B 00 00 00 03 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"ff a0 b'11 h'ab", {"FF A0 03 AB 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"w(800) d(1) m(0)", {"08 00 00 00 00 01 00 02 00 00 00 00", IN, 0, 7200}},
        {"/r46", {kZeros, IN, 46, 7200}},
        {"/w10 /t1", {kZeros, OUT, 10, 1000}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);

    ScsiDevice device(65545);
    FormatCommand(device, nullptr);
    ExpectRequest(device, {kZeros, IN, 0, 7200}, "null line");
}

TEST(FormatCommandSyntax, TokenSplit)
{
    // 18 option tokens that put no bytes, then the rest of the line.
    const std::string eighteen = "/X /X /X /X /X /X /X /X /X /X /X /X /X /X /X /X /X /X ";
    const std::string seventeen = "/X /X /X /X /X /X /X /X /X /X /X /X /X /X /X /X /X ";
    const std::string twentyWords = eighteen + "5 6";
    const std::string twentyOneWords = eighteen + "5 6 7";
    const std::string emptyEighteenth = seventeen + " 5 6";
    const std::string nineteenWords = seventeen + "5 6";
    const LineCase cases[] = {
        {"1B  0", {"1B 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {" 12 34", {"12 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12 34 ", {"12 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12\t34 56", {"12 56 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // The 19th token holds "5 6": one number read up to the blank.
        {twentyWords.c_str(), {"05 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {twentyOneWords.c_str(), {"05 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {emptyEighteenth.c_str(), {"05 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {nineteenWords.c_str(), {"05 06 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandSyntax, OptionsAndDefaults)
{
    const LineCase cases[] = {
        {"/R0", {kZeros, IN, 65536, 7200}},
        {"/R70000", {kZeros, IN, 65536, 7200}},
        {"/R65536", {kZeros, IN, 65536, 7200}},
        {"/R65535", {kZeros, IN, 65535, 7200}},
        {"/W0", {kZeros, OUT, 65536, 7200}},
        {"/R", {kZeros, IN, 65536, 7200}},
        {"/R-5", {kZeros, IN, 65536, 7200}},
        {"/T0", {kZeros, IN, 0, 0}},
        {"/T30", {kZeros, IN, 0, 30000}},
        {"/T-1", {kZeros, IN, 0, 0}},
        {"/T4294968", {kZeros, IN, 0, 704}}, // 32-bit product
        {"/R10 /W20", {kZeros, OUT, 20, 7200}},
        {"/W20 /R10", {kZeros, IN, 10, 7200}},
        {"/T1 /T2", {kZeros, IN, 0, 2000}},
        {"/R1F", {kZeros, IN, 1, 7200}}, // decimal by default
        {"/RH'10", {kZeros, IN, 16, 7200}},
        {"/R$10", {kZeros, IN, 16, 7200}},
        {"/X5 7", {"07 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/15 7", {"07 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/ 7", {"00 07 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandSyntax, LengthIsHeldToASmallerBuffer)
{
    const struct {
        const char* line;
        uint32_t expected;
    } cases[] = {{"/R5000", 4096}, {"/R0", 4096}, {"/W4096", 4096}, {"/W4095", 4095}};
    ScsiDevice device(4096);
    for (const auto& c : cases) {
        FormatCommand(device, c.line);
        EXPECT_EQ(c.expected, device.PendingRequest().dataLength) << c.line;
    }
}

TEST(FormatCommandSyntax, TypedTokens)
{
    const LineCase cases[] = {
        {"B(FF)", {"FF 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W(800)", {"08 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(D'4350)", {"00 00 10 FE 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"L(1) 2", {"00 00 00 01 02 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"M(0) 7", {"00 02 00 07 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"M(10FE)", {"01 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"M(FFFFFFFF)", {"00 01 4A 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(0:2:0) 7", {"00 00 00 00 07 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"Z(5) 7", {"07 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W() 7", {"00 00 07 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // Not typed tokens: no closing parenthesis, or one that is not the last character.
        {"B(12 7", {"0B 07 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W(1)) 7", {"00 07 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W(12)3 7", {"00 07 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandSyntax, NumbersAndAddresses)
{
    const LineCase cases[] = {
        {"F8 #16 $10 D'46 B'101 0X1F", {"F8 10 10 2E 05 1F 00 00 00 00 00 00", IN, 0, 7200}},
        {"X'12 5", {"00 05 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // %101 is a placeholder with the letter 1, not a binary number.
        {"%101 5", {"05 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"0:2:0 0:2:1 1:0:0", {"00 01 FE 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(5A:0:0)", {"FF FF 4F A2 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(D'90:0:0)", {"FF FF 4F A2 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(D'89:59:74)", {"00 06 2D 71 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(FF:0:0)", {"FF FF ED D6 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(D'99:59:74)", {"FF FF FF 69 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"-1 ZZ", {"FF 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandPlaceholders, NumbersFromTheArguments)
{
    const struct {
        const char* line;
        int32_t first;
        int32_t second;
        Expected expected;
    } cases[] = {
        {"12 %D", 16, 0, {"12 16 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12 %d", 16, 0, {"12 16 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12 D'%D", 16, 0, {"12 10 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/T%D", 16, 0, {kZeros, IN, 0, 16000}},
        {"/R%D", -5, 0, {kZeros, IN, 65536, 7200}},
        {"/T%D", -1, 0, {kZeros, IN, 0, 0}},
        {"%D", -1, 0, {"FF 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D(D'%D)", 2147483647, 0, {"7F FF FF FF 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // Ten hexadecimal digits saturate.
        {"D(%D)", 2147483647, 0, {"FF FF FF FF 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"D'%D", -2147483647 - 1, 0, {kZeros, IN, 0, 7200}},
        {"%X", 0xAB, 0, {"AB 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W(%X)", 0x1234, 0, {"12 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/R%X", 0x10, 0, {kZeros, IN, 10, 7200}}, // "10", read as decimal
        // A letter other than D, X and S drops the token and takes no argument.
        {"%Q %D", 7, 8, {"07 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"%101 %D", 7, 8, {"07 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // Only the first placeholder is replaced; the second ends the number.
        {"%D%D %D", 1, 2, {"01 02 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12% %D", 7, 8, {"12 07 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"%D %D", 1, 2, {"01 02 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    ScsiDevice device(65545);
    for (const auto& c : cases) {
        Dirty(device);
        FormatCommand(device, c.line, c.first, c.second);
        ExpectRequest(device, c.expected,
                      std::string(c.line) + " with " + std::to_string(c.first) + ", " +
                          std::to_string(c.second));
    }
}

TEST(FormatCommandPlaceholders, TextsFromTheArguments)
{
    const struct {
        const char* line;
        const char* first;
        const char* second;
        Expected expected;
    } cases[] = {
        // Inserted text is not upper-cased: /t30 is an option with the letter t.
        {"12 %S", "/t30", nullptr, {"12 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12 %S", "/T30", nullptr, {"12 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 30000}},
        {"12 %S", "d'46", nullptr, {"12 2E 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"12 %S", "ff", nullptr, {"12 FF 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/R%S", "46", nullptr, {kZeros, IN, 46, 7200}},
        {"%S %S", "1", "2", {"01 02 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // A null text inserts nothing; what is left of the token is read as usual.
        {"%S 34", nullptr, nullptr, {"00 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"5%S 6", nullptr, nullptr, {"05 06 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/R%S", nullptr, nullptr, {kZeros, IN, 65536, 7200}},
        {"%S 34", "", nullptr, {"00 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    ScsiDevice device(65545);
    for (const auto& c : cases) {
        Dirty(device);
        FormatCommand(device, c.line, c.first, c.second);
        ExpectRequest(device, c.expected,
                      std::string(c.line) + " with " + (c.first ? c.first : "null") + ", " +
                          (c.second ? c.second : "null"));
    }
}

TEST(FormatCommandPlaceholders, MixedArgumentsAreTakenInOrder)
{
    ScsiDevice device(65545);
    FormatCommand(device, "D(%X)", 0xFFFFFFFFu);
    ExpectRequest(device, {"FF FF FF FF 00 00 00 00 00 00 00 00", IN, 0, 7200}, "D(%X)");
    FormatCommand(device, "%S %D %X /t%d", "7", 8, 0x9u, 2);
    ExpectRequest(device, {"07 08 09 00 00 00 00 00 00 00 00 00", IN, 0, 2000}, "%S %D %X /t%d");
}

// Text beyond a limit is cut, and the command block ends after 12 bytes.
TEST(FormatCommandLimits, OverlongTokensAreCut)
{
    const LineCase cases[] = {
        // 16 characters as written: the 14 zeros that remain read as 0.
        {"000000000000001F 5", {"00 05 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"0000000000001F 5", {"1F 05 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"/R0000000000046", {kZeros, IN, 4, 7200}},
        {"/R000000000046", {kZeros, IN, 46, 7200}},
        {"W(0000000001234)", {"00 00 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandLimits, InsertedOptionAndInnerTextsAreCutAt19)
{
    const struct {
        const char* line;
        const char* text;
        Expected expected;
    } cases[] = {
        // 22 characters inserted, 19 kept: zeros only.
        {"%S 5", "0000000000000000000012", {"00 05 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"%S 5", "0000000000000000012", {"12 05 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        // Option value of 20 characters: the last digit goes.
        {"/R0000000000%S", "0000000046", {kZeros, IN, 4, 7200}},
        {"/R000000000%S", "0000000046", {kZeros, IN, 46, 7200}},
        // Inner text of 20 characters, then of 19.
        {"W(0000000%S)", "0000000001234", {"01 23 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
        {"W(0000000%S)", "000000001234", {"12 34 00 00 00 00 00 00 00 00 00 00", IN, 0, 7200}},
    };
    ScsiDevice device(65545);
    for (const auto& c : cases) {
        Dirty(device);
        FormatCommand(device, c.line, c.text);
        ExpectRequest(device, c.expected, std::string(c.line) + " with " + c.text);
    }
}

TEST(FormatCommandLimits, BytesBeyondTheTwelfthAreDropped)
{
    const LineCase cases[] = {
        {"1 2 3 4 5 6 7 8 9 A B C D E", {"01 02 03 04 05 06 07 08 09 0A 0B 0C", IN, 0, 7200}},
        {"D(1) D(2) D(3) D(4)", {"00 00 00 01 00 00 00 02 00 00 00 03", IN, 0, 7200}},
        {"1 2 3 4 5 6 7 8 9 A B W(1234)", {"01 02 03 04 05 06 07 08 09 0A 0B 12", IN, 0, 7200}},
        {"1 2 3 4 5 6 7 8 9 A B M(0) /R8", {"01 02 03 04 05 06 07 08 09 0A 0B 00", IN, 8, 7200}},
        {"1 2 3 4 5 6 7 8 9 A B C D(FFFFFFFF) L(1) M(0) D E F 10",
         {"01 02 03 04 05 06 07 08 09 0A 0B 0C", IN, 0, 7200}},
    };
    RunLines(cases, sizeof cases / sizeof cases[0]);
}

TEST(FormatCommandSyntax, RangesDrawFromTheRuntimeGenerator)
{
    ScsiDevice device(65545);
    for (unsigned seed = 1; seed <= 64; ++seed) {
        std::srand(seed);
        const uint32_t g = static_cast<uint32_t>(std::rand()) & 0x7FFF;
        const uint32_t expected = 0x10 + g * 16 / 32767;
        std::srand(seed);
        FormatCommand(device, "10:1F W(100:1FF)");
        EXPECT_EQ(expected, device.PendingRequest().cdb[0]) << "seed " << seed << ", draw " << g;
        EXPECT_GE(device.PendingRequest().cdb[0], 0x10) << "seed " << seed;
        EXPECT_LE(device.PendingRequest().cdb[0], 0x1F) << "seed " << seed;
        EXPECT_GE(device.PendingRequest().cdb[1], 0x01) << "seed " << seed;
        EXPECT_LE(device.PendingRequest().cdb[1], 0x01) << "seed " << seed;
    }
}

// Number texts of command-line tokens, and the minute:second:frame conversions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cmdtext/EvaluateNumber.h"
#include "cmdtext/MsfAddress.h"

namespace {

struct NumberCase {
    const char* text;
    char radix;
    uint32_t expected;
    const char* tokenAfter; // the token as the operation leaves it
};

void RunNumbers(const NumberCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const NumberCase& c = cases[i];
        TextBuffer token(c.text);
        const uint32_t got = EvaluateNumber(token, c.radix);
        EXPECT_EQ(c.expected, got) << "\"" << c.text << "\" radix " << c.radix;
        EXPECT_STREQ(c.tokenAfter, token.data) << "\"" << c.text << "\" radix " << c.radix;
    }
}

uint32_t Draw()
{
    return static_cast<uint32_t>(std::rand()) & 0x7FFF;
}

} // namespace

TEST(EvaluateNumberRadix, DefaultRadixAndPrefixes)
{
    const NumberCase cases[] = {
        {"46", 'D', 46, "46"},    {"46", 'H', 0x46, "46"},   {"46", 'd', 46, "46"},
        {"2e", 'h', 0x2E, "2E"},  {"46", 'Q', 0, "46"},      {"101", 'B', 5, "101"},
        {"1x1", 'B', 5, "1X1"}, // any character other than 1 is a 0 bit
        {"d'46", 'H', 46, "46"},  {"H'2E", 'D', 0x2E, "2E"}, {"B'101", 'H', 5, "101"},
        {"b'101", 'H', 5, "101"}, {"X'12", 'H', 0, "12"},    {"#16", 'H', 16, "16"},
        {"$10", 'D', 16, "10"},   {"%101", 'H', 5, "101"},   {"D'", 'H', 0, ""},
        {"'5", 'H', 0, "'5"}, // no character before the apostrophe: no prefix, no digits
        {"", 'H', 0, ""},
    };
    RunNumbers(cases, sizeof cases / sizeof cases[0]);
}

TEST(EvaluateNumberRadix, DecimalReadsLikeScanfLd)
{
    const NumberCase cases[] = {
        {"+7", 'D', 7, "+7"},
        {"-5", 'D', 0, "-5"},
        {"-0", 'D', 0, "-0"},
        {"  12", 'D', 12, "  12"},
        {"\t12", 'D', 12, "\t12"},
        {"12AB", 'D', 12, "12AB"},
        {"AB", 'D', 0, "AB"},
        {"+", 'D', 0, "+"},
        {"- 5", 'D', 0, "- 5"},
        {"2147483647", 'D', 2147483647u, "2147483647"},
        // Beyond the 32-bit range the value saturates.
        {"2147483648", 'D', 2147483647u, "2147483648"},
        {"99999999999999999999999", 'D', 2147483647u, "99999999999999999999999"},
        {"-99999999999", 'D', 0, "-99999999999"},
    };
    RunNumbers(cases, sizeof cases / sizeof cases[0]);
}

TEST(EvaluateNumberRadix, HexadecimalReadsLikeScanfLX)
{
    const NumberCase cases[] = {
        {"ff", 'H', 0xFF, "FF"},
        {"0x1f", 'H', 0x1F, "0X1F"},
        {"0X", 'H', 0, "0X"},
        {"0XG", 'H', 0, "0XG"},
        {"+FF", 'H', 0xFF, "+FF"},
        {"-1", 'H', 0xFFFFFFFFu, "-1"},
        {"-0X10", 'H', 0xFFFFFFF0u, "-0X10"},
        {"  A", 'H', 0xA, "  A"},
        {"12%D", 'H', 0x12, "12%D"},
        {"1 2", 'H', 1, "1 2"},
        {"G", 'H', 0, "G"},
        {"FFFFFFFF", 'H', 0xFFFFFFFFu, "FFFFFFFF"},
        {"00000000FFFFFFFF", 'H', 0xFFFFFFFFu, "00000000FFFFFFFF"},
        // A magnitude beyond 32 bits saturates, whatever the sign.
        {"100000000", 'H', 0xFFFFFFFFu, "100000000"},
        {"-100000000", 'H', 0xFFFFFFFFu, "-100000000"},
    };
    RunNumbers(cases, sizeof cases / sizeof cases[0]);
}

TEST(EvaluateNumberRadix, LongDigitStringsStayDefined)
{
    const std::string ones(5000, '1');
    const struct {
        char radix;
        uint32_t expected;
    } cases[] = {{'B', 0xFFFFFFFFu}, {'D', 2147483647u}, {'H', 0xFFFFFFFFu}};
    for (const auto& c : cases) {
        TextBuffer token(ones.c_str());
        EXPECT_EQ(c.expected, EvaluateNumber(token, c.radix)) << "radix " << c.radix;
    }
}

TEST(EvaluateNumberAddress, MinuteSecondFrame)
{
    const NumberCase cases[] = {
        {"0:2:0", 'H', 0, "0:2:0"},
        {"0:2:10", 'H', 0x10, "0:2:10"},
        {"1:0:0", 'H', 4350, "1:0:0"},
        {"0:0:0", 'H', 0xFFFFFF6Au, "0:0:0"},         // -150
        {"D'89:59:74", 'H', 404849, "89:59:74"},      // last minute below 90
        {"D'90:0:0", 'H', 0xFFFF4FA2u, "90:0:0"},     // -45,150
        {"5A:0:0", 'H', 0xFFFF4FA2u, "5A:0:0"},       // minute 90 in hexadecimal
        {"D'99:59:74", 'H', 0xFFFFFF69u, "99:59:74"}, // -151
        {"FF:0:0", 'H', 0xFFFFEDD6u, "FF:0:0"},       // minute -1: -4,650
        {"D'200:0:0", 'H', 0xFFFC270Au, "200:0:0"},   // 200 is -56 in 8 bits
        {"D'256:2:0", 'H', 0, "256:2:0"},             // 256 keeps 0
        {"0:D'2:#16", 'H', 16, "0:D'2:#16"},          // each part may carry a prefix
        {"0:2:", 'H', 0, "0:2:"},
        {"0:2:0", 'Q', 0xFFFFFF6Au, "0:2:0"}, // parts read as 0 in radix Q
    };
    RunNumbers(cases, sizeof cases / sizeof cases[0]);
}

// low + g * (high - low + 1) / 32767 with g the next draw (0 to 32767), 32-bit unsigned
// arithmetic; the expectations replay the draws from the same seed.
TEST(EvaluateNumberRange, DrawsFromTheRuntimeGenerator)
{
    const struct {
        const char* text;
        char radix;
        uint32_t low;
        uint32_t high;
    } cases[] = {
        {"1:3", 'H', 1, 3},         {"10:1F", 'H', 0x10, 0x1F}, {"D'10:20", 'H', 10, 20},
        {"0:FFFF", 'H', 0, 0xFFFF}, {"5:5", 'D', 5, 5},         {"#10:$10", 'H', 10, 16},
    };
    for (const auto& c : cases) {
        for (unsigned seed = 1; seed <= 200; ++seed) {
            std::srand(seed);
            const uint32_t g = Draw();
            const uint32_t expected = c.low + g * (c.high - c.low + 1) / 32767u;
            std::srand(seed);
            TextBuffer token(c.text);
            const uint32_t got = EvaluateNumber(token, c.radix);
            EXPECT_EQ(expected, got) << c.text << " seed " << seed << " draw " << g;
            if (g < 32767) {
                EXPECT_GE(got, c.low) << c.text << " seed " << seed;
                EXPECT_LE(got, c.high) << c.text << " seed " << seed;
            }
        }
    }
}

TEST(EvaluateNumberRange, TopDrawReachesOnePastHigh)
{
    // Find a draw of 32767 in the generator's sequence (bounded), then replay up to it.
    std::srand(1);
    int index = -1;
    for (int i = 0; i < 4000000 && index < 0; ++i) {
        if (Draw() == 32767)
            index = i;
    }
    ASSERT_GE(index, 0) << "no draw of 32767 in the first 4,000,000";
    std::srand(1);
    for (int i = 0; i < index; ++i)
        std::rand();
    TextBuffer token("5:9");
    EXPECT_EQ(10u, EvaluateNumber(token, 'H'));
}

TEST(EvaluateNumberRange, ArithmeticIs32BitUnsigned)
{
    const struct {
        const char* text;
        uint32_t low;
        uint32_t high;
    } cases[] = {
        {"0:FFFFFFFF", 0, 0xFFFFFFFFu}, // high - low + 1 wraps to 0
        {"FF:10", 0xFF, 0x10},          // low above high
        {"0:FFFFF", 0, 0xFFFFF},        // the product passes 32 bits
        {"-1:1", 0xFFFFFFFFu, 1},
    };
    for (const auto& c : cases) {
        for (unsigned seed = 1; seed <= 50; ++seed) {
            std::srand(seed);
            const uint32_t g = Draw();
            const uint32_t product = static_cast<uint32_t>(
                (static_cast<uint64_t>(g) * (static_cast<uint64_t>(c.high) + 1 - c.low)) &
                0xFFFFFFFFu);
            const uint32_t expected = c.low + product / 32767u;
            std::srand(seed);
            TextBuffer token(c.text);
            EXPECT_EQ(expected, EvaluateNumber(token, 'H')) << c.text << " seed " << seed;
        }
    }
}

TEST(EvaluateNumberRange, ThreeColonsMakeAnAddressWithARangedFrame)
{
    for (unsigned seed = 1; seed <= 50; ++seed) {
        std::srand(seed);
        const uint32_t g = Draw();
        const int32_t frame = static_cast<int32_t>(3 + g * 2 / 32767u);
        const uint32_t expected = static_cast<uint32_t>((1 * 60 + 2) * 75 + frame - 150);
        std::srand(seed);
        TextBuffer token("1:2:3:4");
        EXPECT_EQ(expected, EvaluateNumber(token, 'D')) << "seed " << seed;
    }
}

TEST(MsfAddressConversion, LbaToMsf)
{
    const struct {
        int32_t lba;
        int minute, second, frame;
    } cases[] = {
        {0, 0, 2, 0},
        {16, 0, 2, 16},
        {-150, 0, 0, 0},
        {-151, 99, 59, 74},
        {4350, 1, 0, 0},
        {449849, 99, 59, 74},
        {-450150, 0, 0, 0},
        {-450151, 0, 0, -1},
        {1000000, -34, 15, 25},
        {404849, 89, 59, 74},
        {-45150, 90, 0, 0},
        // Near the top of the 32-bit range the sum with the lead-in wraps.
        {2147483647, -34, -33, -24},
    };
    for (const auto& c : cases) {
        MsfAddress address = {c.lba, 0, 0, 0};
        LbaToMsf(address);
        EXPECT_EQ(c.minute, address.minute) << "lba " << c.lba;
        EXPECT_EQ(c.second, address.second) << "lba " << c.lba;
        EXPECT_EQ(c.frame, address.frame) << "lba " << c.lba;
        EXPECT_EQ(c.lba, address.lba) << "lba " << c.lba;
    }
}

TEST(MsfAddressConversion, MsfToLba)
{
    const struct {
        int minute, second, frame;
        int32_t lba;
    } cases[] = {
        {0, 2, 0, 0},         {0, 0, 0, -150},         {1, 0, 0, 4350},
        {89, 59, 74, 404849}, {90, 0, 0, -45150},      {99, 59, 74, -151},
        {-1, 0, 0, -4650},    {127, 127, 127, 131002}, {-128, 0, 0, -576150},
    };
    for (const auto& c : cases) {
        MsfAddress address = {12345, static_cast<int8_t>(c.minute), static_cast<int8_t>(c.second),
                              static_cast<int8_t>(c.frame)};
        MsfToLba(address);
        EXPECT_EQ(c.lba, address.lba) << c.minute << ":" << c.second << ":" << c.frame;
    }
}

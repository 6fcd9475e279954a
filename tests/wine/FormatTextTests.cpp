// FormatText over msvcrt's _vsnprintf, as the product formats: whatever the length of the
// text, it ends with its NUL inside the buffer and nothing past the buffer is touched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/FormatText.h"

namespace {

struct Case {
    const char* name;
    size_t size;
    const char* format;
    unsigned value;
    const char* expected;
};

// "%04X" and "%d" are what the library formats: the check sum and command numbers.
const Case kCases[] = {
    {"room to spare", 8, "%04X", 0x2AD4, "2AD4"},
    {"text fills all but the NUL", 5, "%04X", 0x2AD4, "2AD4"},
    {"text one longer than the room", 4, "%04X", 0x2AD4, "2AD"},
    {"text far longer than the room", 3, "%d", 2147483647u, "21"},
    {"room for the NUL alone", 1, "%d", 7, ""},
    {"negative number", 20, "%d", 0x80000000u, "-2147483648"},
};

const char kUntouched = '#';

TEST(FormatText, EndsWithItsNulInsideTheBuffer)
{
    for (const Case& c : kCases) {
        char buffer[32];
        std::memset(buffer, kUntouched, sizeof buffer);
        size_t written = FormatText(buffer, c.size, c.format, c.value);
        EXPECT_STREQ(c.expected, buffer) << c.name;
        EXPECT_EQ(std::strlen(c.expected), written) << c.name;
        for (size_t i = c.size; i < sizeof buffer; ++i)
            EXPECT_EQ(kUntouched, buffer[i]) << c.name << ": byte " << i << " past the buffer";
    }
}

TEST(FormatText, WritesNothingIntoNoRoom)
{
    char buffer[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(0u, FormatText(buffer, 0, "%d", 12));
    EXPECT_EQ(std::string(4, kUntouched), std::string(buffer, 4));
}

} // namespace

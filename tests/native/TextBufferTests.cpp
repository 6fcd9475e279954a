// The owned, growable text block beneath the command language.
#include <gtest/gtest.h>

#include <string>

#include "cmdtext/TextBuffer.h"

TEST(TextBufferStorage, ConstructionAndReallocation)
{
    TextBuffer fromText("1B 0 0 0 2");
    EXPECT_STREQ("1B 0 0 0 2", fromText.data);
    EXPECT_EQ(12, fromText.capacity);
    EXPECT_EQ(10, fromText.Length());
    EXPECT_EQ('0', *fromText.At(3));
    EXPECT_EQ('\0', *fromText.At(10));

    TextBuffer empty("");
    EXPECT_EQ(2, empty.capacity);
    EXPECT_EQ(0, empty.Length());

    TextBuffer fromNull(static_cast<const char*>(nullptr));
    EXPECT_STREQ("", fromNull.data);

    TextBuffer sized(128);
    EXPECT_EQ(128, sized.capacity);
    EXPECT_STREQ("", sized.data);

    TextBuffer zero(0);
    EXPECT_EQ(1, zero.capacity) << "room for the NUL at least";
    EXPECT_STREQ("", zero.data);

    fromText.Reallocate(40);
    EXPECT_EQ(40, fromText.capacity);
    EXPECT_STREQ("1B 0 0 0 2", fromText.data);

    fromText.Reallocate(5);
    EXPECT_EQ(5, fromText.capacity);
    EXPECT_STREQ("1B 0", fromText.data) << "a shrink keeps what fits";
}

TEST(TextBufferStorage, AssignAndAppendGrowOnlyWhenFull)
{
    const struct {
        int capacity;
        const char* start;
        const char* append; // null: assign "text" instead
        const char* text;
        const char* result;
        int capacityAfter;
    } cases[] = {
        {15, "", nullptr, "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO", 20}, // 15 characters
        {15, "", nullptr, "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMN", 15},   // 14 fit with the NUL
        {15, "xyz", nullptr, "", "", 15},
        {5, "abc", "de", nullptr, "abcde", 10},
        {5, "ab", "c", nullptr, "abc", 5},
        {5, "ab", "", nullptr, "ab", 5},
    };
    for (const auto& c : cases) {
        TextBuffer buffer(c.capacity);
        buffer.Assign(c.start);
        if (c.append)
            buffer.Append(c.append);
        else
            buffer.Assign(c.text);
        const std::string name =
            std::string("start \"") + c.start + "\" capacity " + std::to_string(c.capacity);
        EXPECT_STREQ(c.result, buffer.data) << name;
        EXPECT_EQ(c.capacityAfter, buffer.capacity) << name;
    }
}

TEST(TextBufferStorage, ChainingOtherBuffersAndOverlap)
{
    TextBuffer a("12");
    TextBuffer b("%D");
    TextBuffer out(4);
    out.Assign(a).Append(b).Append("34");
    EXPECT_STREQ("12%D34", out.data);

    TextBuffer self("abc");
    self.Append(self);
    EXPECT_STREQ("abcabc", self.data);
    self.Append(self.At(3));
    EXPECT_STREQ("abcabcabc", self.data);
    self.Assign(self.At(6));
    EXPECT_STREQ("abc", self.data);
    self.Assign(self);
    EXPECT_STREQ("abc", self.data);

    TextBuffer nothing("x");
    nothing.Append(static_cast<const char*>(nullptr)).Assign(static_cast<const char*>(nullptr));
    EXPECT_STREQ("", nothing.data);
}

TEST(TextBufferEditing, RemoveFront)
{
    const struct {
        int n;
        const char* result;
    } cases[] = {{-1, "D'46"}, {0, "D'46"}, {1, "'46"}, {2, "46"}, {4, ""}, {9, ""}};
    for (const auto& c : cases) {
        TextBuffer token("D'46");
        token.RemoveFront(c.n);
        EXPECT_STREQ(c.result, token.data) << "n " << c.n;
        EXPECT_EQ(6, token.capacity) << "n " << c.n;
    }
}

TEST(TextBufferSearch, FindInRange)
{
    const struct {
        const char* text;
        char low;
        char high;
        bool forward;
        int expected;
    } cases[] = {
        {"A1B2C", '0', '9', false, 3},
        {"A1B2C", '0', '9', true, 1},
        {"ABC", '0', '9', true, -1},
        {"ABC", '0', '9', false, -1},
        {"", 'A', 'Z', true, -1},
        {"x:y", ':', ':', true, 1},
        // Signed comparison: 0xE9 is below every ASCII character.
        {"\xE9"
         "A",
         ' ', '~', true, 1},
        {"A\xE9", static_cast<char>(0x80), static_cast<char>(0xFF), true, 1},
        {"A\xE9", static_cast<char>(0x80), 'Z', true, 0},
    };
    for (const auto& c : cases) {
        TextBuffer buffer(c.text);
        EXPECT_EQ(c.expected, buffer.FindInRange(c.low, c.high, c.forward))
            << "\"" << c.text << "\" " << (c.forward ? "forward" : "backward");
    }
}

TEST(TextBufferSearch, FindAndFindAnyOf)
{
    TextBuffer text("CB 0 4 /t%d /w63490");
    EXPECT_EQ(7, text.Find("/t"));
    EXPECT_EQ(0, text.Find(""));
    EXPECT_EQ(-1, text.Find("/r"));
    EXPECT_EQ(-1, text.Find(nullptr));
    EXPECT_EQ(2, text.FindAnyOf(" /", true));
    EXPECT_EQ(12, text.FindAnyOf(" /", false));
    EXPECT_EQ(-1, text.FindAnyOf("xyz", true));
    EXPECT_EQ(-1, text.FindAnyOf("", false));
}

TEST(TextBufferSearch, SplitAt)
{
    TextBuffer text("key==value==x");
    TextBuffer before("old");
    TextBuffer after("old");
    EXPECT_TRUE(text.SplitAt("==", &before, &after));
    EXPECT_STREQ("key", before.data);
    EXPECT_STREQ("value==x", after.data);

    EXPECT_TRUE(text.SplitAt("key", &before, nullptr));
    EXPECT_STREQ("", before.data);
    EXPECT_TRUE(text.SplitAt("x", nullptr, &after));
    EXPECT_STREQ("", after.data);

    before.Assign("old");
    after.Assign("old");
    EXPECT_FALSE(text.SplitAt(";", &before, &after));
    EXPECT_STREQ("", before.data) << "both outputs are emptied first";
    EXPECT_STREQ("", after.data);
    EXPECT_STREQ("key==value==x", text.data);
}

TEST(TextBufferEditing, TrimToRange)
{
    const struct {
        const char* text;
        const char* result;
    } cases[] = {
        {"  RVX-4417K  ", "RVX-4417K"}, {"ab12c3de", "ab12c3de"}, {"1", "1"}, {"", ""}, {"   ", ""},
    };
    for (const auto& c : cases) {
        TextBuffer buffer(c.text);
        buffer.TrimToRange('!', '~');
        EXPECT_STREQ(c.result, buffer.data) << "\"" << c.text << "\" to '!'..'~'";
    }
    TextBuffer digits("ab12c3de");
    digits.TrimToRange('0', '9');
    EXPECT_STREQ("12c3", digits.data);
}

TEST(TextBufferEditing, MakeEmpty)
{
    char cell[8] = "Ready.";
    EXPECT_EQ(cell, TextBuffer::MakeEmpty(cell));
    EXPECT_STREQ("", cell);
    EXPECT_EQ(nullptr, TextBuffer::MakeEmpty(nullptr));
}

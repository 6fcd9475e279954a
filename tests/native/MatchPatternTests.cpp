// The wildcard matcher that splits command lines and tells token kinds apart.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cmdtext/MatchPattern.h"

namespace {

const char kSplit[] = "* * * * * * * * * * * * * * * * * * *";

// Capture buffers pre-filled with a marker, so that an untouched capture shows.
struct Captures {
    explicit Captures(int count, int size = 32) : cells(count, std::vector<char>(size, 'Z'))
    {
        for (auto& cell : cells) {
            std::strcpy(cell.data(), "<untouched>");
            outputs.push_back({cell.data(), size});
        }
    }
    std::string operator[](int i) const { return cells[i].data(); }

    std::vector<std::vector<char>> cells;
    std::vector<PatternOutput> outputs;
};

struct MatchCase {
    const char* subject;
    const char* pattern;
    bool matches;
    std::vector<std::string> captures; // in order; "<untouched>" for one never written
};

void RunMatches(const std::vector<MatchCase>& cases)
{
    for (const MatchCase& c : cases) {
        const std::string name = std::string("\"") + c.subject + "\" against \"" + c.pattern + "\"";
        TextBuffer subject(c.subject);
        Captures out(static_cast<int>(c.captures.size()));
        EXPECT_EQ(c.matches, MatchPattern(subject, c.pattern, out.outputs.data(),
                                          static_cast<int>(out.outputs.size())))
            << name;
        for (size_t i = 0; i < c.captures.size(); ++i)
            EXPECT_EQ(c.captures[i], out[static_cast<int>(i)]) << name << ", capture " << i;
        EXPECT_STREQ(c.subject, subject.data) << name << ": the subject stays as it was";
    }
}

} // namespace

TEST(MatchPatternPatterns, TheSystemsPatterns)
{
    RunMatches({
        {"/T%D", "*%?*", true, {"/T", "D", ""}},
        {"12%", "*%?*", false, {"12", "<untouched>", "<untouched>"}},
        {"1B", "*%?*", false, {"1B", "<untouched>", "<untouched>"}},
        {"A%%B", "*%?*", true, {"A", "%", "B"}},
        {"/R46", "/?*", true, {"R", "46"}},
        {"/R", "/?*", true, {"R", ""}},
        {"/", "/?*", false, {"<untouched>", "<untouched>"}},
        {"W(800)", "?(*)", true, {"W", "800"}},
        {"B(12", "?(*)", false, {"B", "12"}},
        {"W(1))", "?(*)", false, {"W", "1"}},
        {"W()", "?(*)", true, {"W", ""}},
        {"D'46", "?'*", true, {"D", "46"}},
        {"46", "?'*", false, {"4", "<untouched>"}},
        {"1:2:3", "*:*:*", true, {"1", "2", "3"}},
        {"1:2:3:4", "*:*:*", true, {"1", "2", "3:4"}},
        {"1:2", "*:*:*", false, {"1", "2", "<untouched>"}},
        {"1:2", "*:*", true, {"1", "2"}},
        {"1:", "*:*", true, {"1", ""}},
    });
}

TEST(MatchPatternPatterns, SplitIntoTokens)
{
    std::vector<std::string> doubleBlank = {"1B", "", "0"};
    doubleBlank.resize(19, "<untouched>");
    std::vector<std::string> oneWord = {"00"};
    oneWord.resize(19, "<untouched>");
    std::vector<std::string> twentyWords = {"1",  "2",  "3",  "4",  "5",    "6",  "7",
                                            "8",  "9",  "10", "11", "12",   "13", "14",
                                            "15", "16", "17", "18", "19 20"};
    RunMatches({
        // Blanks and stars of the pattern remain when the text runs out.
        {"1B  0", kSplit, false, doubleBlank},
        {"00", kSplit, false, oneWord},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", kSplit, true, twentyWords},
        // The last star takes everything.
        {"1B  0", "* *", true, {"1B", " 0"}},
    });
}

TEST(MatchPatternRules, WildcardsAndLiterals)
{
    RunMatches({
        {"", "*", true, {""}},
        {"", "?", false, {"<untouched>"}},
        {"", "", true, {}},
        {"a", "", false, {}},
        {"ab", "?", false, {"a"}},
        {"a", "a*", true, {""}},
        {"", "**", false, {"", "<untouched>"}},
        {"abd", "a?c", false, {"b"}},
        {"abc", "a?c", true, {"b"}},
        {"xyz", "abc", false, {}},
        // No backtracking: the star stops at the first b.
        {"abab", "*b", false, {"a"}},
        {"ab", "*b", true, {"a"}},
        // The first star stops at the "*" of the text; the second takes the rest.
        {"a*b", "?**", true, {"a", "", "*b"}},
        {"\xE9t\xE9", "\xE9*", true, {"t\xE9"}},
    });
}

TEST(MatchPatternOutputs, NullOutputSkipsTheCaptureButUsesItsPlace)
{
    TextBuffer subject("W(800)");
    char inner[8] = "x";
    EXPECT_TRUE(MatchPattern(subject, "?(*)", {{nullptr, 0}, {inner, sizeof inner}}));
    EXPECT_STREQ("800", inner);

    char first[8] = "x";
    EXPECT_TRUE(MatchPattern(subject, "?(*)", {{first, sizeof first}, {nullptr, 8}}));
    EXPECT_STREQ("W", first);
}

TEST(MatchPatternOutputs, WildcardsBeyondTheOutputsCaptureNothing)
{
    TextBuffer subject("12:34");
    char low[8] = "x";
    EXPECT_TRUE(MatchPattern(subject, "*:*", {{low, sizeof low}}));
    EXPECT_STREQ("12", low);
    EXPECT_TRUE(MatchPattern(subject, "*:*", nullptr, 0));
}

TEST(MatchPatternOutputs, CapturesAreCutToTheirBuffers)
{
    TextBuffer subject("12345:678");
    // Each buffer sits in a larger block whose remaining bytes must stay 'Z'.
    const struct {
        int size;
        const char* expected;
    } cases[] = {{1, ""}, {2, "1"}, {3, "12"}, {5, "1234"}, {6, "12345"}, {9, "12345"}};
    for (const auto& c : cases) {
        char block[16];
        std::memset(block, 'Z', sizeof block);
        char high[16] = "x";
        EXPECT_TRUE(MatchPattern(subject, "*:*", {{block, c.size}, {high, sizeof high}}))
            << "size " << c.size;
        EXPECT_STREQ(c.expected, block) << "size " << c.size;
        EXPECT_STREQ("678", high) << "size " << c.size << ": the match went on past the cut";
        for (int i = c.size; i < static_cast<int>(sizeof block); ++i)
            EXPECT_EQ('Z', block[i]) << "size " << c.size << ", byte " << i;
    }

    char none[4] = "abc";
    EXPECT_TRUE(MatchPattern(subject, "*:*", {{none, 0}, {nullptr, 0}}));
    EXPECT_STREQ("abc", none) << "a buffer of size 0 receives nothing";
}

TEST(MatchPatternOutputs, SubjectMayReceiveItsOwnCapture)
{
    TextBuffer token("D'46");
    EXPECT_TRUE(MatchPattern(token, "?'*", {{nullptr, 0}, {token.data, token.capacity}}));
    EXPECT_STREQ("46", token.data);
}

// MatchPattern over arbitrary subjects and patterns, with capture buffers of arbitrary
// sizes, together with the TextBuffer operations and EvaluateNumber on the subject.
//
// Input: a size byte, a radix byte, the subject up to the first NUL, then the pattern.
// Each capture buffer is a heap block of exactly its size, so a capture written past it
// is reported. The size byte chooses the sizes (0 to 15, every fourth output null).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdtext/EvaluateNumber.h"
#include "cmdtext/MatchPattern.h"
#include "cmdtext/TextBuffer.h"

namespace {

// Enough to show every path of the number reader without making one input slow: parts
// of an address or a range are read recursively, each on a fresh copy.
const size_t kMaxNumberText = 256;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool HasWildcard(const std::string& pattern)
{
    return pattern.find_first_of("*?") != std::string::npos;
}

void MatchWithCaptures(const TextBuffer& subject, const std::string& pattern, uint8_t sizes)
{
    int wildcards = 0;
    for (char c : pattern)
        wildcards += (c == '*' || c == '?') ? 1 : 0;
    // One output fewer than the wildcards now and then: the last captures are dropped.
    const int count = (sizes & 0x80) && wildcards > 0 ? wildcards - 1 : wildcards;

    std::vector<char*> blocks(count, nullptr);
    std::vector<PatternOutput> outputs(count);
    for (int i = 0; i < count; ++i) {
        const int size = (sizes + i * 7) & 15;
        const bool null = ((sizes >> 4) + i) % 4 == 3;
        blocks[i] = null ? nullptr : new char[size > 0 ? size : 1];
        outputs[i] = {blocks[i], size};
    }
    const bool matched = MatchPattern(subject, pattern.c_str(), outputs.data(), count);
    if (matched && !HasWildcard(pattern))
        Check(pattern == subject.data);
    if (!pattern.empty() && !HasWildcard(pattern) && pattern == subject.data)
        Check(matched);
    for (int i = 0; i < count; ++i)
        delete[] blocks[i];

    // A lone star takes the whole subject, cut to its buffer.
    char whole[9];
    Check(MatchPattern(subject, "*", {{whole, sizeof whole}}));
    Check(std::strncmp(whole, subject.data, sizeof whole - 1) == 0);
}

void ExerciseTextBuffer(const TextBuffer& subject, const std::string& pattern, uint8_t a, uint8_t b)
{
    const int length = subject.Length();
    const int found = subject.Find(pattern.c_str());
    Check(found >= -1 && found <= length);
    const int first = subject.FindAnyOf(pattern.c_str(), true);
    const int last = subject.FindAnyOf(pattern.c_str(), false);
    Check(first <= last && last < length);
    const int low = subject.FindInRange(static_cast<char>(a), static_cast<char>(b), true);
    const int high = subject.FindInRange(static_cast<char>(a), static_cast<char>(b), false);
    Check(low <= high && high < length);

    TextBuffer before(a % 8);
    TextBuffer after(b % 8);
    Check(subject.SplitAt(pattern.c_str(), &before, &after) == (found >= 0));
    if (found >= 0)
        Check(before.Length() + static_cast<int>(pattern.size()) + after.Length() == length);

    TextBuffer work(subject.data);
    work.TrimToRange(static_cast<char>(a), static_cast<char>(b));
    Check(work.Length() <= length);
    work.Append(work).Append(pattern.c_str()).RemoveFront(a % 32);
    work.Assign(work.At(work.Length() / 2));
    Check(work.Length() < work.capacity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t sizes = data[0];
    const char radix = static_cast<char>(data[1]);
    const char* begin = reinterpret_cast<const char*>(data + 2);
    const char* end = reinterpret_cast<const char*>(data + size);
    const char* nul = static_cast<const char*>(std::memchr(begin, 0, end - begin));
    const std::string subjectText(begin, nul ? nul : end);
    std::string pattern(nul ? nul + 1 : end, end);
    pattern.resize(std::strlen(pattern.c_str()));

    TextBuffer subject(subjectText.c_str());
    MatchWithCaptures(subject, pattern, sizes);
    Check(subjectText == subject.data);
    ExerciseTextBuffer(subject, pattern, sizes, static_cast<uint8_t>(radix));

    TextBuffer token(subjectText.substr(0, kMaxNumberText).c_str());
    EvaluateNumber(token, radix);
    Check(token.Length() < token.capacity);
    return 0;
}

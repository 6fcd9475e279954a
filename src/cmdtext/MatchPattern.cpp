// MatchPattern: the wildcard matcher with captures that splits and classifies tokens.
#include "cmdtext/MatchPattern.h"

#include <cstring>

namespace {

class Captures {
public:
    Captures(const PatternOutput* outputs, int count) : outputs(outputs), count(count), next(0) {}

    // Stores length characters of text in the next output and moves on to the one after.
    void Store(const char* text, int length)
    {
        int index = next++;
        if (!outputs || index >= count)
            return;
        const PatternOutput& out = outputs[index];
        if (!out.text || out.size <= 0)
            return;
        if (length > out.size - 1)
            length = out.size - 1;
        std::memcpy(out.text, text, length);
        out.text[length] = '\0';
    }

private:
    const PatternOutput* outputs;
    int count;
    int next;
};

} // namespace

bool MatchPattern(const TextBuffer& subject, const char* pattern, const PatternOutput* outputs,
                  int count)
{
    if (!pattern)
        pattern = "";
    // The working copy keeps the scan intact even when an output is the subject's own
    // block.
    TextBuffer work(subject.data);
    const char* rest = work.data;
    Captures captures(outputs, count);
    const char* p = pattern;
    for (;;) {
        if (*rest == '\0') {
            if (*p == '*') {
                captures.Store(rest, 0);
                ++p;
            }
            return *p == '\0';
        }
        if (*p == '\0')
            return false;
        if (*p == '*') {
            ++p;
            const char* stop = *p ? std::strchr(rest, *p) : nullptr;
            int length = stop ? static_cast<int>(stop - rest) : static_cast<int>(std::strlen(rest));
            captures.Store(rest, length);
            rest += length;
            continue;
        }
        if (*p == '?') {
            captures.Store(rest, 1);
            ++p;
            ++rest;
            continue;
        }
        if (*rest != *p)
            return false;
        ++p;
        ++rest;
    }
}

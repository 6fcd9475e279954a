// Wildcard matching with captures: the tool that splits command lines into tokens and
// tells the kinds of token apart.
#pragma once

#include <initializer_list>

#include "cmdtext/TextBuffer.h"

// Where one capture goes: a character buffer of size bytes, or a null text to discard
// the capture. A capture that does not fit is cut to size - 1 characters and its NUL.
struct PatternOutput {
    char* text;
    int size;
};

// Matches the subject's text against pattern: '*' matches any text, '?' one character,
// every other character itself. Each '*' and '?' in turn takes the next of the count
// outputs (wildcards beyond them capture nothing). A '*' stops at the first occurrence
// of the pattern character that follows it, or takes the rest of the text when it ends
// the pattern; there is no backtracking. True when the whole subject matched the whole
// pattern; on false, the captures made so far stay written.
bool MatchPattern(const TextBuffer& subject, const char* pattern, const PatternOutput* outputs,
                  int count);

inline bool MatchPattern(const TextBuffer& subject, const char* pattern,
                         std::initializer_list<PatternOutput> outputs)
{
    return MatchPattern(subject, pattern, outputs.begin(), static_cast<int>(outputs.size()));
}

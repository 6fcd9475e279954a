// TextBuffer: the owned, growable character buffer of the interpreter.
#include "cmdtext/TextBuffer.h"

#include <cstdlib>
#include <cstring>

namespace {

int TextLength(const char* text)
{
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

bool InRange(char c, char low, char high)
{
    signed char v = static_cast<signed char>(c);
    return static_cast<signed char>(low) <= v && v <= static_cast<signed char>(high);
}

} // namespace

TextBuffer::TextBuffer(const char* text) : data(nullptr), capacity(0)
{
    int length = TextLength(text);
    capacity = length + 2;
    data = static_cast<char*>(std::malloc(capacity));
    if (length > 0)
        std::memcpy(data, text, length);
    data[length] = '\0';
}

TextBuffer::TextBuffer(int n) : data(nullptr), capacity(n > 0 ? n : 1)
{
    data = static_cast<char*>(std::malloc(capacity));
    data[0] = '\0';
}

TextBuffer::~TextBuffer()
{
    std::free(data);
}

void TextBuffer::Reallocate(int n)
{
    if (n < 1)
        n = 1;
    int keep = Length();
    if (keep > n - 1)
        keep = n - 1;
    char* block = static_cast<char*>(std::malloc(n));
    std::memcpy(block, data, keep);
    block[keep] = '\0';
    std::free(data);
    data = block;
    capacity = n;
}

int TextBuffer::Length() const
{
    return static_cast<int>(std::strlen(data));
}

void TextBuffer::Store(int keep, const char* source, int length)
{
    int total = keep + length;
    if (capacity <= total) {
        // Built in a new block before the old one goes: source may lie inside it.
        char* block = static_cast<char*>(std::malloc(total + 5));
        std::memcpy(block, data, keep);
        if (length > 0)
            std::memcpy(block + keep, source, length);
        std::free(data);
        data = block;
        capacity = total + 5;
    } else if (length > 0) {
        std::memmove(data + keep, source, length);
    }
    data[total] = '\0';
}

TextBuffer& TextBuffer::Assign(const char* text)
{
    Store(0, text, TextLength(text));
    return *this;
}

TextBuffer& TextBuffer::Assign(const TextBuffer& other)
{
    return Assign(other.data);
}

TextBuffer& TextBuffer::Append(const char* text)
{
    Store(Length(), text, TextLength(text));
    return *this;
}

TextBuffer& TextBuffer::Append(const TextBuffer& other)
{
    return Append(other.data);
}

TextBuffer& TextBuffer::RemoveFront(int n)
{
    if (n <= 0)
        return *this;
    int length = Length();
    if (n > length)
        n = length;
    std::memmove(data, data + n, length - n + 1);
    return *this;
}

int TextBuffer::FindInRange(char low, char high, bool forward) const
{
    int length = Length();
    if (forward) {
        for (int i = 0; i < length; ++i) {
            if (InRange(data[i], low, high))
                return i;
        }
        return -1;
    }
    for (int i = length - 1; i >= 0; --i) {
        if (InRange(data[i], low, high))
            return i;
    }
    return -1;
}

int TextBuffer::Find(const char* text) const
{
    if (!text)
        return -1;
    const char* found = std::strstr(data, text);
    return found ? static_cast<int>(found - data) : -1;
}

int TextBuffer::FindAnyOf(const char* set, bool forward) const
{
    if (!set)
        return -1;
    int length = Length();
    if (forward) {
        for (int i = 0; i < length; ++i) {
            if (std::strchr(set, data[i]))
                return i;
        }
        return -1;
    }
    for (int i = length - 1; i >= 0; --i) {
        if (std::strchr(set, data[i]))
            return i;
    }
    return -1;
}

bool TextBuffer::SplitAt(const char* separator, TextBuffer* before, TextBuffer* after) const
{
    if (before)
        before->Assign("");
    if (after)
        after->Assign("");
    int at = Find(separator);
    if (at < 0)
        return false;
    if (before)
        before->Store(0, data, at);
    if (after)
        after->Assign(data + at + TextLength(separator));
    return true;
}

TextBuffer& TextBuffer::TrimToRange(char low, char high)
{
    int last = FindInRange(low, high, false);
    if (last < 0) {
        data[0] = '\0';
        return *this;
    }
    data[last + 1] = '\0';
    return RemoveFront(FindInRange(low, high, true));
}

char* TextBuffer::MakeEmpty(char* buffer)
{
    if (buffer)
        buffer[0] = '\0';
    return buffer;
}

// An owned, growable block of 8-bit characters holding one NUL-terminated text, with
// its size recorded. Characters compare as signed values; there is no encoding.
#pragma once

class TextBuffer {
public:
    // capacity := length + 2, the text copied. A null text counts as the empty text.
    explicit TextBuffer(const char* text);
    // A block of n bytes holding the empty text; at least one byte, for the NUL.
    explicit TextBuffer(int n);
    ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // New block of n bytes with the text copied into it. Callers grow; should n be too
    // small for the text, the text is cut so that it and its NUL still fit.
    void Reallocate(int n);
    int Length() const;
    // No range check: index 0 to Length().
    char* At(int index) { return data + index; }
    const char* At(int index) const { return data + index; }

    // Assign and Append grow the block to the final length + 5 first when it is not larger
    // than that length. The source may lie inside this buffer.
    TextBuffer& Assign(const char* text);
    TextBuffer& Assign(const TextBuffer& other);
    TextBuffer& Append(const char* text);
    TextBuffer& Append(const TextBuffer& other);

    // Deletes the first n characters; n <= 0 changes nothing, n beyond the text empties it.
    TextBuffer& RemoveFront(int n);

    // Index of the first (forward) or last character c with low <= c <= high, compared
    // as signed 8-bit values; -1 when there is none.
    int FindInRange(char low, char high, bool forward) const;
    // Index of the first occurrence of text, -1 when there is none.
    int Find(const char* text) const;
    // Index of the first (forward) or last character that belongs to set, -1 when none.
    int FindAnyOf(const char* set, bool forward) const;
    // Empties both outputs (either may be null, neither may be this buffer); when
    // separator occurs, writes the text before its first occurrence into before, the
    // text after it into after, and returns true.
    bool SplitAt(const char* separator, TextBuffer* before, TextBuffer* after) const;
    // Keeps the text from the first to the last character within low..high; a text with
    // no such character becomes empty.
    TextBuffer& TrimToRange(char low, char high);

    // Writes a NUL at the start of buffer (when not null) and returns buffer.
    static char* MakeEmpty(char* buffer);

    char* data;
    int capacity;

private:
    // The text becomes its first keep characters followed by length characters of
    // source; source may point into the block itself.
    void Store(int keep, const char* source, int length);
};

// FormatText over the C library's formatter, the NUL always written.
#include "base/FormatText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

size_t FormatText(char* out, size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    size_t length = FormatTextV(out, size, format, arguments);
    va_end(arguments);
    return length;
}

size_t FormatTextV(char* out, size_t size, const char* format, va_list arguments)
{
    if (out == nullptr || size == 0)
        return 0;
#ifdef _WIN32
    // msvcrt's own formatter (the library carries no printf of its own). A text that
    // fills the count exactly, or is cut, is left without its NUL: the last byte is kept
    // free for it.
    _vsnprintf(out, size - 1, format, arguments);
#else
    std::vsnprintf(out, size, format, arguments);
#endif
    out[size - 1] = '\0';
    return std::strlen(out);
}

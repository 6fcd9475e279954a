#include "cmdtext/FormatText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

size_t FormatText(char* out, size_t size, const char* format, ...)
{
    if (out == nullptr || size == 0)
        return 0;
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    // msvcrt's own formatter (the library carries no printf of its own). A text that
    // fills the count exactly, or is cut, is left without its NUL: the last byte is kept
    // free for it.
    _vsnprintf(out, size - 1, format, arguments);
#else
    std::vsnprintf(out, size, format, arguments);
#endif
    va_end(arguments);
    out[size - 1] = '\0';
    return std::strlen(out);
}

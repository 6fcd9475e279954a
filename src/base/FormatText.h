// printf-style formatting into a fixed buffer that always ends with its NUL.
#pragma once

#include <cstdarg>
#include <cstddef>

// Writes at most size - 1 characters and the NUL; a longer text is cut. Returns the
// number of characters written. Nothing is written when size is 0.
size_t FormatText(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same with the arguments already taken.
size_t FormatTextV(char* out, size_t size, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

// Appending to the trace's file, and moving it aside at its bound.
#include "trace/TraceFile.h"

#include <cstdio>
#include <cstring>

namespace {

// With the C library of Windows, "c" makes fflush commit the data to the disk, so that
// a crash or a power cut keeps every line before it.
#ifdef _WIN32
const char kAppendMode[] = "abc";
#else
const char kAppendMode[] = "ab";
#endif

long SizeAtEnd(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    return std::ftell(file);
}

} // namespace

bool TraceFile::SetPath(const char* name)
{
    path[0] = '\0';
    previousPath[0] = '\0';
    size_t length = name != nullptr ? std::strlen(name) : 0;
    if (length == 0 || length >= sizeof path)
        return false;
    std::memcpy(path, name, length + 1);
    std::memcpy(previousPath, name, length);
    std::memcpy(previousPath + length, ".1", 3);
    return true;
}

bool TraceFile::Append(const char* bytes, size_t length)
{
    if (path[0] == '\0')
        return false;
    std::FILE* file = std::fopen(path, kAppendMode);
    if (file == nullptr)
        return false;
    long size = SizeAtEnd(file);
    if (size < 0) {
        std::fclose(file);
        return false;
    }
    if (size > 0 && static_cast<unsigned long>(size) + length > bound) {
        std::fclose(file);
        // Windows does not rename onto an existing file.
        std::remove(previousPath);
        if (std::rename(path, previousPath) != 0)
            return false;
        file = std::fopen(path, kAppendMode);
        if (file == nullptr)
            return false;
    }
    bool written = std::fwrite(bytes, 1, length, file) == length;
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    return written;
}

long TraceFile::SizeOf(const char* name)
{
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr)
        return -1;
    long size = SizeAtEnd(file);
    std::fclose(file);
    return size;
}

// The file a trace goes to: every append is whole and flushed to the disk before it
// returns, and the file never grows past a bound: the append that would pass it first
// moves the file to "<name>.1" (replacing an older one) and starts the file afresh, so
// that the last two files are kept. Free of <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/ProductInfo.h"

class TraceFile {
public:
    enum { kPathSize = KDLL_PATH_SIZE, kDefaultBound = 1 << 20 };

    // Constant: a trace file lives in module-wide state, which the library's loading
    // must leave without work to do.
    constexpr TraceFile() : bound(kDefaultBound), path{}, previousPath{} {}

    // True when the name fits; otherwise the file has no name and every append fails.
    bool SetPath(const char* name);
    // Appends the bytes at the end of the file, creating it when missing. True when they
    // were written and flushed; false when the file could not be opened, rotated or
    // written.
    bool Append(const char* bytes, size_t length);
    // The size of the named file, -1 when it cannot be opened.
    static long SizeOf(const char* name);
    // The size past which the file is rotated (kDefaultBound unless lowered).
    void SetBound(uint32_t bytes) { bound = bytes; }

private:
    uint32_t bound;
    char path[kPathSize];
    char previousPath[kPathSize + 2];
};

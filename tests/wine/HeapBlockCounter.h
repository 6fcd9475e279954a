// Counts the C runtime's heap blocks that a loaded module holds: its imports of malloc,
// calloc, realloc and free are patched for as long as the counter lives. One counter at
// a time.
#pragma once

#include <windows.h>

#include <memory>

#include "ImportPatch.h"

class HeapBlockCounter {
public:
    explicit HeapBlockCounter(HMODULE module);
    ~HeapBlockCounter();
    HeapBlockCounter(const HeapBlockCounter&) = delete;
    HeapBlockCounter& operator=(const HeapBlockCounter&) = delete;

    // True when the module imports all four and they are patched.
    bool IsActive() const;
    // Blocks the module allocated since the counter began and has not freed.
    long Live() const;

private:
    std::unique_ptr<ImportPatch> patches[4];
};

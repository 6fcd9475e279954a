// A reference on the module that holds this code, so that a host freeing the library
// cannot unmap it under a thread still running in it. The thread drops it as its very
// last act, with ExitThread.
#pragma once

#include <windows.h>

class LibraryReference {
public:
    LibraryReference() : module(nullptr) {}
    // Drops a reference still held (a thread that never started).
    ~LibraryReference() { Drop(); }
    LibraryReference(const LibraryReference&) = delete;
    LibraryReference& operator=(const LibraryReference&) = delete;

    // False when the module's file or a reference on it could not be had. Code linked
    // into the program itself, which is never unloaded, needs none and gets true.
    bool Take();
    void Drop();
    // Takes over the reference that other holds; other holds none afterwards.
    void TakeOver(LibraryReference& other)
    {
        Drop();
        module = other.module;
        other.module = nullptr;
    }
    // Ends the calling thread and drops the reference in one step: the code may be
    // unmapped as soon as it is dropped. Does not return.
    [[noreturn]] void ExitThread(DWORD code);

private:
    HMODULE module;
};

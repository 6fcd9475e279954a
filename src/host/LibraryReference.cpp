// The worker's hold on this library.
#include "host/LibraryReference.h"

// The linker's name for the start of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

bool LibraryReference::Take()
{
    Drop();
    HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
    if (self == GetModuleHandleA(nullptr))
        return true;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    module = LoadLibraryA(path);
    return module != nullptr;
}

void LibraryReference::Drop()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

void LibraryReference::ExitThread(DWORD code)
{
    HMODULE held = module;
    module = nullptr;
    if (held != nullptr)
        FreeLibraryAndExitThread(held, code);
    ::ExitThread(code);
}

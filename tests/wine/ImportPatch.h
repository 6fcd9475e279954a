// Replaces entries of a loaded module's import address table, so that a test can stand
// in for a Windows function that the library calls (a message box, a shut-down request)
// without changing the library. The original entry comes back when the patch is
// destroyed.
#pragma once

#include <windows.h>

class ImportPatch {
public:
    // module: the loaded module whose imports are patched; dll: the imported DLL's name
    // (case-insensitive); function: the imported name; replacement: the stand-in.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // 1 when the module imports the function and the entry now points to the stand-in.
    int IsActive() const { return slot != nullptr; }
    void* Original() const { return original; }

private:
    static void WriteSlot(void** where, void* value);

    void** slot;
    void* original;
};

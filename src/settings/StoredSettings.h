// The library's stored settings: values under HKEY_CURRENT_USER\SOFTWARE\Brindlex, which
// the library only ever reads. Windows builds only.
#pragma once

#include <windows.h>

#include <cstdint>

class StoredSettings {
public:
    enum { kValueSize = 128 };

    // True when a value was stored into number (REG_DWORD) or text (REG_SZ, at most
    // textSize bytes with its NUL); false otherwise, with nothing changed. A value larger
    // than kValueSize bytes is not read.
    static bool ReadSetting(HKEY root, const char* keyPath, const char* valueName, uint32_t* number,
                            char* text, int textSize);
    // "Morphing", a REG_DWORD.
    static bool ReadMorphing(uint32_t* value);
    // "TraceFile", the trace's file: true when it names one whose name fits size bytes with
    // its NUL; a longer name is not cut, it names no file.
    static bool ReadTraceFile(char* path, int size);

private:
    // Opens the key for reading only and asks for the value: *size is the room at data on
    // the way in and the bytes returned on the way out. True when the value was read.
    static bool Query(HKEY root, const char* keyPath, const char* valueName, DWORD* type,
                      BYTE* data, DWORD* size);
};

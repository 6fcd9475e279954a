#include "DemoStandIns.h"

#include <cstdio>

DemoStandIns standIns;

namespace {

std::string OneLine(const char* text)
{
    std::string line;
    for (; text != nullptr && *text != '\0'; ++text)
        line += *text == '\n' ? std::string("\\n") : std::string(1, *text);
    return line;
}

int WINAPI AnswerBox(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    standIns.boxCaptions.push_back(caption != nullptr ? caption : "");
    standIns.lastBoxText = text != nullptr ? text : "";
    std::printf("[intercepted] message box \"%s\" (type 0x%X): \"%s\"\n[intercepted] answered "
                "OK\n",
                standIns.boxCaptions.back().c_str(), type, OneLine(text).c_str());
    std::fflush(stdout);
    return IDOK;
}

BOOL WINAPI HoldShutDown(UINT flags, DWORD)
{
    ++standIns.shutDownRequests;
    standIns.lastShutDownFlags = flags;
    const char* kind = (flags & EWX_REBOOT)     ? "EWX_REBOOT"
                       : (flags & EWX_SHUTDOWN) ? "EWX_SHUTDOWN"
                                                : "EWX_LOGOFF";
    std::printf("[intercepted] ExitWindowsEx(%s%s): not passed on to Windows\n", kind,
                (flags & EWX_FORCE) ? " | EWX_FORCE" : "");
    std::fflush(stdout);
    return TRUE;
}

// Every slot of the module's import address table that holds real now holds standIn.
// The loader bound the table to the exports' addresses, which GetProcAddress returns.
int Redirect(HMODULE module, const char* dll, const char* name, void* standIn)
{
    void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name));
    BYTE* base = reinterpret_cast<BYTE*>(module);
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    void** slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    size_t count = table.Size / sizeof(void*);
    int found = 0;
    for (size_t i = 0; real != nullptr && table.VirtualAddress != 0 && i < count; ++i) {
        if (slots[i] != real)
            continue;
        // The table lies in memory that the loader made read-only.
        DWORD old = 0;
        VirtualProtect(&slots[i], sizeof slots[i], PAGE_READWRITE, &old);
        slots[i] = standIn;
        VirtualProtect(&slots[i], sizeof slots[i], old, &old);
        found = 1;
    }
    return found;
}

} // namespace

DemoStandIns::DemoStandIns() : shutDownRequests(0), lastShutDownFlags(0) {}

int DemoStandIns::Install(HMODULE module, int boxes, int shutDown)
{
    if (boxes &&
        !Redirect(module, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(&AnswerBox)))
        return 0;
    return !shutDown ||
           Redirect(module, "user32.dll", "ExitWindowsEx", reinterpret_cast<void*>(&HoldShutDown));
}

#include "SystemCallRecorder.h"

#include <commdlg.h>

#include <cstring>

namespace {

SystemCallRecorder* active;

RecordedCall NewCall(const char* function)
{
    RecordedCall call = {};
    call.function = function;
    return call;
}

int WINAPI StandInMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    RecordedCall call = NewCall("MessageBoxA");
    call.owner = owner;
    call.text = text != nullptr ? text : "";
    call.caption = caption != nullptr ? caption : "";
    call.type = type;
    active->calls.push_back(call);
    if (active->duringMessageBox)
        active->duringMessageBox();
    return active->messageBoxAnswer;
}

BOOL WINAPI StandInExitWindowsEx(UINT flags, DWORD)
{
    RecordedCall call = NewCall("ExitWindowsEx");
    call.type = flags;
    active->calls.push_back(call);
    return TRUE;
}

BOOL WINAPI StandInGetOpenFileNameA(LPOPENFILENAMEA choice)
{
    RecordedCall call = NewCall("GetOpenFileNameA");
    call.owner = choice->hwndOwner;
    call.choice = *choice;
    if (choice->lpstrFilter != nullptr) {
        const char* p = choice->lpstrFilter;
        while (*p != '\0') {
            call.filter += p;
            call.filter += '|';
            p += std::strlen(p) + 1;
        }
    }
    call.defaultExtension = choice->lpstrDefExt != nullptr ? choice->lpstrDefExt : "";
    active->calls.push_back(call);
    if (active->chosenPath.empty())
        return FALSE;
    lstrcpynA(choice->lpstrFile, active->chosenPath.c_str(), choice->nMaxFile);
    return TRUE;
}

decltype(&AdjustTokenPrivileges) realAdjustTokenPrivileges;

BOOL WINAPI StandInAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                         DWORD length, PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    active->calls.push_back(NewCall("AdjustTokenPrivileges"));
    return realAdjustTokenPrivileges(token, disableAll, state, length, previous, returned);
}

} // namespace

SystemCallRecorder::SystemCallRecorder(HMODULE module)
{
    active = this;
    patches.emplace_back(new ImportPatch(module, "user32.dll", "MessageBoxA",
                                         reinterpret_cast<void*>(&StandInMessageBoxA)));
    patches.emplace_back(new ImportPatch(module, "user32.dll", "ExitWindowsEx",
                                         reinterpret_cast<void*>(&StandInExitWindowsEx)));
    patches.emplace_back(new ImportPatch(module, "comdlg32.dll", "GetOpenFileNameA",
                                         reinterpret_cast<void*>(&StandInGetOpenFileNameA)));
    ImportPatch* adjust = new ImportPatch(module, "advapi32.dll", "AdjustTokenPrivileges",
                                          reinterpret_cast<void*>(&StandInAdjustTokenPrivileges));
    realAdjustTokenPrivileges = reinterpret_cast<decltype(&AdjustTokenPrivileges)>(
        adjust->IsActive() ? adjust->Original() : reinterpret_cast<void*>(&AdjustTokenPrivileges));
    patches.emplace_back(adjust);
}

SystemCallRecorder::~SystemCallRecorder()
{
    patches.clear();
    if (active == this)
        active = nullptr;
}

int SystemCallRecorder::IsActive() const
{
    // The library imports all four once the panel and the download procedure are in.
    for (const auto& patch : patches) {
        if (!patch->IsActive())
            return 0;
    }
    return 1;
}

std::vector<RecordedCall> SystemCallRecorder::Calls(const char* function) const
{
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls) {
        if (call.function == function)
            found.push_back(call);
    }
    return found;
}

std::vector<std::string> SystemCallRecorder::Order() const
{
    std::vector<std::string> names;
    for (const RecordedCall& call : calls)
        names.push_back(call.function);
    return names;
}

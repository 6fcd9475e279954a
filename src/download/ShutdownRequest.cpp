// Shutting Windows down once the new firmware is in: the notice, and the privilege that
// NT requires for the request.
#include <windows.h>

#include "host/Downloader.h"

namespace {

const char kShutDownNotice[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

} // namespace

int Downloader::EnableShutdownPrivilege()
{
    if (device != nullptr && device->isWindows9x)
        return 1;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        CloseHandle(token);
        return 0;
    }
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it granted nothing; the last error tells.
    DWORD error = GetLastError();
    CloseHandle(token);
    return error == ERROR_SUCCESS;
}

int Downloader::ShutDownPrompt()
{
    if (MessageBoxA(dialog, kShutDownNotice, "Notice", MB_OK | MB_ICONEXCLAMATION) != IDOK)
        return 0;
    if (!EnableShutdownPrivilege())
        return 1;
    ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, 0);
    return 1;
}

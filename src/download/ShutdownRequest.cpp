// Shutting Windows down once the new firmware is in: the notice, and the privilege that
// NT requires for the request.
#include <windows.h>

#include "host/Downloader.h"
#include "trace/Trace.h"

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
    int answer = MessageBoxA(dialog, kShutDownNotice, "Notice", MB_OK | MB_ICONEXCLAMATION);
    Trace::Line("shut-down notice: answered %d", answer);
    if (answer != IDOK)
        return 0;
    if (!EnableShutdownPrivilege()) {
        Trace::Line("shut-down: privilege refused, not requested");
        return 1;
    }
    BOOL accepted = ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, 0);
    Trace::Line("shut-down requested: %s", accepted ? "accepted" : "refused");
    return 1;
}

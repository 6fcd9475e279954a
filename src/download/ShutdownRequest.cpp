// Ending the Windows session after a download: the shut-down notice, the request itself
// (shut-down after a success, restart after a failure), and the privilege that NT
// requires for it.
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
    RequestExitWindows(EWX_SHUTDOWN | EWX_FORCE, "shut-down");
    return 1;
}

void Downloader::RequestExitWindows(unsigned flags, const char* what)
{
    // Without the privilege an NT system ignores the request.
    if (!EnableShutdownPrivilege()) {
        Trace::Line("%s: privilege refused, not requested", what);
        return;
    }
    BOOL accepted = ExitWindowsEx(flags, 0);
    Trace::Line("%s requested: %s", what, accepted ? "accepted" : "refused");
}

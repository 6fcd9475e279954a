// Asking Windows to end the session, with the shut-down privilege where NT wants it.
#include "host/WindowsSession.h"

#include <windows.h>

#include "trace/Trace.h"

void WindowsSession::RequestRestart()
{
    RequestExit(EWX_REBOOT, "restart");
}

void WindowsSession::RequestShutDown()
{
    RequestExit(EWX_SHUTDOWN | EWX_FORCE, "shut-down");
}

bool WindowsSession::EnableShutdownPrivilege(bool windows9x)
{
    if (windows9x)
        return true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        CloseHandle(token);
        return false;
    }
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it granted nothing; the last error tells.
    DWORD error = GetLastError();
    CloseHandle(token);
    return error == ERROR_SUCCESS;
}

void WindowsSession::RequestExit(unsigned flags, const char* what) const
{
    // Without the privilege an NT system ignores the request.
    if (!EnableShutdownPrivilege(isWindows9x)) {
        Trace::Line("%s: privilege refused, not requested", what);
        return;
    }
    BOOL accepted = ExitWindowsEx(flags, 0);
    Trace::Line("%s requested: %s", what, accepted ? "accepted" : "refused");
}

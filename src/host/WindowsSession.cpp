// Asking Windows to end the session, with the shut-down privilege where NT wants it.
#include "host/WindowsSession.h"

#include <windows.h>

#include "trace/Trace.h"

int WindowsSession::EnableShutdownPrivilege(int windows9x)
{
    if (windows9x)
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

void WindowsSession::RequestExit(unsigned flags, const char* what, int windows9x)
{
    // Without the privilege an NT system ignores the request.
    if (!EnableShutdownPrivilege(windows9x)) {
        Trace::Line("%s: privilege refused, not requested", what);
        return;
    }
    BOOL accepted = ExitWindowsEx(flags, 0);
    Trace::Line("%s requested: %s", what, accepted ? "accepted" : "refused");
}

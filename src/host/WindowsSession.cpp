// Asking Windows to end the session, with the shut-down privilege where NT wants it.
#include "host/WindowsSession.h"

#include <windows.h>

#include <cstring>

#include "base/AsciiText.h"
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

bool WindowsSession::RecordsOnly()
{
    char value[8] = "";
    DWORD length = GetEnvironmentVariableA("KDLL_SESSION_REQUESTS", value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return false;
    UpperCase(value);
    return std::strcmp(value, "TRACE") == 0;
}

void WindowsSession::RequestExit(unsigned flags, const char* what) const
{
    if (RecordsOnly()) {
        Trace::Line("%s: recorded only, not requested (KDLL_SESSION_REQUESTS=trace)", what);
        return;
    }
    // Without the privilege an NT system ignores the request.
    if (!EnableShutdownPrivilege(isWindows9x)) {
        Trace::Line("%s: privilege refused, not requested", what);
        return;
    }
    BOOL accepted = ExitWindowsEx(flags, 0);
    Trace::Line("%s requested: %s", what, accepted ? "accepted" : "refused");
}

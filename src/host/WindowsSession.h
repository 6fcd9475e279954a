// Ending the Windows session after a download: the request itself (shut-down after a
// success, restart after a failure) and the privilege that NT requires for it.
#pragma once

class WindowsSession {
public:
    // Asks Windows to end the session with the ExitWindowsEx flags, after the privilege;
    // what names the request in the trace.
    static void RequestExit(unsigned flags, const char* what, int windows9x);
    // Asks the process for the shut-down privilege where Windows requires it; 1 when it
    // is held (always on Windows 9x).
    static int EnableShutdownPrivilege(int windows9x);
};

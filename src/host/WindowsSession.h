// Ending the Windows session after a download: the shut-down after a success, the restart
// that the download procedure asks for after a failure, and the privilege that NT requires
// for either.
#pragma once

#include "download/RestartRequest.h"

class WindowsSession : public RestartRequest {
public:
    explicit WindowsSession(bool windows9x) : isWindows9x(windows9x) {}

    void RequestRestart() override;
    void RequestShutDown();
    // Asks the process for the shut-down privilege where Windows requires it; true when it
    // is held (always on Windows 9x).
    static bool EnableShutdownPrivilege(bool windows9x);

private:
    // Asks Windows to end the session with the ExitWindowsEx flags, after the privilege;
    // what names the request in the trace.
    void RequestExit(unsigned flags, const char* what) const;
    // For testing a host on a developer's own machine: the environment variable
    // KDLL_SESSION_REQUESTS set to "trace" records each request in the trace instead of
    // making it. Off unless set so.
    static bool RecordsOnly();

    bool isWindows9x;
};

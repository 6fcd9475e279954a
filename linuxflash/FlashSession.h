// One download with the library's procedure on a drive connection, as the program runs
// it: the checks on this thread, the write on a thread of its own while this one draws the
// panel's bar every 500 ms, the completion, and what the user is told at the end. A stop
// asked for before the write ends the attempt with the tray unlocked; one asked for later
// changes nothing. Free of Linux headers: the stop requests and the answers come through
// interfaces.
#pragma once

#include "ExitCode.h"
#include "TerminalPanel.h"
#include "download/RestartRequest.h"
#include "scsi/ScsiDevice.h"

// The requests to stop (Ctrl-C, SIGTERM, SIGHUP): before the write they stop the
// download, during it they are refused, after it they end a wait for the user.
class StopRequests {
public:
    virtual bool Requested() const = 0;
    // The write is about to begin: false when a stop was asked for, and it does not begin;
    // true, and from here on a request to stop is refused, in one step.
    virtual bool BeginWrite() = 0;
    virtual void EndWrite() = 0;

protected:
    ~StopRequests() = default;
};

class FlashSession : public RestartRequest {
public:
    // out: where the program's own lines go (the panel has its own stream).
    FlashSession(ScsiDevice& device, TerminalPanel& panel, std::FILE* out, StopRequests& stop);

    ExitCode Run();
    // Where Windows would be asked to restart: the user is told to power the computer off
    // and on. The program never does it.
    void RequestRestart() override;
    bool RestartRequested() const { return restartRequested; }

private:
    // Stopped before the write: the tray is unlocked again.
    ExitCode StopBeforeWrite();

    ScsiDevice& device;
    TerminalPanel& panel;
    std::FILE* out;
    StopRequests& stop;
    bool restartRequested;
};

// One download with the library's procedure on a drive connection, as the program runs
// it: the checks on this thread, the write on a thread of its own while this one draws the
// panel's bar every 500 ms, the completion, and what the user is told at the end. A stop
// asked for before the write ends the attempt with the tray unlocked; one asked for later
// changes nothing. Free of Linux headers: the stop requests and the answers come through
// interfaces.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ExitCode.h"
#include "StopRequests.h"
#include "TerminalPanel.h"
#include "download/DownloadProcedure.h"
#include "download/RestartRequest.h"
#include "scsi/ScsiDevice.h"

class FlashSession : public RestartRequest {
public:
    // out: where the program's own lines go (the panel has its own stream).
    FlashSession(ScsiDevice& device, TerminalPanel& panel, std::FILE* out, StopRequests& stop);

    // The download of the file as the program read it once (its checks judged these very
    // bytes).
    ExitCode Run(const FirmwareFileBytes& file);
    // Where Windows would be asked to restart: the user is told to power the computer off
    // and on. The program never does it.
    void RequestRestart() override;
    bool RestartRequested() const { return restartRequested; }
    // True once the write command has gone to the drive.
    bool WriteBegan() const { return writeBegan; }

private:
    // The checks before the write: true when the write may begin; false with how the
    // attempt ended.
    bool CheckBeforeWrite(DownloadProcedure& procedure, ExitCode& ended);
    // The write on its thread, the bar meanwhile; the worker's transfer state, or -1 when
    // no thread could be had.
    int32_t Write(DownloadProcedure& procedure, FirmwareImage& firmware);
    // The check after the write, and the last words.
    ExitCode Complete(DownloadProcedure& procedure, int32_t transferState);
    // Stopped before the write: the tray is unlocked again.
    ExitCode StopBeforeWrite();

    ScsiDevice& device;
    TerminalPanel& panel;
    std::FILE* out;
    StopRequests& stop;
    bool restartRequested;
    bool writeBegan;
};

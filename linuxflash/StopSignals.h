// Ctrl-C (SIGINT), SIGTERM and SIGHUP as requests to stop: blocked in every thread, taken
// by a thread of their own, which says at once what the request does in the phase the
// download is in. No system call of the program is ever interrupted by them, so no SCSI
// command is cut short or sent twice. A signal that the program was started with ignored
// (nohup, a shell's background job) stays ignored.
#pragma once

#include "FlashSession.h"

class StopSignals : public StopRequests {
public:
    // Blocks the signals and starts the thread that takes them; to be called before the
    // program starts any other thread. False when they cannot be watched.
    bool Start();

    bool Requested() const override;
    bool BeginWrite() override;
    void EndWrite() override;
    // Readable once a stop has been requested outside the write: for waits that a stop
    // ends. -1 before Start.
    int WakeDescriptor() const;
};

// The signals that stop a program (SIGINT, SIGTERM, SIGHUP, SIGQUIT) as requests to stop,
// and Ctrl-Z (SIGTSTP): blocked in every thread and read by a thread of their own, which
// says at once what the request does in the phase the download is in. No system call of
// the program is ever interrupted by them, so no SCSI command is cut short or sent twice.
// During the write Ctrl-Z is refused as a stop is; at any other time it stops the program
// as it would have. A signal that the program was started with ignored (nohup, a shell's
// background job) stays ignored.
#pragma once

#include <signal.h>

#include <mutex>
#include <string>
#include <thread>

#include "StopRequests.h"
#include "UniqueDescriptor.h"

class StopSignals : public StopRequests {
public:
    StopSignals();
    // Ends the watching thread and waits for it.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Blocks the signals and starts the thread that reads them; to be called before the
    // program starts any other thread. False, with Reason() saying why, when they cannot
    // be watched.
    bool Start();
    const std::string& Reason() const { return reason; }

    bool Requested() const override;
    bool EndedBeforeWrite() const override;
    bool BeginWrite() override;
    void EndWrite() override;
    const char* SignalName() const override;
    // Readable once a stop has been requested outside the write: for waits that a stop
    // ends. -1 before Start.
    int WakeDescriptor() const { return wakeRead.Get(); }

private:
    enum Phase { kBeforeWrite, kWriting, kAfterWrite };

    // The thread: reads the signals until the quit descriptor is written.
    void Watch();
    // One signal, in the phase it meets.
    void Take(int number);

    mutable std::mutex lock;
    // Under the lock: a request and the phase it meets are one step.
    bool requested;
    Phase phase;
    int signal; // of the last request, 0 for none

    sigset_t watched;
    UniqueDescriptor signals; // signalfd of the watched signals
    UniqueDescriptor wakeRead, wakeWrite;
    UniqueDescriptor quitRead, quitWrite;
    std::thread watcher;
    std::string reason;
};

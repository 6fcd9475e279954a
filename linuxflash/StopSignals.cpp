// The thread that takes the signals to stop, and what it shares with the program. Both
// last as long as the process: the thread is never joined.
#include "StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

enum Phase { kBeforeWrite, kWriting, kAfterWrite };

// Under the lock: a request to stop and the phase it meets are one step.
std::mutex lock;
bool requested = false;
Phase phase = kBeforeWrite;
int wakeRead = -1;
int wakeWrite = -1;

sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : kStopSignals) {
        struct sigaction current;
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        sigaddset(&set, number);
    }
    return set;
}

void Say(const char* text)
{
    // Whole lines to the terminal, whatever the other threads print meanwhile.
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void Watch(sigset_t set)
{
    for (;;) {
        int number = 0;
        if (sigwait(&set, &number) != 0)
            continue;
        Phase now = kBeforeWrite;
        bool again = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            now = phase;
            again = requested;
            requested = true;
        }
        if (now == kBeforeWrite && !again)
            Say("\nrvxflash: stopping before the firmware is written...\n");
        if (now == kWriting)
            Say("\nrvxflash: not now: the new firmware is being written to the drive, and "
                "stopping now could leave\nrvxflash: it unusable. The write goes on; wait for "
                "its end.\n");
        if (now == kAfterWrite)
            Say("\nrvxflash: the write has ended; the drive's check takes a few seconds "
                "more.\n");
        // A wait for the user ends, unless the request came during the write, which it
        // does not touch.
        if (now == kWriting)
            continue;
        char byte = 1;
        ssize_t ignored = write(wakeWrite, &byte, 1);
        (void)ignored;
    }
}

} // namespace

bool StopSignals::Start()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    wakeRead = ends[0];
    wakeWrite = ends[1];
    // A terminal or pipe that went away makes a write fail rather than end the program.
    signal(SIGPIPE, SIG_IGN);
    sigset_t set = WatchedSignals();
    if (sigisemptyset(&set))
        return true; // every one of them ignored: nothing to watch
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    std::thread(Watch, set).detach();
    return true;
}

bool StopSignals::Requested() const
{
    std::lock_guard<std::mutex> guard(lock);
    return requested;
}

bool StopSignals::BeginWrite()
{
    std::lock_guard<std::mutex> guard(lock);
    if (requested)
        return false;
    phase = kWriting;
    return true;
}

void StopSignals::EndWrite()
{
    std::lock_guard<std::mutex> guard(lock);
    phase = kAfterWrite;
    // Whatever came during the write is over: a wait for the user is for a new request.
    requested = false;
}

int StopSignals::WakeDescriptor() const
{
    return wakeRead;
}

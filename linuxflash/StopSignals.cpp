// The thread that reads the signals to stop, and what it shares with the program.
#include "StopSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

const char* Name(int number)
{
    switch (number) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGTSTP:
        return "SIGTSTP";
    }
    return "a signal";
}

bool Ignored(int number)
{
    struct sigaction current;
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void Say(const std::string& text)
{
    // Whole lines, whatever the other threads print meanwhile.
    ssize_t written = write(STDERR_FILENO, text.data(), text.size());
    (void)written;
}

bool MakePipe(UniqueDescriptor& readEnd, UniqueDescriptor& writeEnd)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
    return true;
}

} // namespace

StopSignals::StopSignals() : requested(false), phase(kBeforeWrite), signal(0), watched()
{
    sigemptyset(&watched);
}

StopSignals::~StopSignals()
{
    if (!watcher.joinable())
        return;
    char byte = 1;
    ssize_t written = write(quitWrite.Get(), &byte, 1);
    (void)written;
    watcher.join();
}

bool StopSignals::Start()
{
    // A terminal or pipe that went away makes a write fail rather than end the program.
    ::signal(SIGPIPE, SIG_IGN);
    for (int number : kStopSignals) {
        if (!Ignored(number))
            sigaddset(&watched, number);
    }
    if (!Ignored(SIGTSTP))
        sigaddset(&watched, SIGTSTP);
    if (!MakePipe(wakeRead, wakeWrite) || !MakePipe(quitRead, quitWrite)) {
        reason = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    if (sigisemptyset(&watched))
        return true; // every one of them ignored: nothing to watch
    if (pthread_sigmask(SIG_BLOCK, &watched, nullptr) != 0) {
        reason = "the signals cannot be blocked";
        return false;
    }
    signals.Reset(signalfd(-1, &watched, SFD_CLOEXEC));
    if (!signals.IsOpen()) {
        reason = std::string("no signalfd: ") + std::strerror(errno);
        return false;
    }
    // std::thread says with an exception that no thread could be had.
    try {
        watcher = std::thread(&StopSignals::Watch, this);
    } catch (const std::system_error& error) {
        reason = std::string("no thread: ") + error.what();
        return false;
    }
    return true;
}

void StopSignals::Watch()
{
    for (;;) {
        struct pollfd waits[2] = {{signals.Get(), POLLIN, 0}, {quitRead.Get(), POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waits[1].revents != 0)
            return;
        struct signalfd_siginfo info;
        if (read(signals.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            Take(static_cast<int>(info.ssi_signo));
    }
}

void StopSignals::Take(int number)
{
    Phase now = kBeforeWrite;
    bool again = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        now = phase;
        // During the write a request is refused: nothing is recorded.
        if (now != kWriting && number != SIGTSTP) {
            again = requested;
            requested = true;
            signal = number;
        }
    }
    const std::string name = Name(number);
    if (now == kWriting) {
        Say("\nrvxflash: " + name +
            ": not now: the new firmware is being written to the drive, and stopping now could "
            "leave\nrvxflash: it unusable. The write goes on; wait for its end.\n");
        return;
    }
    if (number == SIGTSTP) {
        // Outside the write Ctrl-Z stops the program as it always would; a command's time
        // does not count the time stopped.
        kill(getpid(), SIGSTOP);
        return;
    }
    if (now == kBeforeWrite)
        Say(again ? "\nrvxflash: " + name +
                        ": already stopping; the command the drive is answering ends first.\n"
                  : "\nrvxflash: " + name + ": stopping; nothing has been written to the drive.\n");
    else
        Say("\nrvxflash: " + name +
            ": the write has ended; the drive's check takes a few "
            "seconds more.\n");
    // A wait for the user ends.
    char byte = 1;
    ssize_t written = write(wakeWrite.Get(), &byte, 1);
    (void)written;
}

bool StopSignals::Requested() const
{
    std::lock_guard<std::mutex> guard(lock);
    return requested;
}

bool StopSignals::EndedBeforeWrite() const
{
    std::lock_guard<std::mutex> guard(lock);
    return requested && phase == kBeforeWrite;
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
}

const char* StopSignals::SignalName() const
{
    std::lock_guard<std::mutex> guard(lock);
    return signal != 0 ? Name(signal) : nullptr;
}

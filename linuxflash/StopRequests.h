// The requests to stop (Ctrl-C, SIGTERM, SIGHUP, SIGQUIT) as a download meets them: before
// the write they end the attempt, during it they are refused, after it they end a wait for
// the user. StopSignals takes them from Linux; the tests script them.
#pragma once

class StopRequests {
public:
    // A stop was asked for and is to be carried out: before the write, or since it ended.
    virtual bool Requested() const = 0;
    // True once a stop came before the write: the attempt is over, and of the drive's
    // commands only the tray's unlock is still sent.
    virtual bool EndedBeforeWrite() const = 0;
    // The write is about to begin: false when a stop was asked for, and it does not begin;
    // true, and from here on a request to stop is refused, in one step.
    virtual bool BeginWrite() = 0;
    virtual void EndWrite() = 0;
    // The signal that asked for the stop ("SIGINT"), null when none did.
    virtual const char* SignalName() const = 0;

protected:
    ~StopRequests() = default;
};

// The system's side of a pass-through layer's adapters, as AdapterQueue uses it: the calls
// of its kind and how one is made and cancelled, how a worker comes to run an adapter's
// queue, the lock, and how a caller hears that its block is back. Our WNASPI32.dll's
// implements it over Windows' pass-through, rvxflash's over Linux's SG_IO; the native
// tests' over a stand-in.
#pragma once

#include <cstdint>

#include "AdapterCall.h"
#include "scsi/AspiTypes.h"

class AdapterSystem {
public:
    // A call of the system's kind; null when out of memory.
    virtual AdapterCall* NewCall() = 0;
    // Under the lock, as the adapter's next call is about to begin: a cancel asked for
    // the one before is forgotten.
    virtual void Prepare(int adapter) = 0;
    // Makes the call on the adapter's device and returns when the system has ended it,
    // keeping its end in the call. Outside the lock.
    virtual void Run(int adapter, AdapterCall& call) = 0;
    // Under the lock: asks the system to end the adapter's running call now. A system that
    // cannot take back a call it has begun does nothing.
    virtual void Cancel(int adapter) = 0;
    // How long an abort waits for a cancelled call to end before it hands the caller's
    // block back anyway; 0 where a call cannot be cancelled.
    virtual uint32_t CancelGraceMs() const = 0;
    // Under the lock: the time-out in seconds that the caller set for the adapter's device
    // (SC_GETSET_TIMEOUTS), 0 for none.
    virtual uint32_t TimeoutSeconds(int adapter) = 0;
    // Under the lock: has a worker of its own run AdapterQueue::Work(adapter) soon; false
    // when none can be had.
    virtual bool StartWorker(int adapter) = 0;
    // Tells the caller that its block srb is back (the event of SRB_EVENT_NOTIFY, the
    // routine of SRB_POSTING); flags and postProc as the block had them when it was sent.
    virtual void Notify(uint8_t flags, void* postProc, SRB_ExecSCSICmd* srb) = 0;

    // The one lock of the layer, which AdapterQueue shares; not recursive.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // Waits about ms milliseconds, outside the lock.
    virtual void Pause(uint32_t ms) = 0;

protected:
    ~AdapterSystem() = default;
};

// Holds an AdapterSystem's lock for a scope.
class AdapterSystemLock {
public:
    explicit AdapterSystemLock(AdapterSystem& system) : system(system) { system.Lock(); }
    ~AdapterSystemLock() { system.Unlock(); }
    AdapterSystemLock(const AdapterSystemLock&) = delete;
    AdapterSystemLock& operator=(const AdapterSystemLock&) = delete;

private:
    AdapterSystem& system;
};

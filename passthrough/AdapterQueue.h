// The execute requests of a pass-through layer's host adapters, and the rules they keep, for
// our WNASPI32.dll and rvxflash's layer over SG_IO alike (AdapterSystem is each one's
// system):
// - An adapter is one drive, its only device at its target and LUN; a request is checked
//   (PassThroughBlock), refused with data out on an adapter opened for reading only, and
//   queued. Each adapter runs its requests one at a time, in order, on a worker.
// - An abort takes a queued request back at once. A running one the system is asked to
//   cancel; a call still running after the system's grace goes on without its caller, who
//   has the block back as SS_ABORTED and never hears of the call again: the system writes
//   only into the call's own buffers.
// - While the system keeps such a call, the drive is busy until the call's own time-out:
//   a request sent meanwhile would reach it only then and block it again, long after its
//   caller gave up. The adapter's requests end at once with SS_ASPI_IS_BUSY, those already
//   queued when the block is handed back.
// Free of <windows.h> and of Linux headers.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "AdapterSystem.h"

class AdapterQueue {
public:
    enum { kMaxAdapters = 26 };
    // An adapter's one device.
    struct Address {
        uint8_t target;
        uint8_t lun;
        bool readOnly; // opened without write access: data-out commands are refused
    };

    explicit AdapterQueue(AdapterSystem& system);
    // Frees what is still queued: no caller waits for it (Close first).
    ~AdapterQueue();
    AdapterQueue(const AdapterQueue&) = delete;
    AdapterQueue& operator=(const AdapterQueue&) = delete;

    // With the lock held. True when no worker runs.
    bool IsIdle() const;
    // With the lock held, while idle: the adapters, one device each (at most kMaxAdapters).
    void SetAdapters(const Address* addresses, int count);
    int Count() const { return count; }

    // SendASPI32Command for SC_EXEC_SCSI_CMD and SC_ABORT_SRB; they take the lock.
    uint32_t Execute(SRB_ExecSCSICmd* srb);
    uint32_t Abort(SRB_Abort* srb);
    // SendASPI32Command for a request kind the layer does not know: SS_INVALID_CMD, the
    // status ASPI has for it, returned and in SRB_Status.
    static uint32_t RefuseUnknown(SRB_Header* header);
    // True while a call whose block was handed back is still with the system.
    bool HoldsCalls();
    // From here on requests are refused, and workers return after the call they run.
    void Close();

    // A worker's run, on a thread the system gave it: the adapter's requests until its
    // queue is empty (or the queue closed).
    void Work(int adapter);

private:
    // An accepted request, from its acceptance until it is handed back.
    struct Entry {
        SRB_ExecSCSICmd* srb;
        std::unique_ptr<AdapterCall> call;
        uint8_t flags;  // SRB_Flags at submission
        void* postProc; // SRB_PostProc at submission
        // Set under the lock by whoever hands the block back to the caller: the worker
        // with the result, or Abort when the system keeps the call past its grace.
        bool handedBack;
    };
    struct Adapter {
        Address address;
        std::deque<Entry*> queue; // accepted, not started, in order
        Entry* running;
        bool workerActive;

        // The caller has the running request's block back, but the system still runs its
        // call.
        bool IsKept() const { return running != nullptr && running->handedBack; }
    };

    // With the lock held: the status an execute request ends with at once, or SS_PENDING
    // with entry accepted.
    uint8_t Accept(SRB_ExecSCSICmd* srb, Entry*& entry);
    // Waits up to the system's grace for the worker to hand back the running request with
    // block srb, then hands it back as SS_ABORTED itself.
    void GiveBackAborted(int adapter, const void* srb);
    bool IsGivenBack(int adapter, const void* srb);
    // Hands the running request with block srb back as SS_ABORTED, unless the worker just
    // did, and the requests queued behind it as SS_ASPI_IS_BUSY.
    void HandBackKept(int adapter, const void* srb);
    // Writes a final status into an entry's block and tells its caller.
    void EndWith(const Entry& entry, uint8_t status);

    AdapterSystem& system;
    Adapter adapters[kMaxAdapters];
    int count;
    bool closed;
};

// ASPI for Win32 over Linux's SG_IO, linked into the program: each CD-ROM device is one
// host adapter whose only device is the drive, as each drive letter is in our WNASPI32.dll,
// and the adapters' requests keep the rules of AdapterQueue, written once for both. What
// is Linux's here: one thread per adapter that runs its queue when woken, the SG_IO call
// (through an SgTransport: SgIoctl, or a stand-in in the tests), and that a call cannot be
// taken back once the kernel has given the command to the drive: an abort hands the
// block back at once, and the call goes on into the layer's own buffers until the command
// ends or its pass-through time-out passes, when the kernel aborts it at the drive. Free
// of Linux headers.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AdapterQueue.h"
#include "SgRequest.h"
#include "scsi/LinkedAspiLayer.h"

// How the layer reaches a device: one SG_IO call on it.
class SgTransport {
public:
    // Runs the request on the device (the index given at the layer's construction) and
    // returns when the kernel has ended it; 0, or the errno of a call that did not run it.
    virtual int Run(int device, SgIoHeader& header) = 0;

protected:
    ~SgTransport() = default;
};

class SgAspiLayer : public LinkedAspiLayer, private AdapterSystem {
public:
    enum { kMaxAdapters = 16 };

    // One adapter per device, in order: the drive at its SCSI target (0 to 7; another
    // target shows as 0), LUN 0. The layer calls the transport with the device's index.
    SgAspiLayer(SgTransport& transport, const std::vector<uint8_t>& targets);
    // Waits for the adapters' threads: a call the drive never answers ends when its
    // pass-through time-out has passed and the kernel has aborted it.
    ~SgAspiLayer();
    SgAspiLayer(const SgAspiLayer&) = delete;
    SgAspiLayer& operator=(const SgAspiLayer&) = delete;

    // GetASPI32SupportInfo: status in bits 15-8, number of host adapters in bits 7-0.
    uint32_t SupportInfo() override;
    // SendASPI32Command for SC_EXEC_SCSI_CMD and SC_ABORT_SRB. The caller watches
    // SRB_Status: the layer signals no event.
    uint32_t Send(void* request) override;
    // True while a call the layer has handed back is still with the kernel.
    bool HoldsCalls() { return queue.HoldsCalls(); }
    // False when an adapter's thread could not be started: its requests end at once with
    // SS_INSUFFICIENT_RESOURCES.
    bool Started() const;
    // True once a call has found the drive gone (removed, or no longer reachable), and
    // what Linux said then ("errno 19 (No such device)").
    bool DriveGone() const;
    std::string GoneWord() const;

private:
    // The system's side of the queue.
    AdapterCall* NewCall() override;
    void Prepare(int) override {}
    void Run(int adapter, AdapterCall& call) override;
    void Cancel(int) override {}
    uint32_t CancelGraceMs() const override { return 0; }
    uint32_t TimeoutSeconds(int) override { return 0; }
    bool StartWorker(int adapter) override;
    void Notify(uint8_t, void*, SRB_ExecSCSICmd*) override {}
    void Lock() override { lock.lock(); }
    void Unlock() override { lock.unlock(); }
    void Pause(uint32_t ms) override;

    // An adapter's thread: runs its queue each time it is woken, until the layer ends.
    void RunAdapter(int index);

    SgTransport& transport;
    mutable std::mutex lock;
    std::condition_variable wake;
    // Under the lock.
    bool stopping;
    bool workAsked[kMaxAdapters];
    std::string goneWord; // empty until a call found the drive gone

    std::vector<std::thread> threads; // one per adapter; not joinable: none could be had
    AdapterQueue queue;
};

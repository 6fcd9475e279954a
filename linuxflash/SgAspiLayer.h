// ASPI for Win32 over Linux's SG_IO, linked into the program: each CD-ROM device is one
// host adapter whose only device is the drive, as each drive letter is in our WNASPI32.dll.
// Each adapter runs its execute requests in order on a thread of its own. SG_IO cannot be
// taken back once the kernel has given the command to the drive: an abort hands the block
// back at once (SS_ABORTED) and the call goes on into the layer's own buffers until the
// command ends or its pass-through time-out passes, when the kernel aborts it at the drive.
// A request behind such a call would reach the drive only then, long after its caller gave
// up, and block it for a time-out of its own: until the call ends, the adapter's requests
// end at once with SS_ASPI_IS_BUSY, those already queued when the block is handed back, as
// in our WNASPI32.dll. Free of Linux headers: the calls go through an SgTransport
// (SgIoctl, or a stand-in in the tests).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

class SgAspiLayer : public LinkedAspiLayer {
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
    // SendASPI32Command for SC_EXEC_SCSI_CMD and SC_ABORT_SRB; SS_INVALID_CMD for the
    // others. The caller watches SRB_Status: the layer signals no event.
    uint32_t Send(void* request) override;
    // True while a call the layer has handed back is still with the kernel.
    bool HoldsCalls() const;
    // False when an adapter's thread could not be started: its requests end at once with
    // SS_INSUFFICIENT_RESOURCES.
    bool Started() const { return started; }
    // True once a call has found the drive gone (removed, or no longer reachable), and
    // what Linux said then ("errno 19 (No such device)").
    bool DriveGone() const;
    std::string GoneWord() const;

private:
    struct Request {
        SRB_ExecSCSICmd* srb;
        SgRequest sg;
        bool handedBack; // under the lock
    };
    struct Adapter {
        uint8_t target;
        std::deque<Request*> queue; // accepted, not started, in order
        Request* running;
        std::thread worker;
    };

    uint32_t Execute(SRB_ExecSCSICmd* srb);
    uint32_t Abort(SRB_Abort* srb);
    void RunAdapter(int index);

    SgTransport& transport;
    mutable std::mutex lock;
    std::condition_variable wake;
    bool stopping;
    bool started;
    bool driveGone; // under the lock
    std::string goneWord;
    std::vector<std::unique_ptr<Adapter>> adapters;
};

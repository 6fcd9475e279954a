// ASPI for Win32 over the SCSI pass-through interface: one host adapter per CD-ROM drive
// letter, whose execute requests keep the rules of AdapterQueue, written once for our
// layer and rvxflash's. What is Windows' here: the drives found behind the letters, the
// other requests (host adapter inquiry, device type, time-outs), and the system's side of
// the queue: a worker thread started for an adapter's queue, which holds a reference on
// this module, and overlapped buffered pass-through calls, which an abort cancels.
#pragma once

#include <windows.h>

#include "AdapterQueue.h"
#include "PassThroughRequest.h"
#include "base/CriticalSection.h"

// One drive letter as a host adapter: what Windows gives of it.
struct LayerAdapter {
    char letter;
    HANDLE device;
    bool readOnly; // opened without write access
    uint8_t target;
    uint8_t lun;
    HANDLE wake;    // set when the running call is to be cancelled
    bool cancelled; // under the lock: a cancel was asked for the running call
};

class PassThroughLayer : private AdapterSystem {
public:
    enum {
        kMaxAdapters = AdapterQueue::kMaxAdapters,
        kMaxTargets = 8,
        // After a cancel, how long an abort waits for the driver to give the request
        // back before it hands SS_ABORTED to the caller anyway (below the two seconds
        // the downloader allows an abort). Wine runs a pass-through to the end inside
        // DeviceIoControl, whatever the OVERLAPPED, so the worker cannot be the one
        // that gives up.
        kCancelGraceMs = 1000,
    };

    explicit PassThroughLayer(HMODULE module);
    ~PassThroughLayer();
    PassThroughLayer(const PassThroughLayer&) = delete;
    PassThroughLayer& operator=(const PassThroughLayer&) = delete;

    // Status in bits 15-8, adapter count in bits 7-0. Looks for the drives again when
    // no request is queued or running.
    uint32_t SupportInfo();
    uint32_t Send(void* request);

    // Body of an adapter's worker thread: runs the queue until it is empty.
    void RunWorker(int index) { queue.Work(index); }
    HMODULE Module() const { return module; }

private:
    typedef BOOL(WINAPI* CancelIoExFn)(HANDLE, LPOVERLAPPED);

    void Discover();
    void CloseAdapters();
    bool OpenDevice(char letter, HANDLE& device, bool& readOnly) const;
    void ReadAddress(LayerAdapter& adapter) const;
    bool Reopen(LayerAdapter& adapter) const;

    uint32_t HostAdapterInquiry(SRB_HAInquiry* srb);
    uint32_t Timeouts(SRB_GetSetTimeouts* srb);
    uint32_t DeviceType(SRB_GDEVBlock* srb);

    // The system's side of the queue.
    AdapterCall* NewCall() override;
    void Prepare(int adapter) override;
    void Run(int adapter, AdapterCall& call) override;
    void Cancel(int adapter) override;
    uint32_t CancelGraceMs() const override { return kCancelGraceMs; }
    uint32_t TimeoutSeconds(int adapter) override;
    bool StartWorker(int adapter) override;
    void Notify(uint8_t flags, void* postProc, SRB_ExecSCSICmd* srb) override;
    void Lock() override { lock.Enter(); }
    void Unlock() override { lock.Leave(); }
    void Pause(uint32_t ms) override { Sleep(ms); }

    // One pass-through call, once more on a new handle when the old one went stale; 0 or
    // the Win32 error, and how long the call that ended took.
    DWORD RunRequest(LayerAdapter& adapter, PassThroughRequest& request, DWORD& elapsedMs);
    // One pass-through call, cancelled when an abort asks; 0 or the Win32 error.
    DWORD Transfer(LayerAdapter& adapter, PassThroughRequest& request);

    CriticalSection lock;
    HMODULE module;
    LayerAdapter adapters[kMaxAdapters];
    int adapterCount;
    bool discovered;
    bool isWindows9x;
    CancelIoExFn cancelIoEx;
    // Seconds set with SC_GETSET_TIMEOUTS for the drive behind each letter A to Z (0: the
    // layer chooses by command); kept by letter, as the drives are found again.
    uint32_t timeoutByLetter[26];
    AdapterQueue queue;
};

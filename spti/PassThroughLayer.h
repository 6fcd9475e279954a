// ASPI for Win32 over the SCSI pass-through interface: one host adapter per CD-ROM drive
// letter, each with a queue of execute requests that a worker thread of its own runs
// through overlapped buffered pass-through calls.
#pragma once

#include <windows.h>

#include <deque>

#include "PassThroughRequest.h"
#include "base/CriticalSection.h"

// An execute request from its acceptance until it is handed back.
struct LayerRequest {
    SRB_ExecSCSICmd* srb;
    PassThroughRequest pass;
    uint8_t flags;       // SRB_Flags at submission
    DWORD startedAt;     // GetTickCount when the pass-through call was made
    void* postProc;      // SRB_PostProc at submission
    bool abortRequested; // set under the lock
    // Set under the lock by whoever hands the block back to the caller: the worker with
    // the result, or Abort when the system keeps the call past kCancelGraceMs.
    bool handedBack;
};

// One drive letter as a host adapter.
struct LayerAdapter {
    char letter;
    HANDLE device;
    bool readOnly; // opened without write access: data-out commands are refused
    uint8_t target;
    uint8_t lun;
    std::deque<LayerRequest*> queue; // accepted, not started, in order
    LayerRequest* running;
    HANDLE wake; // set when the running request is to be aborted
    bool workerActive;

    // The caller has the running request's block back, but the system still runs its
    // call: the drive is busy until the call's own time-out, and a request sent meanwhile
    // would only reach it then and block it again.
    bool IsKept() const { return running != nullptr && running->handedBack; }
};

class PassThroughLayer {
public:
    enum {
        kMaxAdapters = 26,
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
    void RunWorker(int index);
    HMODULE Module() const { return module; }

private:
    typedef BOOL(WINAPI* CancelIoExFn)(HANDLE, LPOVERLAPPED);

    void Discover();
    void CloseAdapters();
    bool IsIdle() const;
    bool OpenDevice(char letter, HANDLE& device, bool& readOnly) const;
    void ReadAddress(LayerAdapter& adapter) const;
    bool Reopen(LayerAdapter& adapter) const;

    uint32_t HostAdapterInquiry(SRB_HAInquiry* srb);
    uint32_t Timeouts(SRB_GetSetTimeouts* srb);
    uint32_t DeviceType(SRB_GDEVBlock* srb);
    uint32_t Execute(SRB_ExecSCSICmd* srb);
    uint32_t Abort(SRB_Abort* srb);
    bool StartWorker(int index);

    // The request's pass-through call, once more on a new handle when the old one went
    // stale; 0 or the Win32 error.
    DWORD RunRequest(LayerAdapter& adapter, LayerRequest* request);
    // One pass-through call, cancelled when an abort asks; 0 or the Win32 error.
    DWORD Transfer(LayerAdapter& adapter, LayerRequest* request);
    // Waits up to kCancelGraceMs for the worker to hand back the running request with
    // block srb, then hands it back as SS_ABORTED itself, and the requests queued behind
    // it as SS_ASPI_IS_BUSY.
    void GiveBackAborted(LayerAdapter& adapter, void* srb);
    // Whether the running request of the adapter is no longer the one with block srb, or
    // has been handed back.
    bool IsGivenBack(const LayerAdapter& adapter, const void* srb);
    // Hands the running request with block srb back as SS_ABORTED, unless the worker just
    // did, and the requests queued behind it as SS_ASPI_IS_BUSY.
    void HandBackKept(LayerAdapter& adapter, void* srb);
    static void Notify(const LayerRequest* request);

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
};

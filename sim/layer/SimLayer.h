// The simulated ASPI for Win32 layer: SendASPI32Command and GetASPI32SupportInfo over the
// drive model, with completion threads, events and abort, and the control exports.
#pragma once

#include <windows.h>

#include <vector>

#include "DriveModel.h"
#include "base/CriticalSection.h"

class SimLayer;

// An accepted request that has not been handed back yet.
struct SimPendingRequest {
    SimLayer* owner;
    SRB_ExecSCSICmd* srb;
    SimSubmission submission;
    uint8_t adapter;
    HANDLE notify;     // the caller's event (SRB_PostProc with SRB_EVENT_NOTIFY), or null
    HANDLE wake;       // ends the completion thread's wait early
    HMODULE moduleRef; // keeps the DLL mapped while the thread runs
    bool done;
    bool resumed; // a paused request that the test let go
};

class SimLayer {
public:
    explicit SimLayer(HMODULE module);
    ~SimLayer();
    SimLayer(const SimLayer&) = delete;
    SimLayer& operator=(const SimLayer&) = delete;

    uint32_t SupportInfo();
    uint32_t Send(void* request);

    bool Configure(const char* text);
    const char* LastError();
    int RequestCount();
    bool GetRequest(int index, SimRequestRecord* out);
    uint32_t GetDataOut(int index, uint8_t* dst, uint32_t capacity);
    void ClearLog();
    int PendingCount();
    void ReleaseHeld();
    void Resume();
    bool GetDeviceInfo(int adapter, int target, SimDeviceInfo* out);

    // Body of a completion thread: waits out the delay (or until woken), delivers the
    // result unless an abort already did, and frees the request.
    void RunCompletion(SimPendingRequest* request);

private:
    void EnsureConfigured();
    uint32_t Execute(SRB_ExecSCSICmd* srb);
    uint32_t CompleteAtOnce(SRB_ExecSCSICmd* srb, const SimSubmission& submission);
    // Lists an accepted request and starts its completion thread. Called with the lock held.
    void Enqueue(SRB_ExecSCSICmd* srb, const SimSubmission& submission, bool neverCompletes);
    uint32_t Abort(SRB_Abort* abort);
    uint32_t Refuse(void* request);
    bool StartThread(SimPendingRequest* request);
    // Hands a request back: its result, or SS_ABORTED. Called with the lock held.
    void Complete(SimPendingRequest* request, bool aborted);
    void Forget(SimPendingRequest* request);

    CriticalSection lock;
    HMODULE module;
    DriveModel model;
    std::vector<SimPendingRequest*> pending;
    bool configured;
};

// An ASPI for Win32 layer as the library and the drive lister use it: WNASPI32.dll bound
// by ordinal (or a layer linked into the program), and the round trip of one execute
// request: its completion event, the send, the bounded wait, the abort after a time-out
// and the grace the layer gets to give the request back. Free of <windows.h>:
// AspiLayerWin32.cpp talks to Windows, AspiLayerNative.cpp stands in for it natively.
#pragma once

#include <cstdint>

#include "scsi/AspiTypes.h"
#include "scsi/LinkedAspiLayer.h"

// How the round trip of one request ended.
struct AspiRoundTrip {
    uint32_t sent;      // what SendASPI32Command answered
    bool timedOut;      // no completion within the time-out: the request was aborted
    bool abortAnswered; // after a time-out: the abort was answered SS_COMP
    // The layer no longer holds the request, its event closed. 0 only after a time-out:
    // the layer may still write into the block and signal the event, which stays open.
    bool givenBack;
};

class AspiLayer {
public:
    // WNASPI32.dll's entry points are cdecl and take or return 32-bit words.
    typedef uint32_t (*SupportInfoFn)();
    typedef uint32_t (*SendCommandFn)(void* request);

    AspiLayer();
    // Frees the module that Load loaded, unless Abandon was called.
    ~AspiLayer();
    AspiLayer(const AspiLayer&) = delete;
    AspiLayer& operator=(const AspiLayer&) = delete;

    // Loads the named DLL (the layer then owns the module) and binds its ordinals 1 and 2.
    // True when the DLL was loaded; IsBound says whether both entry points were found.
    bool Load(const char* fileName);
    // Binds ordinals 1 and 2 of a module that the caller loaded and keeps.
    void Bind(void* module);
    // Binds a layer linked into the program, which the caller keeps.
    void Bind(LinkedAspiLayer& layer);
    bool IsBound() const
    {
        return linked != nullptr || (getSupportInfo != nullptr && sendCommand != nullptr);
    }
    // Keeps the module that Load loaded for good: a layer that still holds a request may
    // still write into it.
    void Abandon() { ownsModule = false; }

    // GetASPI32SupportInfo: status in bits 15-8, number of host adapters in bits 7-0.
    uint32_t SupportInfo() const
    {
        return linked != nullptr ? linked->SupportInfo() : getSupportInfo();
    }
    // SendASPI32Command.
    uint32_t Send(void* request) const
    {
        return linked != nullptr ? linked->Send(request) : sendCommand(request);
    }
    // Asks the layer to abort the execute request at srb on the adapter; its answer.
    uint32_t Abort(uint8_t adapter, SRB_ExecSCSICmd* srb) const;

    // Gives the request a new completion event (SRB_PostProc) and marks it SS_PENDING;
    // false when there is no event, with the block unchanged.
    static bool Arm(SRB_ExecSCSICmd& srb);
    // Sends an armed request and waits up to timeoutMs for its completion; after a
    // time-out aborts it and gives the layer graceMs to hand it back.
    AspiRoundTrip Run(SRB_ExecSCSICmd& srb, uint32_t timeoutMs, uint32_t graceMs) const;
    // For a request the layer kept (givenBack false): true once the layer has given it
    // back, its event then closed; false while the layer still holds it.
    static bool Reclaim(SRB_ExecSCSICmd& srb);

private:
    // True when within waitMs the layer signalled the event and wrote a final status.
    static bool IsGivenBack(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs);

    // Platform side: the completion event, and the module.
    static void* CreateCompletion();
    // True when the layer signalled the request's event within waitMs.
    static bool WaitCompletion(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs);
    static void CloseCompletion(void* event);
    void UnloadModule();

    void* module;
    bool ownsModule;
    SupportInfoFn getSupportInfo;
    SendCommandFn sendCommand;
    LinkedAspiLayer* linked;
};

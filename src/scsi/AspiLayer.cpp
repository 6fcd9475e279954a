// The platform-neutral part of AspiLayer: the entry points, the abort and the round trip
// of one request.
#include "scsi/AspiLayer.h"

#include <cstring>

AspiLayer::AspiLayer()
    : module(nullptr), ownsModule(false), getSupportInfo(nullptr), sendCommand(nullptr),
      linked(nullptr)
{
}

AspiLayer::~AspiLayer()
{
    if (ownsModule)
        UnloadModule();
}

void AspiLayer::Bind(LinkedAspiLayer& layer)
{
    linked = &layer;
}

uint32_t AspiLayer::Abort(uint8_t adapter, SRB_ExecSCSICmd* srb) const
{
    alignas(4) SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = adapter;
    abort.SRB_ToAbort = srb;
    return Send(&abort);
}

bool AspiLayer::Arm(SRB_ExecSCSICmd& srb)
{
    void* event = CreateCompletion();
    if (event == nullptr)
        return false;
    srb.SRB_PostProc = event;
    // ASPI writes the status when it accepts or completes the request; a layer that
    // refuses without writing it must not leave an earlier success standing.
    srb.SRB_Status = SS_PENDING;
    return true;
}

AspiRoundTrip AspiLayer::Run(SRB_ExecSCSICmd& srb, uint32_t timeoutMs, uint32_t graceMs) const
{
    AspiRoundTrip trip = {};
    trip.givenBack = true;
    trip.sent = Send(&srb);
    if (trip.sent == SS_PENDING && !WaitCompletion(srb, timeoutMs)) {
        trip.timedOut = true;
        // A layer that honours the abort gives the block back within the grace. One that
        // does not is left holding it (see Reclaim) rather than having the block reused
        // under its feet.
        trip.abortAnswered = Abort(srb.SRB_HaId, &srb) == SS_COMP;
        trip.givenBack = IsGivenBack(srb, graceMs);
    }
    if (trip.givenBack)
        CloseCompletion(srb.SRB_PostProc);
    return trip;
}

bool AspiLayer::Reclaim(SRB_ExecSCSICmd& srb)
{
    if (!IsGivenBack(srb, 0))
        return false;
    CloseCompletion(srb.SRB_PostProc);
    return true;
}

bool AspiLayer::IsGivenBack(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs)
{
    return WaitCompletion(srb, waitMs) && srb.SRB_Status != SS_PENDING;
}

// Keeping the drive's commands back after a stop.
#include "StopGate.h"

#include "scsi/AspiTypes.h"
#include "scsi/ScsiCodes.h"

namespace {

// PREVENT ALLOW MEDIUM REMOVAL with both prevent bits clear.
bool IsUnlock(const SRB_ExecSCSICmd& srb)
{
    return srb.CDBByte[0] == ScsiOp::kPreventAllowMediumRemoval && (srb.CDBByte[4] & 0x03) == 0;
}

} // namespace

uint32_t StopGate::Send(void* request)
{
    SRB_Header* header = static_cast<SRB_Header*>(request);
    if (header->SRB_Cmd != SC_EXEC_SCSI_CMD || !stop.EndedBeforeWrite())
        return layer.Send(request);
    SRB_ExecSCSICmd* srb = static_cast<SRB_ExecSCSICmd*>(request);
    if (IsUnlock(*srb))
        return layer.Send(request);
    srb->SRB_Status = SS_ABORTED;
    return SS_ABORTED;
}

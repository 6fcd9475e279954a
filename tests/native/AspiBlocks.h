// ASPI request blocks for the native tests of the pass-through layers: an execute block,
// an abort block, and a bounded wait for a block's final status.
#pragma once

#include <chrono>
#include <cstring>
#include <thread>

#include "scsi/AspiTypes.h"

namespace AspiBlocks {

inline SRB_ExecSCSICmd Execute(uint8_t adapter, uint8_t target, uint8_t opcode, uint8_t flags,
                               uint32_t length, uint8_t* data)
{
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Target = target;
    srb.SRB_Flags = flags;
    srb.SRB_CDBLen = 12;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.CDBByte[0] = opcode;
    return srb;
}

inline SRB_Abort Abort(SRB_ExecSCSICmd& toAbort)
{
    SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &toAbort;
    return abort;
}

// Waits, at most 5 s, for the layer to end the request, as the library's AspiLayer does.
inline uint8_t Settled(const SRB_ExecSCSICmd& srb)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (*reinterpret_cast<const volatile uint8_t*>(&srb.SRB_Status) == SS_PENDING &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return srb.SRB_Status;
}

} // namespace AspiBlocks

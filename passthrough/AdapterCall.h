// One execute request as a pass-through layer carries it out: the block taken and turned
// into the system's request, the system's call made by the layer, and the call's end
// written back into the block. PassThroughRequest (Windows' SCSI pass-through) and
// SgRequest (Linux's SG_IO) are the two kinds.
#pragma once

#include "PassThroughBlock.h"

class AdapterCall : public PassThroughBlock {
public:
    virtual ~AdapterCall() = default;

    // Takes the execute block (PassThroughBlock::Take), with the caller's time-out in
    // seconds (0: by kind of command), and builds the system's request with its own
    // buffers, data-out bytes copied in. True when ready; false with Refusal() set.
    virtual bool Build(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds) = 0;
    // Writes how the system ended the call into the block, SRB_Status last.
    virtual void Complete(SRB_ExecSCSICmd* srb) const = 0;
};

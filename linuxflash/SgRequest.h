// The translation between an ASPI execute block and one SG_IO request: the request with
// the layer's own data and sense buffers, and the kernel's answer written back into the
// block. The block's checks, direction and time-out and the write-back are
// PassThroughBlock's, shared with our WNASPI32.dll. Free of Linux headers: SgIoctl makes
// the call.
#pragma once

#include <cstdint>
#include <string>

#include "PassThroughBlock.h"
#include "SgIoHeader.h"

class SgRequest : public PassThroughBlock {
public:
    SgRequest();
    ~SgRequest();
    SgRequest(const SgRequest&) = delete;
    SgRequest& operator=(const SgRequest&) = delete;

    // Takes the execute block (PassThroughBlock::Take) and builds the request: the command,
    // the direction, the time-out in milliseconds, and the layer's own buffers, data-out
    // bytes copied in. The kernel writes only into those buffers: a request handed back
    // to its caller early (an abort) may go on without touching the caller's block.
    // True when ready; false with refusal set: the block's refusal, or
    // SS_INSUFFICIENT_RESOURCES.
    bool Build(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds);
    SgIoHeader& Header() { return header; }

    // Writes the end into the block, as SgEnd reads what the kernel said; what Linux said
    // beyond the target's answer goes into the trace. callError: 0 when the ioctl returned,
    // else its errno. True when the drive is no longer there; said: what Linux said.
    bool Complete(SRB_ExecSCSICmd* srb, int callError, std::string& said) const;

private:
    SgIoHeader header;
    uint8_t command[16];
    uint8_t* data;
    uint8_t sense[kSenseCapacity];
};

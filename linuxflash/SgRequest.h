// The translation between an ASPI execute block and one SG_IO request: the request with
// the layer's own data and sense buffers, and the kernel's answer written back into the
// block. The block's checks, direction and time-out and the write-back are
// PassThroughBlock's, shared with our WNASPI32.dll. Free of Linux headers: the layer makes
// the call (SgTransport).
#pragma once

#include <cstdint>
#include <string>

#include "AdapterCall.h"
#include "SgIoHeader.h"

class SgRequest : public AdapterCall {
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
    bool Build(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds) override;
    SgIoHeader& Header() { return header; }
    // The call has ended: 0 when the ioctl returned, else its errno.
    void Ended(int error) { callError = error; }

    // Writes the end into the block, as SgEnd reads what the kernel said; what Linux said
    // beyond the target's answer goes into the trace.
    void Complete(SRB_ExecSCSICmd* srb) const override;
    // Whether the drive was no longer there, and what Linux said beyond the target's answer.
    bool DriveGone() const;
    std::string Said() const;

private:
    SgIoHeader header;
    uint8_t command[16];
    uint8_t* data;
    uint8_t sense[kSenseCapacity];
    int callError;
};

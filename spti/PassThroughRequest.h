// The translation between an ASPI execute block and one buffered SCSI pass-through
// request (IOCTL_SCSI_PASS_THROUGH): the request buffer with its header, sense area and
// data, and the driver's answer read back. The block's checks, its direction and
// time-out and how an end is written into it are PassThroughBlock's, which the Linux
// layer shares. Free of <windows.h>: the layer (PassThroughLayer) does the Windows side.
#pragma once

#include <cstdint>

#include "AdapterCall.h"

// The layout of SCSI_PASS_THROUGH with the pointer-sized DataBufferOffset of the build
// (44 bytes in 32-bit code, 56 in 64-bit code).
struct PassThroughHeader {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uintptr_t DataBufferOffset;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

class PassThroughRequest : public AdapterCall {
public:
    // Win32 error codes the result depends on; their values are fixed by Windows.
    enum : uint32_t {
        kErrorSemTimeout = 121,       // STATUS_IO_TIMEOUT: the command timed out
        kErrorOperationAborted = 995, // the request was cancelled
        kErrorTimeout = 1460,
    };

    PassThroughRequest();
    ~PassThroughRequest();
    PassThroughRequest(const PassThroughRequest&) = delete;
    PassThroughRequest& operator=(const PassThroughRequest&) = delete;

    // Takes the execute block (PassThroughBlock::Take) and builds the request buffer,
    // data-out bytes copied in. True when ready; false with refusal set: the block's
    // refusal, or SS_INSUFFICIENT_RESOURCES when no buffer could be had.
    bool Build(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds) override;
    uint8_t* Buffer() { return buffer; }
    uint32_t BufferSize() const { return bufferSize; }

    // The call has ended: ioError 0 when the pass-through call succeeded and the header
    // in the buffer holds SCSI status, sense length and transferred length;
    // kErrorOperationAborted: cancelled; kErrorSemTimeout or kErrorTimeout: timed out; any
    // other error: failed. elapsedMs: how long the call took.
    void Ended(uint32_t error, uint32_t elapsed)
    {
        ioError = error;
        elapsedMs = elapsed;
    }
    // Writes the outcome into the block (PassThroughBlock::Complete). elapsedMs at or past
    // the time-out with GOOD is a time-out too: Wine passes a Linux SG_IO that timed out
    // back as success with SCSI status 0 (it does not look at the host status); Windows
    // fails such a call with ERROR_SEM_TIMEOUT.
    void Complete(SRB_ExecSCSICmd* srb) const override;

private:
    uint8_t* buffer;
    uint32_t bufferSize;
    uint32_t ioError;
    uint32_t elapsedMs;
};

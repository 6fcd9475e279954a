// The translation between an ASPI execute block and one buffered SCSI pass-through
// request (IOCTL_SCSI_PASS_THROUGH): the checks on the block, the request buffer with
// its header, sense area and data, and the result written back into the block. Free of
// <windows.h>: the layer (PassThroughLayer) does the Windows side.
#pragma once

#include <cstdint>

#include "scsi/AspiTypes.h"

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

class PassThroughRequest {
public:
    enum {
        kMaxTransfer = 65536, // the downloader writes 63,490 bytes in one command
        kSenseCapacity = 256, // SRB_SenseLen is one byte
        // The pass-through time-outs by kind of command, for a caller that set none with
        // SC_GETSET_TIMEOUTS. The system may be unable to take back a command it already
        // gave the drive: until the time-out the drive stays blocked, whatever the caller
        // does. Each is longer than the downloader waits for such a command (7.2 s for
        // most, 30 s for an eject, 9,000 s for the firmware write), so that its own wait
        // always ends first, and not much longer.
        kCommandSeconds = 15,
        kMediumSeconds = 45,         // START STOP UNIT, LOAD/UNLOAD MEDIUM
        kFirmwareSeconds = 9060,     // data out with WRITE BUFFER or a vendor operation code
        kMaxTimeoutSeconds = 108000, // the most SCSI_PASS_THROUGH.TimeOutValue takes: 30 h
    };
    // DataIn of the header.
    enum : uint8_t { kDataOut = 0, kDataIn = 1, kDataNone = 2 };
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

    // Checks the execute block and builds the request buffer, data-out bytes copied in,
    // with the caller's time-out in seconds (0: DefaultTimeout). 1 ready; 0 with refusal set:
    // SS_INVALID_SRB for a command length other than 6, 10, 12 or 16, both direction bits, a null
    // buffer with a length, or data without direction bits for an operation code of unknown
    // direction; SS_BUFFER_TO_BIG above kMaxTransfer; SS_INSUFFICIENT_RESOURCES when no buffer
    // could be had.
    int Build(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds);
    uint32_t TimeoutSeconds() const { return timeoutSeconds; }
    // The pass-through time-out of a command by its kind (see kCommandSeconds).
    static uint32_t DefaultTimeout(uint8_t opcode, uint8_t direction);
    uint8_t Direction() const { return direction; }
    uint8_t* Buffer() { return buffer; }
    uint32_t BufferSize() const { return bufferSize; }

    // Writes the outcome into the block. ioError 0: the pass-through call succeeded and
    // the header in the buffer holds SCSI status, sense length and transferred length.
    //  - GOOD: SS_COMP; a short transfer sets SRB_HaStat HASTAT_DO_DU.
    //  - CHECK CONDITION: SS_ERR, SRB_TargStat 02, the sense bytes into SenseArea (at most
    //    SRB_SenseLen of them); another SCSI status: SS_ERR with it in SRB_TargStat.
    //  - ioError kErrorOperationAborted: SS_ABORTED; kErrorSemTimeout or kErrorTimeout:
    //    SS_ERR with HASTAT_COMMAND_TIMEOUT; any other error: SS_ERR, both statuses 0.
    //  - elapsedMs at or past the time-out with GOOD: a time-out too. Wine passes a Linux
    //    SG_IO that timed out back as success with SCSI status 0 (it does not look at the
    //    host status); Windows fails such a call with ERROR_SEM_TIMEOUT.
    // Data in goes into SRB_BufPointer (never beyond SRB_BufLen as it was at Build); with
    // SRB_ENABLE_RESIDUAL_COUNT, SRB_BufLen becomes the residual count. SRB_Status is
    // written last, behind a barrier.
    void Complete(SRB_ExecSCSICmd* srb, uint32_t ioError, uint32_t elapsedMs) const;
    // Writes only SRB_HaStat, SRB_TargStat and SS_ABORTED (the layer gave up waiting).
    static void CompleteAborted(SRB_ExecSCSICmd* srb);
    // Writes a final SRB_Status behind a barrier.
    static void StoreStatus(SRB_ExecSCSICmd* srb, uint8_t status);

    // The data direction of an operation code where the command set fixes it: kDataIn,
    // kDataOut, or kDataNone when unknown.
    static uint8_t OpcodeDirection(uint8_t opcode);

    uint8_t refusal;

private:
    uint8_t* buffer;
    uint32_t bufferSize;
    uint32_t dataOffset;
    uint8_t direction;
    uint8_t flags;
    uint32_t timeoutSeconds;
    uint8_t senseLength;
    uint32_t dataLength;
    uint8_t* callerData;
};

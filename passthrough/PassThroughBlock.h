// An ASPI execute block as a pass-through layer takes it and gives it back: the checks on
// the block, the direction and time-out of its command, and how the system's end of the
// command is written back into the block. Shared by our WNASPI32.dll (PassThroughRequest,
// over Windows' SCSI pass-through) and the Linux program's layer over SG_IO (SgRequest).
// Free of system headers.
#pragma once

#include <cstdint>

#include "scsi/AspiTypes.h"

// How the system ended one pass-through command.
struct PassThroughEnd {
    enum Kind : uint8_t {
        kCompleted, // the target ended it: scsiStatus, transferred and the sense say how
        kTimedOut,  // the pass-through's time-out passed before the target ended it
        kCancelled, // the request was cancelled
        kFailed,    // the system could not run the command (refused, no device, no memory)
    };
    Kind kind;
    // kFailed: the host adapter's word for it (HASTAT_), HASTAT_OK when it has none.
    uint8_t hostStatus;
    uint8_t scsiStatus;
    // Data bytes moved as the system reports them; never taken beyond what was asked.
    uint32_t transferred;
    // Where the system put the data in: the layer's own buffer, copied into the caller's.
    const uint8_t* dataIn;
    const uint8_t* sense;
    uint32_t senseLength;
};

class PassThroughBlock {
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
        kMaxTimeoutSeconds = 108000, // the most either system takes: 30 h
    };
    enum : uint8_t { kDataOut = 0, kDataIn = 1, kDataNone = 2 };

    PassThroughBlock();

    // Checks the execute block and takes what the command needs from it, with the
    // caller's time-out in seconds (0: DefaultTimeout). True when taken; false with refusal set:
    // SS_INVALID_SRB for a command length other than 6, 10, 12 or 16, both direction bits,
    // a null buffer with a length, or data without direction bits for an operation code of
    // unknown direction; SS_BUFFER_TO_BIG above kMaxTransfer.
    bool Take(const SRB_ExecSCSICmd& srb, uint32_t timeoutSeconds);
    uint8_t Direction() const { return direction; }
    uint32_t TimeoutSeconds() const { return timeoutSeconds; }
    uint32_t DataLength() const { return dataLength; }
    uint8_t SenseLength() const { return senseLength; }
    uint8_t CdbLength() const { return cdbLength; }
    const uint8_t* Cdb() const { return cdb; }
    // The caller's buffer: data out is read from it when the request is built.
    const uint8_t* CallerData() const { return callerData; }

    // The pass-through time-out of a command by its kind (see kCommandSeconds).
    static uint32_t DefaultTimeout(uint8_t opcode, uint8_t direction);
    // The data direction of an operation code where the command set fixes it: kDataIn,
    // kDataOut, or kDataNone when unknown.
    static uint8_t OpcodeDirection(uint8_t opcode);

    // Writes the end into the block:
    //  - completed GOOD: SS_COMP; a short transfer sets SRB_HaStat HASTAT_DO_DU.
    //  - completed CHECK CONDITION: SS_ERR, SRB_TargStat 02, the sense bytes into SenseArea
    //    (at most SRB_SenseLen of them); another SCSI status: SS_ERR with it in SRB_TargStat.
    //  - cancelled: SS_ABORTED; timed out: SS_ERR with HASTAT_COMMAND_TIMEOUT; failed:
    //    SS_ERR with the end's host status and target status 0.
    // Data in goes into SRB_BufPointer (never beyond SRB_BufLen as it was when taken); with
    // SRB_ENABLE_RESIDUAL_COUNT, SRB_BufLen becomes the residual count. SRB_Status is
    // written last, behind a barrier.
    void Complete(SRB_ExecSCSICmd* srb, const PassThroughEnd& end) const;
    // Writes only SRB_HaStat, SRB_TargStat and SS_ABORTED (the layer gave up waiting).
    static void CompleteAborted(SRB_ExecSCSICmd* srb);
    // Writes a final SRB_Status behind a barrier.
    static void StoreStatus(SRB_ExecSCSICmd* srb, uint8_t status);

    // Why the last Take or Build refused the block; SS_PENDING when it did not.
    uint8_t Refusal() const { return refusal; }

protected:
    uint8_t refusal;

private:
    uint8_t direction;
    uint8_t flags;
    uint8_t senseLength;
    uint8_t cdbLength;
    uint8_t cdb[16];
    uint32_t timeoutSeconds;
    uint32_t dataLength;
    uint8_t* callerData;
};

// The execute block's side of a pass-through: its checks, its command's direction and
// time-out, and the end written back.
#include "PassThroughBlock.h"

#include <atomic>
#include <cstring>

#include "scsi/ScsiCodes.h"

PassThroughBlock::PassThroughBlock()
    : refusal(SS_PENDING), direction(kDataNone), flags(0), senseLength(0), cdbLength(0), cdb{},
      timeoutSeconds(0), dataLength(0), callerData(nullptr)
{
}

// Operation codes of the block, multimedia and primary command sets whose data phase
// has one direction. Vendor-specific codes are not guessed.
uint8_t PassThroughBlock::OpcodeDirection(uint8_t opcode)
{
    switch (opcode) {
    case 0x03: // REQUEST SENSE
    case 0x08: // READ(6)
    case ScsiOp::kInquiry:
    case 0x1A: // MODE SENSE(6)
    case 0x23: // READ FORMAT CAPACITIES
    case 0x25: // READ CAPACITY
    case 0x28: // READ(10)
    case 0x3C: // READ BUFFER
    case 0x42: // READ SUB-CHANNEL
    case 0x43: // READ TOC/PMA/ATIP
    case 0x46: // GET CONFIGURATION
    case 0x4A: // GET EVENT STATUS NOTIFICATION
    case 0x4D: // LOG SENSE
    case 0x51: // READ DISC INFORMATION
    case 0x52: // READ TRACK INFORMATION
    case 0x5A: // MODE SENSE(10)
    case 0xA4: // REPORT KEY
    case 0xA8: // READ(12)
    case 0xAD: // READ DISC STRUCTURE
    case 0xB9: // READ CD MSF
    case 0xBE: // READ CD
        return kDataIn;
    case 0x04: // FORMAT UNIT
    case 0x0A: // WRITE(6)
    case 0x15: // MODE SELECT(6)
    case 0x2A: // WRITE(10)
    case 0x2E: // WRITE AND VERIFY(10)
    case ScsiOp::kWriteBuffer:
    case 0x55: // MODE SELECT(10)
    case 0x5D: // SEND CUE SHEET
    case 0xA3: // SEND KEY
    case 0xAA: // WRITE(12)
    case 0xBF: // SEND DISC STRUCTURE
        return kDataOut;
    }
    return kDataNone;
}

uint32_t PassThroughBlock::DefaultTimeout(uint8_t opcode, uint8_t direction)
{
    if (direction == kDataOut && (opcode == ScsiOp::kWriteBuffer || opcode >= ScsiOp::kFirstVendor))
        return kFirmwareSeconds;
    if (opcode == ScsiOp::kStartStopUnit || opcode == ScsiOp::kLoadUnloadMedium)
        return kMediumSeconds;
    return kCommandSeconds;
}

bool PassThroughBlock::Take(const SRB_ExecSCSICmd& srb, uint32_t callerSeconds)
{
    refusal = SS_PENDING;
    uint8_t length = srb.SRB_CDBLen;
    if (length != 6 && length != 10 && length != 12 && length != 16) {
        refusal = SS_INVALID_SRB;
        return false;
    }
    if (srb.SRB_BufLen > kMaxTransfer) {
        refusal = SS_BUFFER_TO_BIG;
        return false;
    }
    if (srb.SRB_BufLen > 0 && srb.SRB_BufPointer == nullptr) {
        refusal = SS_INVALID_SRB;
        return false;
    }
    switch (srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT)) {
    case SRB_DIR_IN:
        direction = kDataIn;
        break;
    case SRB_DIR_OUT:
        direction = kDataOut;
        break;
    case SRB_DIR_IN | SRB_DIR_OUT:
        refusal = SS_INVALID_SRB;
        return false;
    default:
        direction = srb.SRB_BufLen > 0 ? OpcodeDirection(srb.CDBByte[0]) : uint8_t(kDataNone);
        if (srb.SRB_BufLen > 0 && direction == kDataNone) {
            refusal = SS_INVALID_SRB;
            return false;
        }
    }
    if (srb.SRB_BufLen == 0)
        direction = kDataNone;

    flags = srb.SRB_Flags;
    timeoutSeconds = callerSeconds != 0 ? callerSeconds : DefaultTimeout(srb.CDBByte[0], direction);
    if (timeoutSeconds > kMaxTimeoutSeconds)
        timeoutSeconds = kMaxTimeoutSeconds;
    senseLength = srb.SRB_SenseLen;
    cdbLength = length;
    std::memcpy(cdb, srb.CDBByte, length);
    dataLength = srb.SRB_BufLen;
    callerData = srb.SRB_BufPointer;
    return true;
}

void PassThroughBlock::StoreStatus(SRB_ExecSCSICmd* srb, uint8_t status)
{
    // A caller polls SRB_Status or waits for its event and then reads the rest of the
    // block: everything else must be visible before the status changes.
    std::atomic_thread_fence(std::memory_order_release);
    *reinterpret_cast<volatile uint8_t*>(&srb->SRB_Status) = status;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void PassThroughBlock::CompleteAborted(SRB_ExecSCSICmd* srb)
{
    srb->SRB_HaStat = HASTAT_OK;
    srb->SRB_TargStat = 0;
    StoreStatus(srb, SS_ABORTED);
}

void PassThroughBlock::Complete(SRB_ExecSCSICmd* srb, const PassThroughEnd& end) const
{
    uint8_t status = SS_ERR;
    uint8_t hostStatus = HASTAT_OK;
    uint8_t targetStatus = 0;
    uint32_t transferred = 0;
    switch (end.kind) {
    case PassThroughEnd::kCancelled:
        status = SS_ABORTED;
        break;
    case PassThroughEnd::kTimedOut:
        hostStatus = HASTAT_COMMAND_TIMEOUT;
        break;
    case PassThroughEnd::kFailed:
        hostStatus = end.hostStatus;
        break;
    case PassThroughEnd::kCompleted:
        targetStatus = end.scsiStatus;
        // A driver reports what moved; never more than was asked for.
        transferred = end.transferred < dataLength ? end.transferred : dataLength;
        if (direction == kDataIn && transferred > 0 && end.dataIn != nullptr)
            std::memcpy(callerData, end.dataIn, transferred);
        if (targetStatus == ScsiStatus::kGood) {
            status = SS_COMP;
            if (transferred < dataLength)
                hostStatus = HASTAT_DO_DU;
        } else if (targetStatus == ScsiStatus::kCheckCondition && end.sense != nullptr) {
            uint32_t count = end.senseLength < senseLength ? end.senseLength : senseLength;
            std::memcpy(srb->SenseArea, end.sense, count);
        }
        break;
    }
    srb->SRB_HaStat = hostStatus;
    srb->SRB_TargStat = targetStatus;
    if (flags & SRB_ENABLE_RESIDUAL_COUNT)
        srb->SRB_BufLen = dataLength - transferred;
    StoreStatus(srb, status);
}

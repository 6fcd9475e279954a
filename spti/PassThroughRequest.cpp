// The checks on an execute block, its pass-through request buffer, the time-out by kind
// of command, and the result written back into the block.
#include "PassThroughRequest.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "scsi/ScsiCodes.h"

namespace {

// The data area starts on an 8-byte boundary behind the header and the sense area.
const uint32_t kSenseOffset = static_cast<uint32_t>(sizeof(PassThroughHeader));
const uint32_t kDataOffset =
    (kSenseOffset + PassThroughRequest::kSenseCapacity + 7u) & ~static_cast<uint32_t>(7u);

} // namespace

PassThroughRequest::PassThroughRequest()
    : refusal(SS_PENDING), buffer(nullptr), bufferSize(0), dataOffset(kDataOffset),
      direction(kDataNone), flags(0), timeoutSeconds(0), senseLength(0), dataLength(0),
      callerData(nullptr)
{
}

PassThroughRequest::~PassThroughRequest()
{
    std::free(buffer);
}

// Operation codes of the block, multimedia and primary command sets whose data phase
// has one direction. Vendor-specific codes are not guessed.
uint8_t PassThroughRequest::OpcodeDirection(uint8_t opcode)
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

uint32_t PassThroughRequest::DefaultTimeout(uint8_t opcode, uint8_t direction)
{
    if (direction == kDataOut && (opcode == ScsiOp::kWriteBuffer || opcode >= ScsiOp::kFirstVendor))
        return kFirmwareSeconds;
    if (opcode == ScsiOp::kStartStopUnit || opcode == ScsiOp::kLoadUnloadMedium)
        return kMediumSeconds;
    return kCommandSeconds;
}

int PassThroughRequest::Build(const SRB_ExecSCSICmd& srb, uint32_t callerSeconds)
{
    refusal = SS_PENDING;
    uint8_t cdbLength = srb.SRB_CDBLen;
    if (cdbLength != 6 && cdbLength != 10 && cdbLength != 12 && cdbLength != 16) {
        refusal = SS_INVALID_SRB;
        return 0;
    }
    if (srb.SRB_BufLen > kMaxTransfer) {
        refusal = SS_BUFFER_TO_BIG;
        return 0;
    }
    if (srb.SRB_BufLen > 0 && srb.SRB_BufPointer == nullptr) {
        refusal = SS_INVALID_SRB;
        return 0;
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
        return 0;
    default:
        direction = srb.SRB_BufLen > 0 ? OpcodeDirection(srb.CDBByte[0]) : uint8_t(kDataNone);
        if (srb.SRB_BufLen > 0 && direction == kDataNone) {
            refusal = SS_INVALID_SRB;
            return 0;
        }
    }
    if (srb.SRB_BufLen == 0)
        direction = kDataNone;

    std::free(buffer);
    bufferSize = dataOffset + srb.SRB_BufLen;
    buffer = static_cast<uint8_t*>(std::calloc(bufferSize, 1));
    if (buffer == nullptr) {
        bufferSize = 0;
        refusal = SS_INSUFFICIENT_RESOURCES;
        return 0;
    }
    flags = srb.SRB_Flags;
    timeoutSeconds = callerSeconds != 0 ? callerSeconds : DefaultTimeout(srb.CDBByte[0], direction);
    if (timeoutSeconds > kMaxTimeoutSeconds)
        timeoutSeconds = kMaxTimeoutSeconds;
    senseLength = srb.SRB_SenseLen;
    dataLength = srb.SRB_BufLen;
    callerData = srb.SRB_BufPointer;

    PassThroughHeader header;
    std::memset(&header, 0, sizeof header);
    header.Length = static_cast<uint16_t>(sizeof header);
    header.CdbLength = cdbLength;
    header.SenseInfoLength = senseLength;
    header.DataIn = direction;
    header.DataTransferLength = dataLength;
    header.TimeOutValue = timeoutSeconds;
    header.DataBufferOffset = dataOffset;
    header.SenseInfoOffset = kSenseOffset;
    std::memcpy(header.Cdb, srb.CDBByte, cdbLength);
    std::memcpy(buffer, &header, sizeof header);
    if (direction == kDataOut)
        std::memcpy(buffer + dataOffset, callerData, dataLength);
    return 1;
}

void PassThroughRequest::StoreStatus(SRB_ExecSCSICmd* srb, uint8_t status)
{
    // A caller polls SRB_Status or waits for its event and then reads the rest of the
    // block: everything else must be visible before the status changes.
    std::atomic_thread_fence(std::memory_order_release);
    *reinterpret_cast<volatile uint8_t*>(&srb->SRB_Status) = status;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void PassThroughRequest::CompleteAborted(SRB_ExecSCSICmd* srb)
{
    srb->SRB_HaStat = HASTAT_OK;
    srb->SRB_TargStat = 0;
    StoreStatus(srb, SS_ABORTED);
}

void PassThroughRequest::Complete(SRB_ExecSCSICmd* srb, uint32_t ioError, uint32_t elapsedMs) const
{
    uint8_t status = SS_ERR;
    uint8_t hostStatus = HASTAT_OK;
    uint8_t targetStatus = 0;
    uint32_t transferred = 0;
    if (ioError == kErrorOperationAborted) {
        status = SS_ABORTED;
    } else if (ioError == kErrorSemTimeout || ioError == kErrorTimeout) {
        hostStatus = HASTAT_COMMAND_TIMEOUT;
    } else if (ioError == 0 && buffer != nullptr) {
        PassThroughHeader header;
        std::memcpy(&header, buffer, sizeof header);
        targetStatus = header.ScsiStatus;
        if (targetStatus == ScsiStatus::kGood && elapsedMs / 1000 >= timeoutSeconds) {
            hostStatus = HASTAT_COMMAND_TIMEOUT;
        } else {
            // A driver reports what moved; never more than was asked for.
            transferred =
                header.DataTransferLength < dataLength ? header.DataTransferLength : dataLength;
            if (direction == kDataIn && transferred > 0)
                std::memcpy(callerData, buffer + dataOffset, transferred);
        }
        if (targetStatus == ScsiStatus::kGood && hostStatus == HASTAT_OK) {
            status = SS_COMP;
            if (transferred < dataLength)
                hostStatus = HASTAT_DO_DU;
        } else if (targetStatus == ScsiStatus::kCheckCondition) {
            uint32_t senseCount =
                header.SenseInfoLength < senseLength ? header.SenseInfoLength : senseLength;
            std::memcpy(srb->SenseArea, buffer + kSenseOffset, senseCount);
        }
    }
    srb->SRB_HaStat = hostStatus;
    srb->SRB_TargStat = targetStatus;
    if (flags & SRB_ENABLE_RESIDUAL_COUNT)
        srb->SRB_BufLen = dataLength - transferred;
    StoreStatus(srb, status);
}

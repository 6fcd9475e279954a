// The buffered pass-through request of our WNASPI32.dll: its buffer, and the driver's
// answer read back into the block.
#include "PassThroughRequest.h"

#include <cstdlib>
#include <cstring>

#include "scsi/ScsiCodes.h"

namespace {

// The data area starts on an 8-byte boundary behind the header and the sense area.
const uint32_t kSenseOffset = static_cast<uint32_t>(sizeof(PassThroughHeader));
const uint32_t kDataOffset =
    (kSenseOffset + PassThroughRequest::kSenseCapacity + 7u) & ~static_cast<uint32_t>(7u);

} // namespace

PassThroughRequest::PassThroughRequest() : buffer(nullptr), bufferSize(0), ioError(0), elapsedMs(0)
{
}

PassThroughRequest::~PassThroughRequest()
{
    std::free(buffer);
}

bool PassThroughRequest::Build(const SRB_ExecSCSICmd& srb, uint32_t callerSeconds)
{
    if (!Take(srb, callerSeconds))
        return false;
    std::free(buffer);
    bufferSize = kDataOffset + DataLength();
    buffer = static_cast<uint8_t*>(std::calloc(bufferSize, 1));
    if (buffer == nullptr) {
        bufferSize = 0;
        refusal = SS_INSUFFICIENT_RESOURCES;
        return false;
    }

    PassThroughHeader header;
    std::memset(&header, 0, sizeof header);
    header.Length = static_cast<uint16_t>(sizeof header);
    header.CdbLength = CdbLength();
    header.SenseInfoLength = SenseLength();
    header.DataIn = Direction();
    header.DataTransferLength = DataLength();
    header.TimeOutValue = TimeoutSeconds();
    header.DataBufferOffset = kDataOffset;
    header.SenseInfoOffset = kSenseOffset;
    std::memcpy(header.Cdb, Cdb(), CdbLength());
    std::memcpy(buffer, &header, sizeof header);
    if (Direction() == kDataOut)
        std::memcpy(buffer + kDataOffset, CallerData(), DataLength());
    return true;
}

void PassThroughRequest::Complete(SRB_ExecSCSICmd* srb) const
{
    PassThroughEnd end = {};
    end.kind = PassThroughEnd::kFailed;
    if (ioError == kErrorOperationAborted) {
        end.kind = PassThroughEnd::kCancelled;
    } else if (ioError == kErrorSemTimeout || ioError == kErrorTimeout) {
        end.kind = PassThroughEnd::kTimedOut;
    } else if (ioError == 0 && buffer != nullptr) {
        PassThroughHeader header;
        std::memcpy(&header, buffer, sizeof header);
        end.kind = PassThroughEnd::kCompleted;
        end.scsiStatus = header.ScsiStatus;
        end.transferred = header.DataTransferLength;
        end.dataIn = buffer + kDataOffset;
        end.sense = buffer + kSenseOffset;
        end.senseLength = header.SenseInfoLength;
        if (header.ScsiStatus == ScsiStatus::kGood && elapsedMs / 1000 >= TimeoutSeconds())
            end.kind = PassThroughEnd::kTimedOut;
    }
    PassThroughBlock::Complete(srb, end);
}

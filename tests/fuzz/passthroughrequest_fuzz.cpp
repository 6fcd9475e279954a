// Arbitrary execute blocks through the pass-through translation, and arbitrary driver
// answers back into them. The caller's buffer is exactly SRB_BufLen bytes long, so that
// AddressSanitizer sees any write beyond it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PassThroughRequest.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t Byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | uint32_t(Byte()) << 24; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in = {data, size};
    // The block with room for every sense length behind it, as ASPI callers must give.
    std::vector<uint8_t> block(sizeof(SRB_ExecSCSICmd) + 256);
    SRB_ExecSCSICmd* srb = reinterpret_cast<SRB_ExecSCSICmd*>(block.data());
    srb->SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb->SRB_Flags = in.Byte();
    srb->SRB_CDBLen = in.Byte();
    srb->SRB_SenseLen = in.Byte();
    uint32_t length = in.Word() % 70000;
    srb->SRB_BufLen = length;
    for (uint8_t& b : srb->CDBByte)
        b = in.Byte();
    uint8_t* caller =
        length > 0 && (in.Byte() & 7) != 0 ? static_cast<uint8_t*>(std::malloc(length)) : nullptr;
    if (caller != nullptr)
        std::memset(caller, 0xA5, length);
    srb->SRB_BufPointer = caller;

    PassThroughRequest request;
    if (!request.Build(*srb, 0)) {
        if (request.Refusal() == SS_PENDING)
            std::abort();
        std::free(caller);
        return 0;
    }
    PassThroughHeader header;
    std::memcpy(&header, request.Buffer(), sizeof header);
    if (header.DataTransferLength != length ||
        header.DataBufferOffset + length != request.BufferSize())
        std::abort();
    header.ScsiStatus = in.Byte();
    header.SenseInfoLength = in.Byte();
    header.DataTransferLength = in.Word();
    std::memcpy(request.Buffer(), &header, sizeof header);
    const uint32_t errors[] = {0, 0, 0, 995, 121, 1460, 5, 1117};
    uint32_t ioError = errors[in.Byte() % (sizeof errors / sizeof errors[0])];
    request.Ended(ioError, 0);
    request.Complete(srb);

    uint8_t status = srb->SRB_Status;
    if (status != SS_COMP && status != SS_ERR && status != SS_ABORTED)
        std::abort();
    if (srb->SRB_BufLen > length)
        std::abort();
    std::free(caller);
    return 0;
}

// The simulated drive's scenario text, arbitrary: it must parse or be refused with a
// reason, and a bus it accepts must answer the downloader's commands on every address
// without reading or writing outside the request block and its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DriveModel.h"

namespace {

const uint8_t kCommands[][12] = {
    {0x12, 0, 0, 0, 0x24},                         // discovery INQUIRY
    {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, // protocol probe
    {0x1E, 0, 0, 0, 2},                            // PREVENT ALLOW MEDIUM REMOVAL
    {0x1B, 0, 0, 0, 2},                            // unload
    {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40}, // firmware write
    {0x1B, 0, 0, 0, 3},                            // load
    {0x00},                                        // TEST UNIT READY
};
const uint32_t kLengths[] = {36, 0, 0, 0, 63490, 0, 0};
const uint8_t kDirections[] = {0x48, 0x48, 0x48, 0x48, 0x50, 0x48, 0x48};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    DriveModel model;
    if (!model.Configure(text.c_str())) {
        if (model.LastError()[0] == '\0')
            std::abort(); // a refusal always says why
        return 0;
    }
    // Each buffer is a heap block of exactly the transfer length.
    for (int adapter = 0; adapter < 2; ++adapter) {
        for (int target = 0; target < 3; ++target) {
            for (size_t c = 0; c < sizeof kLengths / sizeof kLengths[0]; ++c) {
                std::vector<uint8_t> buffer(kLengths[c] + 1, 0x5A);
                SRB_ExecSCSICmd srb;
                std::memset(&srb, 0, sizeof srb);
                srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
                srb.SRB_HaId = static_cast<uint8_t>(adapter);
                srb.SRB_Flags = kDirections[c];
                srb.SRB_Target = static_cast<uint8_t>(target);
                srb.SRB_BufLen = kLengths[c];
                srb.SRB_BufPointer = buffer.data();
                srb.SRB_SenseLen = ASPI_SENSE_LEN;
                srb.SRB_CDBLen = 12;
                std::memcpy(srb.CDBByte, kCommands[c], 12);
                SimSubmission submission;
                if (model.Accept(&srb, submission) == SS_PENDING)
                    DriveModel::DeliverCompletion(&srb, submission);
                if (buffer[kLengths[c]] != 0x5A)
                    std::abort(); // written past the transfer length
            }
        }
    }
    return 0;
}

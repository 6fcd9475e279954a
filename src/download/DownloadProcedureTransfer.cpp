// The transfer command, on the worker: the payload in the device's buffer and the one
// write that sends it.
#include <cstring>

#include "cmdtext/FormatCommand.h"
#include "download/DownloadProcedure.h"

namespace {

const uint32_t kCodeBytes = 0xF800; // image bytes 0x0800 to 0xFFFF

} // namespace

// The payload is the code part of the image followed by its 16-bit sum, low byte first.
int DownloadProcedure::Transfer(int verifyTransfer)
{
    ScsiDevice& drive = *device;
    firmware.transferCheckSum = firmware.ComputeTransferCheckSum();
    std::memcpy(drive.dataBuffer, firmware.image + FirmwareImage::kCodeOffset, kCodeBytes);
    drive.dataBuffer[kCodeBytes] = static_cast<uint8_t>(firmware.transferCheckSum & 0xFF);
    drive.dataBuffer[kCodeBytes + 1] = static_cast<uint8_t>(firmware.transferCheckSum >> 8);

    if (firmware.driveDescriptor.protocolType40 != 1)
        return kTransferFailed;
    FormatCommand(drive, "CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490", 9000);
    if (!verifyTransfer) {
        drive.ExecuteCommand();
        return kTransferUnverified;
    }
    return drive.ExecuteCommand() ? kTransferDone : kTransferFailed;
}

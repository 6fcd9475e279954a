// The transfer command, on the worker: the payload in the device's buffer and the one
// write that sends it.
#include <cstring>

#include "download/DownloadProcedure.h"
#include "download/DriveCommands.h"

// The payload is the code part of the image followed by its 16-bit sum, low byte first.
DownloadProcedure::TransferResult DownloadProcedure::Transfer(bool verifyTransfer)
{
    ScsiDevice& drive = *device;
    firmware.transferCheckSum = firmware.ComputeTransferCheckSum();
    uint8_t* payload = drive.DataBuffer();
    std::memcpy(payload, firmware.image + FirmwareImage::kCodeOffset, FirmwareImage::kCodeBytes);
    payload[FirmwareImage::kCodeBytes] = static_cast<uint8_t>(firmware.transferCheckSum & 0xFF);
    payload[FirmwareImage::kCodeBytes + 1] = static_cast<uint8_t>(firmware.transferCheckSum >> 8);

    if (firmware.driveDescriptor.protocolType40 != 1)
        return kTransferFailed;
    bool written =
        DriveCommands::WriteFirmware(drive, FirmwareImage::kPayloadBytes, kWriteTimeoutSeconds);
    if (!verifyTransfer)
        return kTransferUnverified;
    return written ? kTransferDone : kTransferFailed;
}

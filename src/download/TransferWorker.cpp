// Talking to the drive for the download itself: preparing a drive for it, and the
// worker thread that sends the firmware in one command.
#include <windows.h>

#include <cstring>

#include "cmdtext/FormatCommand.h"
#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "scsi/SenseData.h"
#include "trace/Trace.h"

namespace {

// A drive stuck in UNIT ATTENTION would otherwise hold the host's window for ever.
const int kMaxUnloadExecutions = 32;

const uint32_t kCodeBytes = 0xF800; // image bytes 0x0800 to 0xFFFF
// Without verification the drive is given this long to write its flash.
const DWORD kUnverifiedFlashMs = 8500;

} // namespace

int Downloader::PrepareDrive()
{
    ProductDescriptor& drive = firmware.driveDescriptor;
    drive.protocolType40 = 0;
    if (device == nullptr)
        return 0;
    FormatCommand(*device, "CB 0 1 0 0 0 0 F8 02 0 40");
    if (device->ExecuteCommand())
        drive.protocolType40 = 1;
    if (drive.protocolType40 == 0)
        return 0;

    FormatCommand(*device, "1e 0 0 0 2");
    device->ExecuteCommand();

    // The unload is run again, unchanged, for as long as the drive reports UNIT
    // ATTENTION (a medium change or reset it wants to tell about first).
    FormatCommand(*device, "1B 0 0 0 2 /t30");
    for (int i = 0; i < kMaxUnloadExecutions; ++i) {
        int result = device->ExecuteCommand();
        if (result != 0)
            return result;
        device->ExtractSense();
        if (device->senseKey != SenseData::kUnitAttention)
            return 0;
    }
    return 0;
}

// The payload is the code part of the image followed by its 16-bit sum, low byte first.
DWORD WINAPI TransferWorker(LPVOID)
{
    // Not through currentDownloader: a Destroy may have detached the instance before
    // this thread got to run.
    Downloader* downloader = instanceLifetime.TransferInstance();
    HWND disabledWindow = downloader->disabledWindow;
    EnableWindow(disabledWindow, FALSE);

    FirmwareImage& firmware = downloader->firmware;
    ScsiDevice& device = *downloader->device;
    firmware.transferCheckSum =
        FirmwareImage::SumBytes(firmware.image + FirmwareImage::kCodeOffset, kCodeBytes);
    std::memcpy(device.dataBuffer, firmware.image + FirmwareImage::kCodeOffset, kCodeBytes);
    device.dataBuffer[kCodeBytes] = static_cast<uint8_t>(firmware.transferCheckSum & 0xFF);
    device.dataBuffer[kCodeBytes + 1] = static_cast<uint8_t>(firmware.transferCheckSum >> 8);

    LONG result = 0;
    if (firmware.driveDescriptor.protocolType40 == 1) {
        FormatCommand(device, "CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490", 9000);
        if (downloader->verifyTransfer) {
            result = device.ExecuteCommand();
        } else {
            device.ExecuteCommand();
            Sleep(kUnverifiedFlashMs);
            result = 1;
        }
    }
    Trace::Line("transfer: result %ld, payload sum %04X", static_cast<long>(result),
                static_cast<unsigned>(firmware.transferCheckSum));
    instanceLifetime.EndTransfer(downloader, result, disabledWindow);
    return 1;
}

// The downloader's drive commands as the product's command lines.
#include "download/DriveCommands.h"

#include "cmdtext/FormatCommand.h"
#include "image/FirmwareImage.h"

namespace DriveCommands {

bool Inquiry(ScsiDevice& device)
{
    FormatCommand(device, "12 0 0 0 D'46 /R46");
    return device.ExecuteCommand();
}

bool ProbeDownloadProtocol(ScsiDevice& device)
{
    FormatCommand(device, "CB 0 1 0 0 0 0 W(D'%D) 0 40", FirmwareImage::kPayloadBytes);
    return device.ExecuteCommand();
}

bool PreventMediumRemoval(ScsiDevice& device)
{
    FormatCommand(device, "1E 0 0 0 2");
    return device.ExecuteCommand();
}

bool AllowMediumRemoval(ScsiDevice& device)
{
    FormatCommand(device, "1E 0 0 0 0");
    return device.ExecuteCommand();
}

bool UnloadMedium(ScsiDevice& device)
{
    FormatCommand(device, "1B 0 0 0 2 /T30");
    return device.ExecuteCommand();
}

bool LoadMedium(ScsiDevice& device)
{
    FormatCommand(device, "1B 0 0 0 3");
    return device.ExecuteCommand();
}

bool TestUnitReady(ScsiDevice& device)
{
    FormatCommand(device, "00");
    return device.ExecuteCommand();
}

bool WriteFirmware(ScsiDevice& device, uint32_t payloadLength, uint32_t timeoutSeconds)
{
    FormatCommand(device, "CB 0 4 0 0 0 0 W(D'%D) 0 40 /T%D /W%D", payloadLength, timeoutSeconds,
                  payloadLength);
    return device.ExecuteCommand();
}

} // namespace DriveCommands

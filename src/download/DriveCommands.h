// The commands the downloader sends to a drive, one function each. Each writes the
// product's own command line into the device's pending request through the command-line
// interpreter, runs it on the drive selected at that moment and says whether the drive
// completed it cleanly (GOOD, no sense, in time); the sense of a failure stays in the
// device. Free of <windows.h>.
#pragma once

#include <cstdint>

#include "scsi/ScsiDevice.h"

namespace DriveCommands {

// INQUIRY, 46 bytes in: the drive is there and answers.
bool Inquiry(ScsiDevice& device);
// The download protocol's probe (vendor command CBh, operation 1, the payload's length in
// bytes 7 and 8): GOOD from a drive that takes the protocol; any other drive refuses it.
bool ProbeDownloadProtocol(ScsiDevice& device);
// PREVENT ALLOW MEDIUM REMOVAL with byte 4 = 2: the tray stays shut while the flash is
// written.
bool PreventMediumRemoval(ScsiDevice& device);
// PREVENT ALLOW MEDIUM REMOVAL with byte 4 = 0: the tray may open again. Not one of the
// product's: rvxflash for Linux sends it when it is stopped before the write.
bool AllowMediumRemoval(ScsiDevice& device);
// START STOP UNIT with LoEj set and Start clear: ejects the medium (up to 30 s).
bool UnloadMedium(ScsiDevice& device);
// START STOP UNIT with LoEj and Start set: loads the medium, the first command the new
// firmware must answer.
bool LoadMedium(ScsiDevice& device);
bool TestUnitReady(ScsiDevice& device);
// The download protocol's write (operation 4): payloadLength bytes of the device's buffer
// out, in bytes 7 and 8 too, waiting up to timeoutSeconds for the flash to be written.
bool WriteFirmware(ScsiDevice& device, uint32_t payloadLength, uint32_t timeoutSeconds);

} // namespace DriveCommands

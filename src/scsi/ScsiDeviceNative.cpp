// ScsiDevice on a system without ASPI for Win32 (the native build of the
// platform-neutral code): no WNASPI32.dll and no drive letters. Without a layer attached
// there are no host adapters, so every command fails at once, as with an absent
// WNASPI32.dll on Windows.
#include "scsi/ScsiDevice.h"

void ScsiDevice::BindPlatform()
{
    adapterCount = 0;
    isWindows9x = false;
}

unsigned ScsiDevice::DriveTypeOfLetter(char)
{
    return 0;
}

// ScsiDevice on a system without ASPI for Win32 (the native build of the
// platform-neutral code): there are no host adapters, so no request ever leaves the
// device and every command fails at once, as with an absent WNASPI32.dll on Windows.
#include "scsi/ScsiDevice.h"

void ScsiDevice::BindPlatform()
{
    adapterCount = 0;
    isWindows9x = 0;
}

void ScsiDevice::ReleasePlatform() {}

unsigned ScsiDevice::DriveTypeOfLetter(char)
{
    return 0;
}

int ScsiDevice::ReclaimHeldRequest()
{
    return 1;
}

int ScsiDevice::ExecuteCommand()
{
    return 0;
}

int ScsiDevice::AbortCommand()
{
    return 0;
}

// The Windows side of ScsiDevice: the Windows family, WNASPI32.dll, and the drive types
// of Windows drive letters.
#include <windows.h>

#include <cstddef>
#include <cstring>

#include "scsi/ScsiDevice.h"
#include "trace/Trace.h"

namespace {

const int kOsVersionInfoSize = 148; // sizeof(OSVERSIONINFOA)

} // namespace

void ScsiDevice::BindPlatform()
{
// ScsiDevice is not a standard-layout class, but it has no base and nothing virtual:
// offsetof gives the true place of its request block.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
    static_assert(offsetof(ScsiDevice, srb) % 4 == 0, "the request block must be word-aligned");
#pragma GCC diagnostic pop

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kOsVersionInfoSize;
    isWindows9x = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    Trace::Line("windows %lu.%lu build %lu, %s", version.dwMajorVersion, version.dwMinorVersion,
                version.dwBuildNumber & 0xFFFF, isWindows9x ? "9x" : "NT");

    // Bound at run time and by ordinal: a machine without an ASPI layer still loads the
    // library, and simply has no host adapters.
    if (!layer.Load("WNASPI32.dll")) {
        Trace::Line("aspi: WNASPI32.dll not found, no host adapters");
        return;
    }
    if (!layer.IsBound()) {
        Trace::Line("aspi: WNASPI32.dll lacks ordinal 1 or 2, no host adapters");
        return;
    }
    ReadAdapterCount();
}

unsigned ScsiDevice::DriveTypeOfLetter(char letter)
{
    char root[4] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root);
}

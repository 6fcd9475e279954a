// The drive connection and the firmware image of one instance.
#include "host/DriveContext.h"

#include <cstring>
#include <new>

DriveContext::DriveContext()
{
    std::memset(&firmware.fileDescriptor, 0, sizeof firmware.fileDescriptor);
    std::memset(&firmware.driveDescriptor, 0, sizeof firmware.driveDescriptor);
    device = new (std::nothrow) ScsiDevice(FirmwareImage::kImageBytes);
    if (device != nullptr && !device->HasBuffer()) {
        delete device;
        device = nullptr;
    }
    if (device != nullptr)
        device->DiscoverDrives();
}

DriveContext::~DriveContext()
{
    if (device != nullptr && !device->IsRequestHeld())
        delete device;
}

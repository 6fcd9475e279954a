// The drives' connection.
#include "DriveConnection.h"

namespace {

// The device's transfer buffer: the image's size, as the library asks; the device caps it
// at 65,536 bytes, which the 63,490-byte payload fits.
const int kDeviceBufferRequest = 65545;

} // namespace

DriveConnection::DriveConnection(const std::vector<int>& descriptors,
                                 const std::vector<uint8_t>& targets)
    : ioctl(descriptors), layer(ioctl, targets), device(kDeviceBufferRequest)
{
    device.AttachLayer(layer);
    device.DiscoverDrives();
}

// The drives' connection.
#include "DriveConnection.h"

#include "image/FirmwareImage.h"

DriveConnection::DriveConnection(const std::vector<int>& descriptors,
                                 const std::vector<uint8_t>& targets, const StopRequests& stop)
    : ioctl(descriptors), layer(ioctl, targets), gate(layer, stop),
      device(FirmwareImage::kImageBytes)
{
    // The device's transfer buffer is the image's size, as the library asks; the device
    // caps it at 65,536 bytes, which the payload fits.
    device.AttachLayer(gate);
    device.DiscoverDrives();
}

// Choosing the drive to flash.
#include "DriveChooser.h"

#include "base/ProductInfo.h"

bool DriveChooser::IsProduct(const CdromDevice& device)
{
    return device.vendor + device.product == KDLL_DRIVE_IDENTIFICATION;
}

const CdromDevice* DriveChooser::Choose(const std::vector<CdromDevice>& devices,
                                        const NamedDevice* named, std::string& message)
{
    if (named != nullptr) {
        if (!named->isDevice) {
            message = named->path + ": no such device";
            return nullptr;
        }
        const CdromDevice* device = CdromDevices::Match(devices, named->block, named->numbers);
        if (device == nullptr)
            message = named->path + ": not a CD-ROM drive";
        return device;
    }
    const CdromDevice* found = nullptr;
    int count = 0;
    for (const CdromDevice& device : devices) {
        if (IsProduct(device)) {
            found = &device;
            ++count;
        }
    }
    if (count == 0)
        message = "no RVX-4417K found; rvxflash list shows the CD-ROM drives, and --device "
                  "names one";
    if (count > 1)
        message = "more than one RVX-4417K: name the one to flash with --device";
    return count == 1 ? found : nullptr;
}

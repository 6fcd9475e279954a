// What sysfs may hold for SCSI devices, as rvxflash lists the CD-ROM drives: nine
// attributes a device (folder name, type, vendor, model, rev, block entry and numbers,
// generic entry and numbers), one per line. The devices are sorted in name order and
// matched by their numbers; a device taken has a name that is a file under /dev.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CdromDevices.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else
            lines.back() += static_cast<char>(data[i]);
    }
    std::vector<CdromDevice> devices;
    for (size_t at = 0; at + 9 <= lines.size(); at += 9) {
        const std::string* f = &lines[at];
        SysfsDevice read = {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
        CdromDevice device;
        if (!CdromDevices::FromSysfs(read, device))
            continue;
        if (device.blockName.empty() || device.Path().find('/', 5) != std::string::npos)
            std::abort();
        devices.push_back(device);
    }
    std::sort(devices.begin(), devices.end(), CdromDevices::InNameOrder);
    for (const CdromDevice& device : devices) {
        const CdromDevice* found = CdromDevices::Match(devices, true, device.blockNumbers);
        if (!device.blockNumbers.empty() && found == nullptr)
            std::abort();
        CdromDevices::Trimmed(device.vendor);
    }
    return 0;
}

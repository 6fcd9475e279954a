// The CD-ROM devices as sysfs shows them.
#include "CdromDevices.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char kCdromType[] = "5";
// An attribute is a line; one longer than this is no attribute the kernel wrote.
const std::streamsize kLongestAttribute = 4096;

// A sysfs attribute without its line end; empty when it cannot be read (the device went
// away meanwhile).
std::string ReadAttribute(const fs::path& path)
{
    std::ifstream in(path);
    if (!in)
        return "";
    std::string value(static_cast<size_t>(kLongestAttribute), '\0');
    in.read(&value[0], kLongestAttribute);
    value.resize(static_cast<size_t>(in.gcount()));
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

// The one entry of a folder such as block/ or scsi_generic/, and its dev attribute; both
// empty when there is none.
void OnlyEntry(const fs::path& folder, std::string& name, std::string& numbers)
{
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    if (error || entry == fs::directory_iterator())
        return;
    name = entry->path().filename().string();
    numbers = ReadAttribute(entry->path() / "dev");
}

// A name the kernel gives a device node under /dev.
bool IsNodeName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

} // namespace

namespace CdromDevices {

std::vector<CdromDevice> Find(const std::string& sysfsRoot)
{
    std::vector<CdromDevice> devices;
    std::error_code error;
    fs::directory_iterator entry(fs::path(sysfsRoot) / "class" / "scsi_device", error);
    // increment with an error code: a device deleted meanwhile ends nothing but itself.
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        fs::path device = entry->path() / "device";
        SysfsDevice read;
        read.address = entry->path().filename().string();
        read.type = ReadAttribute(device / "type");
        if (read.type != kCdromType)
            continue;
        read.vendor = ReadAttribute(device / "vendor");
        read.model = ReadAttribute(device / "model");
        read.rev = ReadAttribute(device / "rev");
        OnlyEntry(device / "block", read.blockName, read.blockNumbers);
        OnlyEntry(device / "scsi_generic", read.genericName, read.genericNumbers);
        CdromDevice found;
        if (FromSysfs(read, found))
            devices.push_back(found);
    }
    std::sort(devices.begin(), devices.end(), InNameOrder);
    return devices;
}

bool FromSysfs(const SysfsDevice& read, CdromDevice& device)
{
    // No sr driver: no device to open.
    if (read.type != kCdromType || !IsNodeName(read.blockName))
        return false;
    device = CdromDevice();
    device.address = read.address;
    // host:channel:target:lun; a target beyond ASPI's byte shows as 0.
    size_t first = read.address.find(':');
    size_t second = first == std::string::npos ? first : read.address.find(':', first + 1);
    long target = second == std::string::npos
                      ? 0
                      : std::strtol(read.address.c_str() + second + 1, nullptr, 10);
    device.target = static_cast<uint8_t>(target >= 0 && target < 256 ? target : 0);
    device.blockName = read.blockName;
    device.blockNumbers = read.blockNumbers;
    if (IsNodeName(read.genericName)) {
        device.genericName = read.genericName;
        device.genericNumbers = read.genericNumbers;
    }
    device.vendor = read.vendor;
    device.product = read.model;
    device.revision = read.rev;
    return true;
}

const CdromDevice* Match(const std::vector<CdromDevice>& devices, bool block,
                         const std::string& numbers)
{
    for (const auto& device : devices) {
        const std::string& own = block ? device.blockNumbers : device.genericNumbers;
        if (!own.empty() && numbers == own)
            return &device;
    }
    return nullptr;
}

std::string Trimmed(const std::string& text)
{
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? "" : text.substr(0, end + 1);
}

bool InNameOrder(const CdromDevice& a, const CdromDevice& b)
{
    // The number behind the letters: "sr10" reads as 10.
    auto number = [](const std::string& name) {
        size_t digits = name.find_first_of("0123456789");
        return digits == std::string::npos ? -1L : std::strtol(name.c_str() + digits, nullptr, 10);
    };
    long na = number(a.blockName), nb = number(b.blockName);
    return na != nb ? na < nb : a.blockName < b.blockName;
}

} // namespace CdromDevices

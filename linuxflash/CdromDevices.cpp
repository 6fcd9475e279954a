// The CD-ROM devices as sysfs shows them.
#include "CdromDevices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char kCdromType[] = "5";

// A sysfs attribute without its line end; empty when it cannot be read.
std::string ReadAttribute(const fs::path& path)
{
    std::ifstream in(path);
    if (!in)
        return "";
    std::stringstream text;
    text << in.rdbuf();
    std::string value = text.str();
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

// The one entry of a folder such as block/ or scsi_generic/, and its dev attribute.
bool OnlyEntry(const fs::path& folder, std::string& name, std::string& numbers)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        name = entry.path().filename().string();
        numbers = ReadAttribute(entry.path() / "dev");
        return true;
    }
    return false;
}

// sr2 before sr10.
bool ByNumber(const CdromDevice& a, const CdromDevice& b)
{
    long na = std::strtol(a.blockName.c_str() + 2, nullptr, 10);
    long nb = std::strtol(b.blockName.c_str() + 2, nullptr, 10);
    return na != nb ? na < nb : a.blockName < b.blockName;
}

} // namespace

namespace CdromDevices {

std::vector<CdromDevice> Find(const std::string& sysfsRoot)
{
    std::vector<CdromDevice> devices;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(fs::path(sysfsRoot) / "class" / "scsi_device", error)) {
        fs::path device = entry.path() / "device";
        if (ReadAttribute(device / "type") != kCdromType)
            continue;
        CdromDevice found;
        if (!OnlyEntry(device / "block", found.blockName, found.blockNumbers))
            continue; // no sr driver: no device to open
        OnlyEntry(device / "scsi_generic", found.genericName, found.genericNumbers);
        found.address = entry.path().filename().string();
        int host = 0, channel = 0, target = 0, lun = 0;
        std::sscanf(found.address.c_str(), "%d:%d:%d:%d", &host, &channel, &target, &lun);
        found.target = static_cast<uint8_t>(target >= 0 && target < 256 ? target : 0);
        found.vendor = ReadAttribute(device / "vendor");
        found.product = ReadAttribute(device / "model");
        found.revision = ReadAttribute(device / "rev");
        devices.push_back(found);
    }
    std::sort(devices.begin(), devices.end(), ByNumber);
    return devices;
}

const CdromDevice* Match(const std::vector<CdromDevice>& devices, bool block,
                         const std::string& numbers)
{
    for (const auto& device : devices) {
        if (numbers == (block ? device.blockNumbers : device.genericNumbers))
            return &device;
    }
    return nullptr;
}

std::string Trimmed(const std::string& text)
{
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? "" : text.substr(0, end + 1);
}

} // namespace CdromDevices

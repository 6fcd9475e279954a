#include "DriveSurvey.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AspiLister.h"
#include "LayerOrigin.h"
#include "base/ProductInfo.h"

namespace {

std::string AddressText(DWORD address)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lu:%lu:0", static_cast<unsigned long>(address & 0xFF),
                  static_cast<unsigned long>((address >> 8) & 0xFF));
    return text;
}

// One decimal byte of "A:T:L"; *at moves past it.
int ParseByte(const char** at, unsigned long* value)
{
    char* end = nullptr;
    if (**at < '0' || **at > '9')
        return 0;
    *value = std::strtoul(*at, &end, 10);
    *at = end;
    return *value <= 255;
}

// "A:T:L", "A:T", or a number (decimal, or hexadecimal after 0x) holding the target in
// byte 1 and the adapter in byte 0. Blanks and quotes around it are ignored.
int ParseAddress(std::string text, DWORD* address, unsigned long* lun)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '"'))
        text.pop_back();
    size_t start = text.find_first_not_of(" \"");
    text.erase(0, start == std::string::npos ? text.size() : start);
    const char* at = text.c_str();
    *lun = 0;
    if (text.find(':') == std::string::npos) {
        char* end = nullptr;
        unsigned long number = std::strtoul(at, &end, 0);
        if (text.empty() || *end != '\0' || text[0] == '-' || number > 0xFFFF)
            return 0;
        *address = number;
        return 1;
    }
    unsigned long adapter = 0;
    unsigned long target = 0;
    if (!ParseByte(&at, &adapter) || *at++ != ':' || !ParseByte(&at, &target))
        return 0;
    if (*at == ':') {
        ++at;
        if (!ParseByte(&at, lun))
            return 0;
    }
    if (*at != '\0')
        return 0;
    *address = adapter | (target << 8);
    return 1;
}

} // namespace

DriveSurvey::DriveSurvey()
    : outcome(kNotRun), layer(nullptr), adapterCount(0), readOnly(0), layerBusy(0)
{
}

DriveSurvey::~DriveSurvey()
{
    // A request that the layer never gave back is still the layer's to finish.
    if (layer != nullptr && !layerBusy)
        FreeLibrary(layer);
}

void DriveSurvey::Run()
{
    // The search the downloader's own LoadLibraryA makes: the program's folder first.
    layer = LoadLibraryA("WNASPI32.dll");
    if (layer == nullptr) {
        outcome = kNoLayer;
        return;
    }
    LayerOrigin origin(layer);
    layerPath = origin.Path();
    if (origin.IsWineBuiltin()) {
        outcome = kWineStub;
        return;
    }
    AspiLister lister(layer);
    if (!lister.IsBound()) {
        outcome = kNotAspi;
        return;
    }
    lister.Run();
    adapterCount = static_cast<unsigned>(lister.adapters.size());
    for (const ListedAdapter& adapter : lister.adapters) {
        if (adapter.readOnly)
            readOnly = 1;
    }
    for (const ListedDevice& device : lister.devices) {
        if (device.inquiryStatus == SS_PENDING)
            layerBusy = 1;
        if (device.type != DTYPE_CDROM || device.inquiryStatus != SS_COMP || device.lun != 0)
            continue;
        SurveyedDrive drive;
        drive.address = device.adapter | (static_cast<DWORD>(device.target) << 8);
        drive.name = AddressText(drive.address) + "  ";
        if (device.letter != 0)
            drive.name += std::string(1, device.letter) + ":  ";
        drive.name += std::string(device.vendor) + " " + device.product + " " + device.revision;
        drive.isRvx = std::strcmp(device.vendor, KDLL_DRIVE_VENDOR) == 0 &&
                      std::strcmp(device.product, KDLL_DRIVE_PRODUCT) == 0;
        drives.push_back(drive);
    }
    outcome = drives.empty() ? kNoDrive : kDrives;
}

std::string DriveSurvey::Problem() const
{
    switch (outcome) {
    case kNoLayer:
        return "No ASPI layer was found: there is no WNASPI32.dll beside this program, and "
               "Windows has none installed.\n\nPut the WNASPI32.dll of this package in the "
               "folder of this program.";
    case kWineStub:
        return "The ASPI layer that Wine loaded is its own built-in stub, which reaches no "
               "drive, in place of the WNASPI32.dll beside this program (Wine names it " +
               layerPath +
               ").\n\nGive wnaspi32 the DLL override \"native, builtin\" (winecfg, "
               "Libraries), or start the program with WINEDLLOVERRIDES=wnaspi32=n.";
    case kNotAspi:
        return layerPath + " is not an ASPI layer: it lacks GetASPI32SupportInfo or "
                           "SendASPI32Command.";
    case kNoDrive: {
        std::string text = "No CD-ROM drive answered through the ASPI layer " + layerPath + ".";
        if (adapterCount == 0)
            text += " The layer reports no host adapters.";
        text += "\n\nCheck that the drive is connected and switched on.";
        if (readOnly)
            text += " Windows let this program open the drive for reading only: run it as "
                    "administrator.";
        // Our layer answers nothing on Windows 9x, which brings its own.
        if (GetVersion() & 0x80000000)
            text += "\n\nOn Windows 95, 98 and Me, remove the WNASPI32.dll from this "
                    "program's folder, so that Windows' own ASPI layer is used.";
        if (LayerOrigin::RunsOnWine())
            text += "\n\nUnder Wine, the drive's letter must be mapped to its /dev/srN "
                    "(winecfg, Drives), and sending the drive's commands needs root or "
                    "CAP_SYS_RAWIO.";
        return text;
    }
    case kNotRun:
    case kDrives:
        break;
    }
    return "";
}

size_t DriveSurvey::Proposed() const
{
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].isRvx)
            return i;
    }
    return 0;
}

int DriveSurvey::Find(const char* text, size_t* index)
{
    DWORD address = 0;
    unsigned long lun = 0;
    if (!ParseAddress(text, &address, &lun)) {
        errorText = std::string("'") + text +
                    "' is not a drive address. Give it as aspiinfo lists it, "
                    "adapter:target:LUN, for example 0:1:0.";
        return 0;
    }
    if (lun != 0) {
        errorText = std::string("'") + text + "' names LUN " + std::to_string(lun) +
                    ": the downloader reaches LUN 0 only.";
        return 0;
    }
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].address == address) {
            *index = i;
            return 1;
        }
    }
    errorText = "No CD-ROM drive answered at " + AddressText(address) + ".";
    if (!drives.empty())
        errorText += " The drives found:";
    for (const SurveyedDrive& drive : drives)
        errorText += "\n" + drive.name;
    return 0;
}

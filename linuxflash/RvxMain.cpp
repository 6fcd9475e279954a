// rvxflash: the commands list, info and flash.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CdromDevices.h"
#include "DriveClaim.h"
#include "DriveConnection.h"
#include "ExitCode.h"
#include "FirmwareFileReport.h"
#include "FlashSession.h"
#include "JsonReport.h"
#include "RvxArguments.h"
#include "StopSignals.h"
#include "TerminalAnswers.h"
#include "TerminalPanel.h"
#include "base/ProductInfo.h"
#include "download/DriveCommands.h"
#include "trace/Trace.h"

namespace {

const char kSysfs[] = "/sys";

const char kPermissionText[] =
    "rvxflash: no right to send the drive the download's commands. Linux passes a drive's\n"
    "rvxflash: own commands only to a program with the capability CAP_SYS_RAWIO: run rvxflash\n"
    "rvxflash: as root, e.g. sudo rvxflash flash FILE. Nothing was sent to the drive.\n";

bool IsProduct(const CdromDevice& device)
{
    return device.vendor + device.product == KDLL_DRIVE_IDENTIFICATION;
}

std::string Identification(const CdromDevice& device)
{
    return CdromDevices::Trimmed(device.vendor) + " " + CdromDevices::Trimmed(device.product) +
           " " + CdromDevices::Trimmed(device.revision);
}

std::string Probe(const CdromDevice& device)
{
    if (!DriveClaim::MaySendVendorCommands())
        return "not sent: needs root (CAP_SYS_RAWIO)";
    DriveClaim claim;
    if (claim.Claim(device, false) != DriveClaim::kClaimed)
        return "not sent: " + claim.Reason();
    DriveConnection connection({claim.Descriptor()}, {device.target});
    ScsiDevice& scsi = connection.Device();
    if (scsi.DriveCount() == 0)
        return "not sent: the drive did not answer INQUIRY";
    scsi.SelectDrive(0);
    return DriveCommands::ProbeDownloadProtocol(scsi) ? "yes" : "no";
}

int List(const RvxArguments& arguments, std::FILE* human)
{
    std::vector<CdromDevice> devices = CdromDevices::Find(kSysfs);
    std::vector<ListedDrive> drives;
    for (const CdromDevice& device : devices) {
        ListedDrive drive = {&device, IsProduct(device),
                             arguments.probe ? Probe(device) : "not probed"};
        drives.push_back(drive);
        std::fprintf(human, "%-10s %-5s %-9s %-8s %-16s %-4s  %s%s\n", device.Path().c_str(),
                     device.genericName.c_str(), device.address.c_str(),
                     CdromDevices::Trimmed(device.vendor).c_str(),
                     CdromDevices::Trimmed(device.product).c_str(),
                     CdromDevices::Trimmed(device.revision).c_str(),
                     drive.isProduct ? "the RVX-4417K" : "another drive",
                     arguments.probe ? ("; download protocol: " + drive.protocol).c_str() : "");
    }
    if (devices.empty())
        std::fprintf(human, "rvxflash: no CD-ROM drive found.\n");
    if (arguments.json)
        JsonReport::PrintList(stdout, drives);
    return devices.empty() ? kExitNoDrive : 0;
}

int Info(const RvxArguments& arguments, std::FILE* human)
{
    FirmwareFileReport report;
    if (!report.Load(arguments.file)) {
        std::fprintf(human, "%s: %s\n", arguments.file.c_str(),
                     report.loaderMessage != nullptr ? report.loaderMessage : "no file named");
        return kExitBadArguments;
    }
    report.Print(human);
    FirmwareFileReport::Verdict verdict = report.Judge();
    bool taken = verdict == FirmwareFileReport::kFit || verdict == FirmwareFileReport::kTestFile;
    return taken ? 0 : kExitBadArguments;
}

// The drive to flash: the one named, which must be a CD-ROM drive, or else the one
// RVX-4417K that Linux knows. Null with result.message set otherwise.
const CdromDevice* ChooseDrive(const std::vector<CdromDevice>& devices, const std::string& named,
                               FlashResult& result)
{
    if (!named.empty()) {
        bool block = false;
        std::string numbers;
        if (!DriveClaim::NodeNumbers(named, block, numbers)) {
            result.message = named + ": no such device";
            return nullptr;
        }
        const CdromDevice* device = CdromDevices::Match(devices, block, numbers);
        if (device == nullptr)
            result.message = named + ": not a CD-ROM drive";
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
        result.message = "no RVX-4417K found; rvxflash list shows the CD-ROM drives, and "
                         "--device names one";
    if (count > 1)
        result.message = "more than one RVX-4417K: name the one to flash with --device";
    return count == 1 ? found : nullptr;
}

// The file is judged before any drive is touched: a file the downloader would turn down
// ends here, with nothing sent (for a file without the protocol marker, the procedure would
// first prepare the drive and eject its medium).
bool CheckFile(const std::string& file, std::FILE* human, FlashResult& result)
{
    FirmwareFileReport report;
    FirmwareFileReport::Verdict verdict = FirmwareFileReport::kFit;
    if (!report.Load(file)) {
        result.message = report.loaderMessage != nullptr ? report.loaderMessage : "no file named";
    } else if ((verdict = report.Judge()) == FirmwareFileReport::kOtherDrive ||
               verdict == FirmwareFileReport::kNoMarker) {
        report.Print(human);
        result.message = verdict == FirmwareFileReport::kOtherDrive
                             ? "not firmware for the RVX-4417K"
                             : "no download protocol marker";
    }
    if (result.message.empty()) {
        // The downloader takes it as it takes firmware.
        if (verdict == FirmwareFileReport::kTestFile)
            std::fprintf(human,
                         "rvxflash: %s is a test file made by zqxtool, not firmware: "
                         "flash it only into a drive for testing.\n",
                         file.c_str());
        return true;
    }
    std::fprintf(human, "rvxflash: %s: %s; nothing was sent to any drive.\n", file.c_str(),
                 result.message.c_str());
    return false;
}

ExitCode Flash(const RvxArguments& arguments, StopSignals& stop, std::FILE* human,
               FlashResult& result)
{
    if (!CheckFile(arguments.file, human, result))
        return kExitBadArguments;
    std::vector<CdromDevice> devices = CdromDevices::Find(kSysfs);
    const CdromDevice* chosen = ChooseDrive(devices, arguments.device, result);
    if (chosen == nullptr) {
        std::fprintf(human, "rvxflash: %s.\n", result.message.c_str());
        return kExitNoDrive;
    }
    result.device = chosen->Path();
    if (!DriveClaim::MaySendVendorCommands()) {
        result.message = "no right to send the drive the download's commands (CAP_SYS_RAWIO)";
        std::fprintf(human, "%s", kPermissionText);
        return kExitNoDrive;
    }
    DriveClaim claim;
    if (claim.Claim(*chosen, true) != DriveClaim::kClaimed) {
        result.message = claim.Reason();
        std::fprintf(human, "rvxflash: %s. Nothing was sent to the drive.\n",
                     claim.Reason().c_str());
        return kExitNoDrive;
    }

    std::fprintf(human, "%s\nDrive: %s (%s)\n", KDLL_PRODUCT_TITLE, chosen->Path().c_str(),
                 Identification(*chosen).c_str());
    std::fflush(human);
    DriveConnection connection({claim.Descriptor()}, {chosen->target});
    TerminalAnswers answers(stop.WakeDescriptor());
    TerminalPanel panel(human, isatty(fileno(human)) == 1, arguments.file, arguments.yes, answers);
    FlashSession session(connection.Device(), panel, human, stop);
    ExitCode code = session.Run();
    result.procedureRan = true;
    result.rows = panel.Rows();
    result.restartRequested = session.RestartRequested();
    if (connection.HoldsCalls())
        std::fprintf(human, "rvxflash: Linux still waits for the drive's answer to a command; "
                            "it aborts the command within a minute.\n");
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    RvxArguments arguments;
    int exitCode = 0;
    if (!arguments.Parse(argc, argv, exitCode))
        return exitCode;
    // With --json the standard output carries the document alone.
    std::FILE* human = arguments.json ? stderr : stdout;
    StopSignals stop;
    if (!stop.Start()) {
        std::fprintf(stderr, "rvxflash: cannot watch the signals to stop.\n");
        return kExitNotWritten;
    }
    if (!arguments.trace.empty())
        setenv("KDLL_TRACE", arguments.trace.c_str(), 1);
    Trace::Begin(KDLL_PRODUCT_TITLE);
    Trace::Settle(nullptr);

    switch (arguments.command) {
    case RvxArguments::kList:
        return List(arguments, human);
    case RvxArguments::kInfo:
        return Info(arguments, human);
    case RvxArguments::kFlash:
        break;
    }
    FlashResult result = {};
    result.file = arguments.file;
    result.code = Flash(arguments, stop, human, result);
    if (arguments.json)
        JsonReport::PrintFlash(stdout, result);
    return result.code;
}

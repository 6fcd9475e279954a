// Listing the drives.
#include "ListCommand.h"

#include "CdromDevices.h"
#include "DriveChooser.h"
#include "DriveClaim.h"
#include "DriveConnection.h"
#include "download/DriveCommands.h"

namespace {

const char kSysfs[] = "/sys";

// The probe goes to any make of drive; only a drive of ours answers it.
std::string Probe(const CdromDevice& device, const StopRequests& stop)
{
    if (!DriveClaim::MaySendVendorCommands())
        return "not sent: needs root (CAP_SYS_RAWIO)";
    DriveClaim claim;
    if (claim.Claim(device, false) != DriveClaim::kClaimed)
        return "not sent: " + claim.Reason();
    DriveConnection connection({claim.Descriptor()}, {device.target}, stop);
    if (!connection.Started())
        return "not sent: no thread for the drive's commands";
    ScsiDevice& scsi = connection.Device();
    if (scsi.DriveCount() == 0)
        return "not sent: the drive did not answer INQUIRY";
    scsi.SelectDrive(0);
    return DriveCommands::ProbeDownloadProtocol(scsi) ? "yes" : "no";
}

} // namespace

namespace ListCommand {

ExitCode Run(RunContext& run)
{
    const bool probe = run.arguments.probe;
    std::vector<CdromDevice> devices = CdromDevices::Find(kSysfs);
    for (const CdromDevice& device : devices) {
        if (run.stop.Requested())
            break;
        ListedDrive drive = {device, DriveChooser::IsProduct(device),
                             probe ? Probe(device, run.stop) : "not probed"};
        if (run.stop.Requested())
            break; // the probe was kept back: its answer says nothing
        run.report.drives.push_back(drive);
        std::fprintf(run.human, "%-10s %-5s %-9s %-8s %-16s %-4s  %s%s\n", device.Path().c_str(),
                     device.genericName.c_str(), device.address.c_str(),
                     CdromDevices::Trimmed(device.vendor).c_str(),
                     CdromDevices::Trimmed(device.product).c_str(),
                     CdromDevices::Trimmed(device.revision).c_str(),
                     drive.isProduct ? "the RVX-4417K" : "another drive",
                     probe ? ("; download protocol: " + drive.protocol).c_str() : "");
        std::fflush(run.human);
    }
    if (run.stop.Requested())
        return run.Stopped("the list is not complete");
    if (devices.empty())
        return run.End(kExitNoDrive, "no CD-ROM drive found");
    return kExitDone;
}

} // namespace ListCommand

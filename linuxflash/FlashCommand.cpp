// The flash command.
#include "FlashCommand.h"

#include <strings.h>
#include <unistd.h>

#include "CdromDevices.h"
#include "DriveChooser.h"
#include "DriveConnection.h"
#include "FirmwareFileCheck.h"
#include "FlashSession.h"
#include "InfoCommand.h"
#include "TerminalAnswers.h"
#include "TerminalPanel.h"
#include "base/ProductInfo.h"

namespace {

const char kSysfs[] = "/sys";
const char kNothingSent[] = "nothing was sent to the drive";

const char kPermissionText[] =
    "\nrvxflash: Linux passes a drive's own commands only to a program with the capability\n"
    "rvxflash: CAP_SYS_RAWIO: run rvxflash as root, e.g. sudo rvxflash flash FILE. Nothing was\n"
    "rvxflash: sent to the drive.";

std::string Identification(const CdromDevice& device)
{
    return CdromDevices::Trimmed(device.vendor) + " " + CdromDevices::Trimmed(device.product) +
           " " + CdromDevices::Trimmed(device.revision);
}

bool IsYes(const std::string& answer)
{
    return strcasecmp(answer.c_str(), "y") == 0 || strcasecmp(answer.c_str(), "yes") == 0;
}

} // namespace

ExitCode FlashCommand::Run()
{
    ExitCode ended = kExitNotWritten;
    if (!ReadAndCheckFile(ended))
        return ended;
    std::vector<CdromDevice> devices = CdromDevices::Find(kSysfs);
    const CdromDevice* drive = ChooseDrive(devices, ended);
    if (drive == nullptr || !ClaimDrive(*drive, ended) || !Confirm(*drive, ended))
        return ended;
    return Download(*drive);
}

bool FlashCommand::ReadAndCheckFile(ExitCode& ended)
{
    ended = InfoCommand::ReadFile(run, reader);
    if (ended != kExitDone)
        return false;
    FirmwareFileCheck check;
    bool taken = check.Check(run.arguments.file, reader.Bytes(), run.human);
    run.report.file = check.Facts();
    run.report.fileRead = true;
    if (!taken) {
        ended = run.End(kExitBadArguments, run.arguments.file + ": " + check.Message(),
                        " Nothing was sent to any drive.");
        return false;
    }
    const FileFacts& file = run.report.file;
    char checkSum[8];
    std::snprintf(checkSum, sizeof checkSum, "%04X", file.checkSum);
    fileIdentification = CdromDevices::Trimmed(file.model) + ", check sum " + checkSum;
    return true;
}

const CdromDevice* FlashCommand::ChooseDrive(const std::vector<CdromDevice>& devices,
                                             ExitCode& ended)
{
    NamedDevice named = {run.arguments.device, false, false, ""};
    if (!named.path.empty())
        named.isDevice = DriveClaim::NodeNumbers(named.path, named.block, named.numbers);
    std::string message;
    const CdromDevice* drive =
        DriveChooser::Choose(devices, named.path.empty() ? nullptr : &named, message);
    if (drive == nullptr) {
        ended = run.End(kExitNoDrive, message);
        return nullptr;
    }
    run.report.device = drive->Path();
    if (!DriveClaim::MaySendVendorCommands()) {
        ended = run.End(kExitNoDrive,
                        "no right to send the drive the download's commands "
                        "(CAP_SYS_RAWIO)",
                        kPermissionText);
        return nullptr;
    }
    return drive;
}

bool FlashCommand::ClaimDrive(const CdromDevice& drive, ExitCode& ended)
{
    if (claim.Claim(drive, true) == DriveClaim::kClaimed)
        return true;
    ended = run.End(kExitNoDrive, claim.Reason(), " Nothing was sent to the drive.");
    return false;
}

bool FlashCommand::Confirm(const CdromDevice& drive, ExitCode& ended)
{
    std::FILE* human = run.human;
    std::fprintf(human, "%s\nDrive:    %s (%s)\nFirmware: %s (%s)\n", KDLL_PRODUCT_TITLE,
                 drive.Path().c_str(), Identification(drive).c_str(), run.arguments.file.c_str(),
                 fileIdentification.c_str());
    if (run.arguments.yes) {
        std::fprintf(human, "Flash the firmware now? [y/N] yes (--yes)\n");
        std::fflush(human);
        return true;
    }
    if (!isatty(STDIN_FILENO)) {
        ended = run.End(kExitBadArguments,
                        "no terminal to ask whether to flash: give --yes to flash without the "
                        "question",
                        " Nothing was sent to the drive.");
        return false;
    }
    std::fprintf(human, "Flash the firmware now? [y/N] ");
    std::fflush(human);
    TerminalAnswers answers(run.stop.WakeDescriptor());
    std::string answer;
    bool answered = answers.Answer(answer);
    if (run.stop.Requested()) {
        ended = run.Stopped(kNothingSent);
        return false;
    }
    if (!answered || !IsYes(answer)) {
        if (!answered)
            std::fprintf(human, "\n");
        ended = run.End(kExitCancelled, std::string("not flashed; ") + kNothingSent);
        return false;
    }
    return true;
}

ExitCode FlashCommand::Download(const CdromDevice& drive)
{
    std::FILE* human = run.human;
    if (run.stop.Requested())
        return run.Stopped(kNothingSent);
    DriveConnection connection({claim.Descriptor()}, {drive.target}, run.stop);
    if (!connection.Started())
        return run.End(kExitNotWritten,
                       std::string("no thread for the drive's commands; ") + kNothingSent);
    TerminalAnswers answers(run.stop.WakeDescriptor());
    TerminalPanel panel(human, isatty(fileno(human)) == 1, run.arguments.file, run.arguments.yes,
                        answers, run.stop);
    FlashSession session(connection.Device(), panel, human, run.stop);
    ExitCode code = session.Run(reader.Bytes());
    RunReport& report = run.report;
    report.procedureRan = true;
    report.rows = panel.Rows();
    report.writeBegan = session.WriteBegan();
    report.restartRequested = session.RestartRequested();
    report.driveGone = connection.DriveGone();
    if (code == kExitCancelled)
        run.NoteStop(" before the write");
    if (report.driveGone)
        run.End(code, "the drive went away (Linux: " + connection.GoneWord() + ")");
    if (connection.HoldsCalls())
        std::fprintf(human, "rvxflash: Linux still waits for the drive's answer to a command; "
                            "it aborts the command within a minute.\n");
    return code;
}

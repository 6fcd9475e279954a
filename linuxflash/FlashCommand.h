// rvxflash flash FILE: the road to the download and back. The file is read once and
// judged; the drive is chosen, claimed and shown with the file; the user says yes (or
// --yes does); then the download runs (FlashSession) and the end is told, with what Linux
// said when the drive went away.
#pragma once

#include <string>

#include "DriveClaim.h"
#include "FirmwareFileReader.h"
#include "RunContext.h"

class FlashCommand {
public:
    explicit FlashCommand(RunContext& run) : run(run) {}

    ExitCode Run();

private:
    // Each step says how the command ends when it does not go on.
    bool ReadAndCheckFile(ExitCode& ended);
    const CdromDevice* ChooseDrive(const std::vector<CdromDevice>& devices, ExitCode& ended);
    bool ClaimDrive(const CdromDevice& drive, ExitCode& ended);
    // The drive and the file, and the question before anything is sent.
    bool Confirm(const CdromDevice& drive, ExitCode& ended);
    ExitCode Download(const CdromDevice& drive);

    RunContext& run;
    FirmwareFileReader reader;
    std::string fileIdentification; // the FW Model Name row and the check sum
    DriveClaim claim;
};

// Describing a firmware file.
#include "InfoCommand.h"

#include "FirmwareFileCheck.h"

namespace InfoCommand {

ExitCode ReadFile(RunContext& run, FirmwareFileReader& reader)
{
    const std::string& file = run.arguments.file;
    run.report.file.name = file;
    switch (reader.Read(file, run.stop.WakeDescriptor(), run.human)) {
    case FirmwareFileReader::kRead:
        return kExitDone;
    case FirmwareFileReader::kStopped:
        return run.Stopped("nothing was sent to any drive");
    case FirmwareFileReader::kRefused:
        break;
    }
    return run.End(kExitBadArguments, file + ": " + reader.Reason(),
                   " Nothing was sent to any drive.");
}

ExitCode Run(RunContext& run)
{
    FirmwareFileReader reader;
    ExitCode read = ReadFile(run, reader);
    if (read != kExitDone)
        return read;
    FirmwareFileCheck check;
    bool taken = check.Check(run.arguments.file, reader.Bytes(), run.human, true);
    run.report.file = check.Facts();
    run.report.fileRead = true;
    if (run.stop.Requested())
        return run.Stopped("nothing was sent to any drive");
    if (!taken)
        return run.End(kExitBadArguments, run.arguments.file + ": " + check.Message());
    return kExitDone;
}

} // namespace InfoCommand

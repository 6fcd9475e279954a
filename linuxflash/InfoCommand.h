// rvxflash info FILE: what the downloader reads in a firmware file, and whether it would
// take it.
#pragma once

#include "FirmwareFileReader.h"
#include "RunContext.h"

namespace InfoCommand {

ExitCode Run(RunContext& run);
// Reads the named file once, for info and flash: kExitDone when read; otherwise how the
// command ends, said.
ExitCode ReadFile(RunContext& run, FirmwareFileReader& reader);

} // namespace InfoCommand

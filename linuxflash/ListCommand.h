// rvxflash list [--probe]: the CD-ROM drives Linux knows, and with --probe whether each
// takes the download protocol.
#pragma once

#include "RunContext.h"

namespace ListCommand {

ExitCode Run(RunContext& run);

} // namespace ListCommand

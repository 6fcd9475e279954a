// rvxflash's exit codes, one for each way a run ends (the man page lists them).
#pragma once

enum ExitCode {
    kExitFlashed = 0,       // the drive answers with its new firmware
    kExitNotWritten = 1,    // failed or stopped before the write: the drive keeps its firmware
    kExitBadArguments = 2,  // bad arguments, or a firmware file the downloader does not take
    kExitRestartNeeded = 3, // failed after the write began: power the computer off and on
    kExitNoDrive = 4,       // no drive to flash, or no right to send it the download's commands
};

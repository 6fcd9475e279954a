// rvxflash's exit codes, one for each way a run ends (the man page lists them). 0 to 3
// mean what they mean for rvxflash.exe, the Windows program, so that one script reads
// both.
#pragma once

enum ExitCode {
    kExitFlashed = 0,       // the drive answers with its new firmware
    kExitNotWritten = 1,    // failed or stopped before the write: the drive keeps its firmware
    kExitRestartNeeded = 2, // failed after the write began: power the computer off and on
    kExitNoDrive = 3,       // no drive to flash, or no right to send it the download's commands
    kExitBadArguments = 4,  // no download tried: bad arguments, or a file the downloader refuses
};

// rvxflash's exit codes, one for each way a run ends; rvxflash.exe, the Windows program,
// ends with the same table, so that one script reads both (the man page and the README
// list it).
#pragma once

enum ExitCode {
    kExitFlashed = 0,       // the drive answers with its new firmware
    kExitNotWritten = 1,    // failed before the write: the drive keeps its firmware
    kExitRestartNeeded = 2, // failed after the write began: power the computer off and on
    kExitNoDrive = 3,       // no drive to flash, or no right to send it the download's commands
    kExitBadArguments = 4,  // no download tried: bad arguments, a file the downloader refuses,
                            // or no terminal to ask on and no --yes
    kExitCancelled = 5,     // the user said no, or stopped the program before the write
};

// list and info: done.
const ExitCode kExitDone = kExitFlashed;

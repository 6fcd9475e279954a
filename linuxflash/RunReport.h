// What one run of rvxflash came to, as its JSON document tells it (JsonReport): the
// command, the exit code and the program's own words, the stop by a signal, and what the
// command found: the drives of `list`, the firmware file of `info` and `flash`, and the
// drive and the panel of `flash`.
#pragma once

#include <string>
#include <vector>

#include "CdromDevices.h"
#include "ExitCode.h"
#include "TerminalPanel.h"

struct ListedDrive {
    CdromDevice device;
    bool isProduct;       // the RVX-4417K's identification
    std::string protocol; // "yes", "no", "not probed", or why the probe was not sent
};

// A firmware file as the downloader reads it.
struct FileFacts {
    std::string name;          // as the user gave it
    bool loaded;               // read and parsed; the rest is empty otherwise
    std::string loaderMessage; // the downloader's status text when it was not, or why not
    std::string model;         // the FW Model Name row: model, revision, two blanks
    std::string protocol;
    unsigned checkSum;
    unsigned transferSum;
    std::string verdict; // "fit", "test-file", "other-drive", "no-marker"
};

struct RunReport {
    const char* command = nullptr; // "list", "info", "flash"; null when none was read
    ExitCode code = kExitBadArguments;
    std::string message;          // why the run ended, when not as it should
    const char* signal = nullptr; // the signal that stopped it, null for none

    std::vector<ListedDrive> drives; // list

    FileFacts file = {};   // info, flash: the name as given; the rest once read
    bool fileRead = false; // the file was read

    std::string device; // flash: the drive's block device, once chosen
    bool procedureRan = false;
    PanelRows rows = {}; // what the panel showed at the end, once the procedure ran
    bool writeBegan = false;
    bool restartRequested = false;
    bool driveGone = false; // Linux said the drive was gone
};

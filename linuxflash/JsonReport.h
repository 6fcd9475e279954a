// What rvxflash prints with --json, for fleet tools: the drives of `list`, and the result
// of `flash`. One JSON document on the standard output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CdromDevices.h"
#include "ExitCode.h"
#include "TerminalPanel.h"

struct ListedDrive {
    const CdromDevice* device;
    bool isProduct;       // the RVX-4417K's identification
    std::string protocol; // "yes", "no", "not probed", or why the probe was not sent
};

struct FlashResult {
    ExitCode code;
    std::string file;
    std::string device;
    std::string message; // the program's own word when it ended before the procedure
    bool procedureRan;
    PanelRows rows; // what the panel showed at the end, when the procedure ran
    bool restartRequested;
};

namespace JsonReport {

void PrintList(std::FILE* out, const std::vector<ListedDrive>& drives);
void PrintFlash(std::FILE* out, const FlashResult& result);
// The result's name, as the JSON gives it.
const char* ResultName(ExitCode code);

} // namespace JsonReport

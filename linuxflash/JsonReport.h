// What rvxflash prints with --json, for fleet tools and scripts: one JSON document on the
// standard output for every run, whatever its end (docs/rvxflash.schema.json describes
// it).
#pragma once

#include <cstdio>

#include "RunReport.h"

namespace JsonReport {

void Print(std::FILE* out, const RunReport& report);
// The exit code's name, as the document's "result" gives it (flash's 0 is "flashed").
const char* ResultName(const char* command, ExitCode code);

} // namespace JsonReport

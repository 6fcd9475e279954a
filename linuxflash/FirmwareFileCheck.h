// Whether the downloader takes a firmware file, judged on the bytes read once and before
// any drive is touched: a file it would turn down ends the run with nothing sent (for a
// file without the protocol marker the procedure would first prepare the drive and eject
// its medium).
#pragma once

#include <cstdio>
#include <string>

#include "image/FirmwareFileReport.h"
#include "RunReport.h"

class FirmwareFileCheck {
public:
    // Judges the file: true when a download may go on. human: where a refused file is
    // described (with describe, any file that the downloader reads), and a test file named
    // as one.
    bool Check(const std::string& name, const FirmwareFileBytes& read, std::FILE* human,
               bool describe = false);
    // Why the file was refused, in the program's words.
    const std::string& Message() const { return message; }
    // What the file is, for the JSON document.
    FileFacts Facts() const;
    const FirmwareFileReport& Report() const { return report; }

    // The verdict's name in the JSON document.
    static const char* VerdictName(FirmwareFileReport::Verdict verdict);

private:
    FirmwareFileReport report;
    std::string name;
    bool loaded = false;
    std::string message;
};

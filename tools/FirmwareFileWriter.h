// Builds a test firmware file from the settings of `zqxtool make` and writes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ToolArguments.h"

class FirmwareFileWriter {
public:
    explicit FirmwareFileWriter(const ToolArguments& settings);

    // True: bytes holds the file and it was written to the settings' path. False: errorText
    // says what could not be read or written, or that the file exists (without --force).
    bool Write();

    std::vector<uint8_t> bytes;
    std::string errorText;

private:
    std::FILE* Create() const;
    bool Build();
    bool PlaceCode();
    void PlaceNote();
    void PlaceRecord();
    void PlaceMarker();
    bool Fail(const std::string& text);

    const ToolArguments& settings;
};

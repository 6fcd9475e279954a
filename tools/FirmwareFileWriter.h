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

    // 1: bytes holds the file and it was written to the settings' path. 0: errorText
    // says what could not be read or written, or that the file exists (without --force).
    int Write();

    std::vector<uint8_t> bytes;
    std::string errorText;

private:
    std::FILE* Create() const;
    int Build();
    int PlaceCode();
    void PlaceNote();
    void PlaceRecord();
    void PlaceMarker();
    int Fail(const std::string& text);

    const ToolArguments& settings;
};

// Reads a firmware file the way the downloader does and describes what its panel would
// show, plus what the transfer would send and where the scan met record and marker.
#pragma once

#include <cstdio>
#include <string>

#include "image/FirmwareImage.h"

class FirmwareFileReport {
public:
    FirmwareFileReport();

    // True: the downloader would accept the file; its description is ready. False: the
    // downloader would reject it; loaderMessage holds the downloader's own status
    // text, or is null when the downloader shows none (an empty name).
    bool Load(const std::string& path);
    // The same for a file its caller has read once (see FirmwareImage::LoadFirmwareBytes),
    // named name in the description.
    bool Load(const std::string& name, const FirmwareFileBytes& read);

    // Writes the description of a loaded file, ending with the verdict.
    void Print(std::FILE* out) const;

    // What a download with a loaded file comes to on an RVX-4417K. kTestFile: a file the
    // downloader accepts that `zqxtool make` marked as a test file.
    enum Verdict { kFit, kTestFile, kOtherDrive, kNoMarker };
    Verdict Judge() const;

    // What the panel's "FW Model Name" row shows: model name, a blank, revision, two blanks.
    std::string ModelRowText() const;
    // The file's description as the panel shows it, and the sum the transfer sends.
    const ProductDescriptor& Descriptor() const { return firmware.fileDescriptor; }
    uint16_t TransferSum() const { return transferSum; }

    const char* loaderMessage;

private:
    // Where the record, the marker and the test file's note are, once the image is loaded.
    void Describe();

    FirmwareImage firmware;
    FirmwareImage::ScanHits hits;
    uint16_t transferSum;
    std::string fileName;
    int noteAt; // where the test file's note starts in the leading block, or -1
};

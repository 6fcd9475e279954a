// What a download works on besides the panel: the drive connection and the firmware
// image. One heap block, built with the instance; TransferHandoff holds it and decides
// which thread may use it and who frees it.
#pragma once

#include "image/FirmwareImage.h"
#include "scsi/ScsiDevice.h"

class DriveContext {
public:
    // Builds the device, asking for the image's size of buffer (it caps it at 65,536
    // bytes, which the 63,490-byte payload fits), and runs drive discovery on it. The
    // image's descriptors start zero-filled.
    DriveContext();
    // Frees the device, unless the ASPI layer still holds its request: the layer may still
    // write into its block and buffer, so it is kept for good.
    ~DriveContext();
    DriveContext(const DriveContext&) = delete;
    DriveContext& operator=(const DriveContext&) = delete;

    // Null when the device or its buffer could not be had: every download then ends at the
    // drive check.
    ScsiDevice* Device() { return device; }
    FirmwareImage& Firmware() { return firmware; }

private:
    friend struct LibraryInternals; // the tests' view of the private state
    ScsiDevice* device;
    FirmwareImage firmware;
};

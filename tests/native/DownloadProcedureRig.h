// A rig for the download procedure without Windows: the drive model behind the ASPI
// layer of a ScsiDevice (answering inside the call, delays and all, as a synchronous
// layer does), the firmware file on disk, and a DownloadPanel that records what the
// procedure shows and asks: the rows, the status texts, and the bar, box and restart in
// the order they came. The rig is the device's layer: a test may put a layer of its own
// between them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DriveModel.h"
#include "FirmwareFileBuilder.h"
#include "download/DownloadProcedure.h"

class DownloadProcedureRig : public DownloadPanel, public RestartRequest, public LinkedAspiLayer {
public:
    // Configures the drive model and builds the device over it; discovery has run.
    explicit DownloadProcedureRig(const char* scenario);
    ~DownloadProcedureRig();
    DownloadProcedureRig(const DownloadProcedureRig&) = delete;
    DownloadProcedureRig& operator=(const DownloadProcedureRig&) = delete;

    // Writes the file and names it in the panel's file-name box.
    void NameFile(const FirmwareFileBuilder& file);
    // The procedure on the rig's device, or on none.
    DownloadProcedure Procedure(bool withDevice = true);

    // The drive model as the device's layer.
    uint32_t SupportInfo() override;
    uint32_t Send(void* request) override;

    // The panel and the restart request, recording.
    void SetRowState(InfoRow row, RowState state) override;
    void SetRowValue(InfoRow row, const char* text) override;
    void SetStatus(const char* text) override;
    void ShowProgressBar(InfoRow row) override;
    void RemoveProgressBar() override;
    const char* FileName() override;
    int Warn(const char* text, const char* caption) override;
    void RequestRestart() override;

    // "A:T" and the 12 command bytes in hex of every command the drives received.
    std::vector<std::string> Commands() const;
    // FNV-1a of the data-out bytes of the last command, 0 without any.
    uint32_t LastDataOutDigest() const;
    // The seven rows as "row: 'value' state" lines.
    std::string RowsText() const;

    std::string configureError;
    DriveModel model;
    std::unique_ptr<ScsiDevice> device;
    std::unique_ptr<FirmwareImage> firmware;
    std::string fileName;
    std::string values[7];
    int states[7];
    std::vector<std::string> statuses;
    // "bar N", "no bar", "warn 'text' 'caption'", "restart".
    std::vector<std::string> events;
    int warnAnswer;
};

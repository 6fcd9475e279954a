// The download procedure's native rig: the drive model as a linked-in ASPI layer, and
// the recording panel.
#include "DownloadProcedureRig.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

uint32_t DownloadProcedureRig::SupportInfo()
{
    return model.SupportInfo();
}

uint32_t DownloadProcedureRig::Send(void* request)
{
    if (static_cast<SRB_Header*>(request)->SRB_Cmd != SC_EXEC_SCSI_CMD) {
        static_cast<SRB_Header*>(request)->SRB_Status = SS_INVALID_CMD;
        model.Record(request, SS_INVALID_CMD);
        return SS_INVALID_CMD;
    }
    SRB_ExecSCSICmd* srb = static_cast<SRB_ExecSCSICmd*>(request);
    SimSubmission submission;
    uint8_t status = model.Accept(srb, submission);
    if (!submission.pending)
        return status;
    model.Settle(submission);
    // A scenario's delay (a write that takes the drive seconds) is spent inside the call.
    std::this_thread::sleep_for(std::chrono::milliseconds(submission.outcome.delayMs));
    DriveModel::DeliverCompletion(srb, submission);
    model.SetFinalStatus(submission.sequence, submission.outcome.srbStatus);
    return submission.outcome.srbStatus;
}

void DownloadProcedureRig::SetRowState(InfoRow row, RowState state)
{
    states[row] = state;
}

void DownloadProcedureRig::SetRowValue(InfoRow row, const char* text)
{
    values[row] = text;
}

void DownloadProcedureRig::SetStatus(const char* text)
{
    statuses.push_back(text);
}

void DownloadProcedureRig::ShowProgressBar(InfoRow row)
{
    events.push_back("bar " + std::to_string(row));
}

void DownloadProcedureRig::RemoveProgressBar()
{
    events.push_back("no bar");
}

const char* DownloadProcedureRig::FileName()
{
    return fileName.c_str();
}

int DownloadProcedureRig::Warn(const char* text, const char* caption)
{
    events.push_back(std::string("warn '") + text + "' '" + caption + "'");
    return warnAnswer;
}

void DownloadProcedureRig::RequestRestart()
{
    events.push_back("restart");
}

DownloadProcedureRig::DownloadProcedureRig(const char* scenario)
    : firmware(new FirmwareImage()), states{}, warnAnswer(1)
{
    if (!model.Configure(scenario))
        configureError = model.LastError();
    device.reset(new ScsiDevice(65545));
    device->AttachLayer(*this);
    device->DiscoverDrives();
    model.ClearLog();
}

DownloadProcedureRig::~DownloadProcedureRig()
{
    device.reset();
}

void DownloadProcedureRig::NameFile(const FirmwareFileBuilder& file)
{
    std::string folder = std::string(KDLL_BINARY_DIR) + "/test-files/download-procedure";
    std::filesystem::create_directories(folder);
    fileName = folder + "/FW.ZQX";
    std::FILE* out = std::fopen(fileName.c_str(), "wb");
    if (out == nullptr)
        return;
    std::fwrite(file.bytes.data(), 1, file.bytes.size(), out);
    std::fclose(out);
}

DownloadProcedure DownloadProcedureRig::Procedure(bool withDevice)
{
    return DownloadProcedure(withDevice ? device.get() : nullptr, *firmware);
}

std::vector<std::string> DownloadProcedureRig::Commands() const
{
    std::vector<std::string> commands;
    SimRequestRecord record;
    for (int i = 0; model.GetRequest(i, record); ++i) {
        char text[64];
        int used = std::snprintf(text, sizeof text, "%u:%u", record.adapter, record.target);
        for (int b = 0; b < 12; ++b)
            used += std::snprintf(text + used, sizeof text - used, " %02X", record.cdb[b]);
        commands.push_back(text);
    }
    return commands;
}

uint32_t DownloadProcedureRig::LastDataOutDigest() const
{
    SimRequestRecord record = {};
    if (model.RequestCount() == 0 || !model.GetRequest(model.RequestCount() - 1, record))
        return 0;
    return record.dataOutDigest;
}

std::string DownloadProcedureRig::RowsText() const
{
    std::string text;
    for (int row = 0; row < 7; ++row)
        text += std::to_string(row) + ": '" + values[row] + "' " + kRowStateNames[states[row] & 3] +
                "\n";
    return text;
}

// The download procedure on the panel's thread before a transfer: the firmware file, the
// checks of file and drive, and the preparation of a drive.
#include "download/DownloadProcedure.h"

#include <cstring>

#include "base/FormatText.h"
#include "base/ProductInfo.h"
#include "download/DriveCommands.h"
#include "download/InfoRow.h"
#include "scsi/SenseData.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"

namespace {

const char kDriveMismatch[] = "Mismatch  Drive(RVX-4417K)!";
// A drive stuck in UNIT ATTENTION would otherwise hold the host's window for ever.
const int kMaxUnloadExecutions = 32;

// Equal only when the text's first 24 characters are the identification; a shorter
// text differs.
bool IsExpectedIdentification(const char* text)
{
    return std::strncmp(text, KDLL_DRIVE_IDENTIFICATION, KDLL_DRIVE_IDENTIFICATION_LENGTH) == 0;
}

// What the file is, never its code. size: the file's size when its caller read it, or null
// to ask the file system.
void TraceFirmwareFile(const char* fileName, const long* size, const FirmwareImage& firmware,
                       bool loaded, const char* message)
{
    if (!Trace::IsOn())
        return;
    long bytes = size != nullptr ? *size : TraceFile::SizeOf(fileName);
    if (!loaded) {
        Trace::Line("firmware '%s', %ld bytes: not loaded, %s", fileName, bytes,
                    message != nullptr ? message : "no file named");
        return;
    }
    const ProductDescriptor& file = firmware.fileDescriptor;
    Trace::Line("firmware '%s', %ld bytes: model '%s', revision '%s', %s, check sum %04X", fileName,
                bytes, file.modelName, file.revision,
                file.protocolType40 ? "protocol marker found" : "no protocol marker",
                static_cast<unsigned>(file.checkSum));
}

} // namespace

DownloadProcedure::DownloadProcedure(ScsiDevice* connection, FirmwareImage& image)
    : device(connection), firmware(image), hostAdapter(-1), hostTarget(-1), readOnce()
{
}

void DownloadProcedure::SetHostChoice(uint8_t adapter, uint8_t target)
{
    hostAdapter = adapter;
    hostTarget = target;
}

int DownloadProcedure::HostChoiceIndex() const
{
    for (int i = 0; i < device->DriveCount(); ++i) {
        const DriveEntry& entry = device->Drive(i);
        if (entry.adapterId == hostAdapter && entry.targetId == hostTarget)
            return IsExpectedIdentification(entry.modelName) ? i : -1;
    }
    return -1;
}

bool DownloadProcedure::LoadFirmwareFile(DownloadPanel& panel)
{
    const char* fileName = panel.FileName();
    const char* message = nullptr;
    bool loaded = readOnce.bytes != nullptr
                      ? firmware.LoadFirmwareBytes(readOnce.bytes, readOnce.count, &message)
                      : firmware.LoadFirmwareFile(fileName, &message);
    TraceFirmwareFile(fileName, readOnce.bytes != nullptr ? &readOnce.size : nullptr, firmware,
                      loaded, message);
    if (message != nullptr)
        panel.SetStatus(message);
    return loaded;
}

bool DownloadProcedure::CheckBeforeTransfer(DownloadPanel& panel)
{
    TextBuffer modelRow(128);
    if (!ShowFirmwareFile(panel, modelRow))
        return false;
    // The drive selected now must answer at all; silence ends the attempt quietly.
    if (device == nullptr || !DriveCommands::Inquiry(*device))
        return false;
    if (!ChooseDrive(panel, modelRow))
        return false;
    if (!CheckProtocols(panel))
        return false;
    panel.SetStatus("Transfer F/W Code...");
    panel.SetRowState(kRowTransfer, kRowInProgress);
    panel.SetRowValue(kRowTransfer, "Done");
    panel.SetRowState(kRowTransfer, kRowPassed);
    ShowTransferRunning(panel);
    return true;
}

bool DownloadProcedure::ShowFirmwareFile(DownloadPanel& panel, TextBuffer& modelRow)
{
    panel.SetStatus("Reading F/W file...");
    panel.SetRowState(kRowFirmwareModel, kRowInProgress);
    if (!LoadFirmwareFile(panel)) {
        panel.SetRowState(kRowFirmwareModel, kRowFailed);
        return false;
    }
    const ProductDescriptor& file = firmware.fileDescriptor;
    modelRow.Assign(file.modelName).Append(" ").Append(file.revision).Append("  ");
    panel.SetRowValue(kRowFirmwareModel, modelRow.data);
    // Not firmware for this drive: the attempt ends without a word.
    if (!IsExpectedIdentification(modelRow.data))
        return false;
    panel.SetRowState(kRowFirmwareModel, kRowPassed);
    panel.SetRowValue(kRowFirmwareProtocol, ProtocolName(file.protocolType40));
    panel.SetRowState(kRowFirmwareProtocol, kRowPassed);
    char checkSum[8];
    FormatText(checkSum, sizeof checkSum, "%04X", file.checkSum);
    panel.SetRowValue(kRowCheckSum, checkSum);
    panel.SetRowState(kRowCheckSum, kRowPassed);
    return true;
}

bool DownloadProcedure::ChooseDrive(DownloadPanel& panel, TextBuffer& modelRow)
{
    PreparedDrives prepared = PrepareEveryDrive();

    // A drive that took the probe but failed its unload leaves the protocol known. With
    // no drive prepared in this attempt, none has passed the identification check either,
    // and the firmware must not go to whichever drive happens to be selected.
    if (prepared.answered == 0)
        firmware.driveDescriptor.protocolType40 = 0;

    // The host named an RVX-4417K: no other drive may be written in its place.
    int host = HostChoiceIndex();
    if (IsHostChoicePassedOver(host, prepared)) {
        TraceChoice(host, "the host's choice did not take the download: none written");
        panel.SetStatus(kDriveMismatch);
        return false;
    }

    if (prepared.answered == 1 && !SelectOnlyAnswered(prepared.chosen, modelRow)) {
        panel.SetStatus(kDriveMismatch);
        return false;
    }
    bool selected = true;
    if (prepared.answered >= 2)
        selected = host >= 0 ? SelectHostChoice(host) : SelectFirstExpected();

    panel.SetRowValue(kRowDriveModel, modelRow.data);
    if (!selected) {
        panel.SetStatus(kDriveMismatch);
        return false;
    }
    panel.SetRowState(kRowDriveModel, kRowPassed);
    return true;
}

DownloadProcedure::PreparedDrives DownloadProcedure::PrepareEveryDrive()
{
    // Every found drive is prepared twice; the drive that answered is the candidate.
    PreparedDrives prepared = {0, -1, {}};
    for (int l = 0; l < device->DriveCount(); ++l) {
        device->SelectDrive(static_cast<uint8_t>(l));
        prepared.tookProbe[l] = PrepareDrive();
        if (prepared.tookProbe[l])
            ++prepared.answered;
        if (PrepareDrive() && prepared.answered == 1)
            prepared.chosen = l;
    }
    return prepared;
}

bool DownloadProcedure::IsHostChoicePassedOver(int host, const PreparedDrives& prepared) const
{
    return host >= 0 && prepared.answered > 0 &&
           (!prepared.tookProbe[host] || (prepared.answered == 1 && prepared.chosen != host));
}

bool DownloadProcedure::SelectOnlyAnswered(int chosen, TextBuffer& modelRow)
{
    // The one drive that answered failed its second preparation: there is no drive to
    // select, and none may be taken from outside the table.
    if (chosen < 0)
        return false;
    device->SelectDrive(static_cast<uint8_t>(chosen));
    const DriveEntry& entry = device->Drive(chosen);
    modelRow.Assign(entry.modelName);
    if (!IsExpectedIdentification(modelRow.data))
        return false;
    modelRow.Append(" ").Append(entry.revision).Append("  ");
    TraceChoice(chosen, "the one drive that took the download");
    PrepareDrive(); // its probe decides the drive's protocol from here on
    return true;
}

bool DownloadProcedure::SelectHostChoice(int host)
{
    device->SelectDrive(static_cast<uint8_t>(host));
    bool prepared = PrepareDrive();
    TraceChoice(host,
                prepared ? "the host's choice" : "the host's choice, which failed its preparation");
    return prepared;
}

bool DownloadProcedure::SelectFirstExpected()
{
    for (int m = 0; m < device->DriveCount(); ++m) {
        device->SelectDrive(static_cast<uint8_t>(m));
        if (IsExpectedIdentification(device->Drive(m).modelName) && PrepareDrive()) {
            TraceChoice(m, "the first RVX-4417K that took the download; the host named "
                           "none of them");
            return true;
        }
    }
    return false;
}

void DownloadProcedure::TraceChoice(int index, const char* why) const
{
    const DriveEntry& entry = device->Drive(index);
    Trace::Line("choice: drive %u:%u, %s", static_cast<unsigned>(entry.adapterId),
                static_cast<unsigned>(entry.targetId), why);
}

bool DownloadProcedure::CheckProtocols(DownloadPanel& panel)
{
    const ProductDescriptor& file = firmware.fileDescriptor;
    const ProductDescriptor& drive = firmware.driveDescriptor;
    panel.SetStatus("Check download protocol...");
    panel.SetRowState(kRowDriveProtocol, kRowInProgress);
    panel.SetRowValue(kRowDriveProtocol, ProtocolName(drive.protocolType40));
    panel.SetRowState(kRowDriveProtocol, kRowPassed);
    // Both without the protocol is no match either: there would be no write command to
    // send, and the worker would run whatever request was left pending.
    if (file.protocolType40 != drive.protocolType40 || drive.protocolType40 != 1) {
        panel.SetStatus("Mismatch protocol between F/W and drive!");
        panel.SetRowState(kRowDriveProtocol, kRowFailed);
        return false;
    }
    return true;
}

void DownloadProcedure::ShowTransferRunning(DownloadPanel& panel)
{
    panel.SetStatus("Downloading... (Do NOT turn off!)");
    panel.SetRowState(kRowFlashWriting, kRowInProgress);
    panel.ShowProgressBar(kRowFlashWriting);
}

void DownloadProcedure::ReportNotStarted(DownloadPanel& panel) const
{
    panel.RemoveProgressBar();
    panel.SetRowState(kRowFlashWriting, kRowFailed);
    panel.SetStatus("Fail to transfer!");
}

bool DownloadProcedure::PrepareDrive()
{
    ProductDescriptor& drive = firmware.driveDescriptor;
    drive.protocolType40 = 0;
    if (device == nullptr)
        return false;
    if (!DriveCommands::ProbeDownloadProtocol(*device))
        return false;
    drive.protocolType40 = 1;

    DriveCommands::PreventMediumRemoval(*device);

    // The unload is run again, unchanged, for as long as the drive reports UNIT
    // ATTENTION (a medium change or reset it wants to tell about first).
    for (int i = 0; i < kMaxUnloadExecutions; ++i) {
        if (DriveCommands::UnloadMedium(*device))
            return true;
        if (device->SenseKey() != SenseData::kUnitAttention)
            return false;
    }
    return false;
}

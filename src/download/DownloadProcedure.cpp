// The download procedure on the panel's thread before a transfer: the firmware file, the
// checks of file and drive, and the preparation of a drive.
#include "download/DownloadProcedure.h"

#include <cstring>

#include "base/FormatText.h"
#include "cmdtext/FormatCommand.h"
#include "cmdtext/TextBuffer.h"
#include "download/InfoRow.h"
#include "scsi/SenseData.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"

namespace {

// INQUIRY vendor and product identification of the one supported drive.
const char kExpectedIdentification[] = "NEMBRIKACD-ROM RVX-4417K";
const int kIdentificationLength = 24;
const char* const kProtocolNames[2] = {"Unkown", "VEXO Type 4.0"};
const char kDriveMismatch[] = "Mismatch  Drive(RVX-4417K)!";
const int kFileNameSize = 260; // the Windows path limit, NUL included
// A drive stuck in UNIT ATTENTION would otherwise hold the host's window for ever.
const int kMaxUnloadExecutions = 32;

// Equal only when the text's first 24 characters are the identification; a shorter
// text differs.
bool IsExpectedIdentification(const char* text)
{
    return std::strncmp(text, kExpectedIdentification, kIdentificationLength) == 0;
}

const char* ProtocolName(uint8_t protocolType40)
{
    return kProtocolNames[protocolType40 == 1 ? 1 : 0];
}

// What the file is, never its code.
void TraceFirmwareFile(const char* fileName, const FirmwareImage& firmware, int loaded,
                       const char* message)
{
    if (!Trace::IsOn())
        return;
    long size = TraceFile::SizeOf(fileName);
    if (!loaded) {
        Trace::Line("firmware '%s', %ld bytes: not loaded, %s", fileName, size,
                    message != nullptr ? message : "no file named");
        return;
    }
    const ProductDescriptor& file = firmware.fileDescriptor;
    Trace::Line("firmware '%s', %ld bytes: model '%s', revision '%s', %s, check sum %04X", fileName,
                size, file.modelName, file.revision,
                file.protocolType40 ? "protocol marker found" : "no protocol marker",
                static_cast<unsigned>(file.checkSum));
}

} // namespace

DownloadProcedure::DownloadProcedure(ScsiDevice* connection, FirmwareImage& image)
    : device(connection), firmware(image)
{
}

int DownloadProcedure::LoadFirmwareFile(const DownloadPanel& panel)
{
    char fileName[kFileNameSize] = "";
    panel.GetFileName(fileName, sizeof fileName);
    const char* message = nullptr;
    int loaded = firmware.LoadFirmwareFile(fileName, &message);
    TraceFirmwareFile(fileName, firmware, loaded, message);
    if (message != nullptr)
        panel.SetStatus(message);
    return loaded;
}

int DownloadProcedure::CheckBeforeTransfer(const DownloadPanel& panel)
{
    panel.SetStatus("Reading F/W file...");
    panel.SetRowState(kRowFirmwareModel, kRowInProgress);
    if (!LoadFirmwareFile(panel)) {
        panel.SetRowState(kRowFirmwareModel, kRowFailed);
        return 0;
    }

    const ProductDescriptor& file = firmware.fileDescriptor;
    ProductDescriptor& drive = firmware.driveDescriptor;
    TextBuffer rowText(128);
    rowText.Assign(file.modelName).Append(" ").Append(file.revision).Append("  ");
    panel.SetRowValue(kRowFirmwareModel, rowText.data);
    // Not firmware for this drive: the attempt ends without a word.
    if (!IsExpectedIdentification(rowText.data))
        return 0;
    panel.SetRowState(kRowFirmwareModel, kRowPassed);
    panel.SetRowValue(kRowFirmwareProtocol, ProtocolName(file.protocolType40));
    panel.SetRowState(kRowFirmwareProtocol, kRowPassed);
    char checkSum[8];
    FormatText(checkSum, sizeof checkSum, "%04X", file.checkSum);
    panel.SetRowValue(kRowCheckSum, checkSum);
    panel.SetRowState(kRowCheckSum, kRowPassed);

    // The drive selected now must answer at all; silence ends the attempt quietly.
    if (device == nullptr)
        return 0;
    FormatCommand(*device, "12 0 0 0 d'46 /R46");
    if (device->ExecuteCommand() != 1)
        return 0;

    // Every found drive is prepared twice; the drive that answered is the candidate.
    int answered = 0;
    int chosen = -1;
    for (int l = 0; l < device->driveCount; ++l) {
        device->SelectDrive(static_cast<uint8_t>(l));
        if (PrepareDrive())
            ++answered;
        if (PrepareDrive() && answered == 1)
            chosen = l;
    }

    // A drive that took the probe but failed its unload leaves the protocol known. With
    // no drive prepared in this attempt, none has passed the identification check either,
    // and the firmware must not go to whichever drive happens to be selected.
    if (answered == 0)
        drive.protocolType40 = 0;

    bool driveMismatch = false;
    if (answered == 1) {
        // The one drive that answered failed its second preparation: there is no drive
        // to select, and none may be taken from outside the table.
        if (chosen < 0) {
            panel.SetStatus(kDriveMismatch);
            return 0;
        }
        device->SelectDrive(static_cast<uint8_t>(chosen));
        rowText.Assign(device->drives[chosen].modelName);
        if (!IsExpectedIdentification(rowText.data)) {
            panel.SetStatus(kDriveMismatch);
            return 0;
        }
        rowText.Append(" ").Append(device->drives[chosen].revision).Append("  ");
        PrepareDrive(); // its probe decides the drive's protocol from here on
    } else if (answered >= 2) {
        bool found = false;
        TextBuffer candidate(128);
        for (int m = 0; m < device->driveCount && !found; ++m) {
            device->SelectDrive(static_cast<uint8_t>(m));
            candidate.Assign(device->drives[m].modelName);
            if (IsExpectedIdentification(candidate.data) && PrepareDrive())
                found = true;
        }
        driveMismatch = !found;
    }

    panel.SetRowValue(kRowDriveModel, rowText.data);
    if (driveMismatch) {
        panel.SetStatus(kDriveMismatch);
        return 0;
    }
    panel.SetRowState(kRowDriveModel, kRowPassed);
    panel.SetStatus("Check download protocol...");
    panel.SetRowState(kRowDriveProtocol, kRowInProgress);
    panel.SetRowValue(kRowDriveProtocol, ProtocolName(drive.protocolType40));
    panel.SetRowState(kRowDriveProtocol, kRowPassed);
    // Both without the protocol is no match either: there would be no write command to
    // send, and the worker would run whatever request was left pending.
    if (file.protocolType40 != drive.protocolType40 || drive.protocolType40 != 1) {
        panel.SetStatus("Mismatch protocol between F/W and drive!");
        panel.SetRowState(kRowDriveProtocol, kRowFailed);
        return 0;
    }

    panel.SetStatus("Transfer F/W Code...");
    panel.SetRowState(kRowTransfer, kRowInProgress);
    panel.SetRowValue(kRowTransfer, "Done");
    panel.SetRowState(kRowTransfer, kRowPassed);
    ShowTransferRunning(panel);
    return 1;
}

void DownloadProcedure::ShowTransferRunning(const DownloadPanel& panel)
{
    panel.SetStatus("Downloading... (Do NOT turn off!)");
    panel.SetRowState(kRowFlashWriting, kRowInProgress);
    panel.ShowProgressBar(kRowFlashWriting);
}

void DownloadProcedure::ReportNotStarted(const DownloadPanel& panel) const
{
    panel.RemoveProgressBar();
    panel.SetRowState(kRowFlashWriting, kRowFailed);
    panel.SetStatus("Fail to transfer!");
}

int DownloadProcedure::PrepareDrive()
{
    ProductDescriptor& drive = firmware.driveDescriptor;
    drive.protocolType40 = 0;
    if (device == nullptr)
        return 0;
    FormatCommand(*device, "CB 0 1 0 0 0 0 F8 02 0 40");
    if (device->ExecuteCommand())
        drive.protocolType40 = 1;
    if (drive.protocolType40 == 0)
        return 0;

    FormatCommand(*device, "1e 0 0 0 2");
    device->ExecuteCommand();

    // The unload is run again, unchanged, for as long as the drive reports UNIT
    // ATTENTION (a medium change or reset it wants to tell about first).
    FormatCommand(*device, "1B 0 0 0 2 /t30");
    for (int i = 0; i < kMaxUnloadExecutions; ++i) {
        int result = device->ExecuteCommand();
        if (result != 0)
            return result;
        if (device->senseKey != SenseData::kUnitAttention)
            return 0;
    }
    return 0;
}

// "&Download": the checks before a transfer, in one pass on the panel's thread, then the
// start of the transfer worker.
#include <windows.h>

#include <cstring>

#include "cmdtext/FormatCommand.h"
#include "base/FormatText.h"
#include "cmdtext/TextBuffer.h"
#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

namespace {

// INQUIRY vendor and product identification of the one supported drive.
const char kExpectedIdentification[] = "NEMBRIKACD-ROM RVX-4417K";
const int kIdentificationLength = 24;
const char* const kProtocolNames[2] = {"Unkown", "VEXO Type 4.0"};
const char kDriveMismatch[] = "Mismatch  Drive(RVX-4417K)!";

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

} // namespace

void Downloader::SetRowState(int row, int8_t state)
{
    // Writing the key text back with a new image changes only the icon.
    const char* key = infoList->GetCellText(row, 0, nullptr);
    infoList->SetCell(row, 0, key, state);
    HWND list = infoList->GetHandle();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
}

int Downloader::StartDownload()
{
    // A write in flight owns the drive connection: not one command may go out meanwhile.
    if (IsTransferRunning())
        return 0;
    if (infoList == nullptr || statusText == nullptr)
        return 0;
    for (int row = 0; row < 7; ++row) {
        SetRowState(row, kRowIdle);
        infoList->SetCell(row, 1, "", -1);
    }
    SetStatePicture(IDB_LOGO);
    statusText->SetText("Reading F/W file...");
    SetRowState(0, kRowInProgress);
    if (!LoadFirmwareFile()) {
        SetRowState(0, kRowFailed);
        return 0;
    }

    const ProductDescriptor& file = firmware.fileDescriptor;
    ProductDescriptor& drive = firmware.driveDescriptor;
    TextBuffer rowText(128);
    rowText.Assign(file.modelName).Append(" ").Append(file.revision).Append("  ");
    infoList->SetCell(0, 1, rowText.data, -1);
    // Not firmware for this drive: the attempt ends without a word.
    if (!IsExpectedIdentification(rowText.data))
        return 0;
    SetRowState(0, kRowPassed);
    infoList->SetCell(1, 1, ProtocolName(file.protocolType40), -1);
    SetRowState(1, kRowPassed);
    char checkSum[8];
    FormatText(checkSum, sizeof checkSum, "%04X", file.checkSum);
    infoList->SetCell(2, 1, checkSum, -1);
    SetRowState(2, kRowPassed);

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
            statusText->SetText(kDriveMismatch);
            return 0;
        }
        device->SelectDrive(static_cast<uint8_t>(chosen));
        rowText.Assign(device->drives[chosen].modelName);
        if (!IsExpectedIdentification(rowText.data)) {
            statusText->SetText(kDriveMismatch);
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

    infoList->SetCell(3, 1, rowText.data, -1);
    if (driveMismatch) {
        statusText->SetText(kDriveMismatch);
        return 0;
    }
    SetRowState(3, kRowPassed);
    statusText->SetText("Check download protocol...");
    SetRowState(4, kRowInProgress);
    infoList->SetCell(4, 1, ProtocolName(drive.protocolType40), -1);
    SetRowState(4, kRowPassed);
    // Both without the protocol is no match either: there would be no write command to
    // send, and the worker would run whatever request was left pending.
    if (file.protocolType40 != drive.protocolType40 || drive.protocolType40 != 1) {
        statusText->SetText("Mismatch protocol between F/W and drive!");
        SetRowState(4, kRowFailed);
        return 0;
    }

    statusText->SetText("Transfer F/W Code...");
    SetRowState(5, kRowInProgress);
    infoList->SetCell(5, 1, "Done", -1);
    SetRowState(5, kRowPassed);

    statusText->SetText("Downloading... (Do NOT turn off!)");
    SetRowState(6, kRowInProgress);
    CreateProgressBar(6);
    transferState = kTransferRunning;
    disabledWindow = hostParams.hostWindow;
    // Windows 9x creates no thread without a place for its identifier.
    DWORD workerId = 0;
    HANDLE worker = nullptr;
    if (instanceLifetime.BeginTransfer(this)) {
        worker = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, &workerId);
        if (worker == nullptr)
            instanceLifetime.AbandonTransfer();
    }
    if (worker == nullptr) {
        // Nothing was sent: no timer, and nothing to restart for.
        DestroyProgressBar();
        SetRowState(6, kRowFailed);
        statusText->SetText("Fail to transfer!");
        transferState = 0;
        return 0;
    }
    CloseHandle(worker); // nothing waits for the worker
    transferUnreported = 1;
    return 1;
}

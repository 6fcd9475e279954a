// The transfer timer on the panel's thread: the blinking state picture and the progress
// bar while the worker writes, then the report of its result.
#include <windows.h>

#include "host/Downloader.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

ULONG progressTicks;

namespace {

const UINT kTransferTimerMs = 500;
// The bar shows time, not data: full after about 4.5 seconds of a transfer.
const ULONG kTicksPerStep = 1100;
const ULONG kTicksForFullBar = 9000;

} // namespace

void Downloader::StartTransferTimer()
{
    // Normally 0 already; not so when the panel closed itself under a running transfer,
    // whose last tick then never came.
    progressTicks = 0;
    SetTimer(dialog, kTransferTimer, kTransferTimerMs, nullptr);
}

void Downloader::ResumeTransferDisplay()
{
    downloadUnderWay = 1;
    EnableButtons(FALSE);
    if (statusText != nullptr)
        statusText->SetText("Downloading... (Do NOT turn off!)");
    if (infoList != nullptr)
        SetRowState(6, kRowInProgress);
    CreateProgressBar(6);
    SetProgress(static_cast<int>(progressTicks * 100 / kTicksForFullBar));
    // The bar goes on from where the closed panel left it.
    SetTimer(dialog, kTransferTimer, kTransferTimerMs, nullptr);
}

int Downloader::OnTransferTick()
{
    BlinkStatePicture();
    if (transferState == kTransferRunning) {
        progressTicks += kTicksPerStep;
        SetProgress(static_cast<int>(progressTicks * 100 / kTicksForFullBar));
        return 1;
    }
    KillTimer(dialog, kTransferTimer);
    progressTicks = 0;
    transferUnreported = 0;
    int succeeded = CompleteDownload();
    downloadUnderWay = 0;
    if (!succeeded) {
        EnableButtons(TRUE);
        SetStatePicture(IDB_NG);
        return 1;
    }
    SetStatePicture(IDB_OK);
    return ShutDownPrompt();
}

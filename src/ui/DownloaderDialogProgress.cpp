// The panel during a transfer: the progress bar that sits over a value cell of the
// information list (placed once, it does not follow the list), and the transfer timer
// whose ticks move it by time.
#include "ui/DownloaderDialog.h"

namespace {

const int kMaxBarWidth = 150;
const UINT kTransferTimerMs = 500;
// The bar shows time, not data: full after about 4.5 seconds of a transfer.
const ULONG kTicksPerStep = 1100;
const ULONG kTicksForFullBar = 9000;

} // namespace

void DownloaderDialog::CreateProgressBar(int row)
{
    if (dialog == nullptr)
        return;
    RECT cell = {};
    if (!infoList.GetSubItemRect(row, 1, &cell)) // the value cell
        return;
    // At most 150 pixels at 96 pixels per inch, more on a denser screen.
    int maxWidth = Scaled(kMaxBarWidth);
    int width = cell.right - cell.left;
    if (width > maxWidth)
        width = maxWidth;
    progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                  cell.left, cell.top, width, cell.bottom - cell.top,
                                  infoList.GetHandle(), nullptr, module, nullptr);
    if (progressBar == nullptr)
        return;
    SendMessageA(progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(progressBar, PBM_SETBKCOLOR, 0, RGB(255, 255, 255));
}

void DownloaderDialog::SetProgress(int position)
{
    if (progressBar != nullptr)
        SendMessageA(progressBar, PBM_SETPOS, position, 0);
}

void DownloaderDialog::DestroyProgressBar()
{
    if (progressBar != nullptr)
        DestroyWindow(progressBar);
    progressBar = nullptr;
}

void DownloaderDialog::StartTransferTimer()
{
    // Normally 0 already; not so when the panel closed itself under a running transfer,
    // whose last tick then never came.
    progressTicks = 0;
    SetTimer(dialog, kTransferTimer, kTransferTimerMs, nullptr);
}

void DownloaderDialog::ResumeTransferTimer()
{
    // The bar goes on from where the closed panel left it.
    SetProgress(static_cast<int>(progressTicks * 100 / kTicksForFullBar));
    SetTimer(dialog, kTransferTimer, kTransferTimerMs, nullptr);
}

void DownloaderDialog::AdvanceProgress()
{
    progressTicks += kTicksPerStep;
    SetProgress(static_cast<int>(progressTicks * 100 / kTicksForFullBar));
}

void DownloaderDialog::StopTransferTimer()
{
    KillTimer(dialog, kTransferTimer);
    progressTicks = 0;
}

// The Downloader: opening and closing the panel, and the road of a download through the
// panel's messages: "&Download", the transfer timer, the report and the shut-down prompt.
#include "host/Downloader.h"

#include "host/WindowsSession.h"
#include "settings/StoredSettings.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"

namespace {

const char kShutDownNotice[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

} // namespace

Downloader::Downloader(HINSTANCE moduleInstance, HWND parent, TransferHandoff& transfers)
    : instance(moduleInstance), parentWindow(parent), hostParams(), morphing(0),
      verifyTransfer(true), handoff(transfers), downloadUnderWay(false), transferUnreported(false)
{
}

Downloader::~Downloader()
{
    panel.Close();
    handoff.Dispose();
}

bool Downloader::IsWindows9x()
{
    DriveContext* drive = handoff.Drive();
    return drive != nullptr && drive->Device() != nullptr && drive->Device()->IsWindows9x();
}

void Downloader::SettleTrace()
{
    char tracePath[TraceFile::kPathSize];
    Trace::Settle(StoredSettings::ReadTraceFile(tracePath, sizeof tracePath) ? tracePath : nullptr);
}

int Downloader::OpenDialog()
{
    Trace::Line("open: drive address %08lX: adapter %u, target %u",
                static_cast<unsigned long>(hostParams.driveAddress),
                static_cast<unsigned>(hostParams.driveAddress & 0xFF),
                static_cast<unsigned>((hostParams.driveAddress >> 8) & 0xFF));
    if (!panel.Create(instance, parentWindow, DownloaderDialogProc,
                      reinterpret_cast<LPARAM>(this))) {
        // Without a panel nothing else would decide the trace, and its last line says why.
        SettleTrace();
        return 0;
    }
    handoff.SetPanelOpen(true);
    panel.ShowTitle(hostParams.captionWindow);
    // The host's address wins over what discovery chose. Without a device the panel
    // still opens; every download then ends at the drive check. A running write keeps
    // the address it was sent to (the drive is the worker's): an abort after its time-out
    // must name it.
    DriveContext* drive = handoff.Drive();
    if (drive != nullptr && drive->Device() != nullptr) {
        drive->Device()->SetAdapter(static_cast<uint8_t>(hostParams.driveAddress & 0xFF));
        drive->Device()->SetTarget(static_cast<uint8_t>((hostParams.driveAddress >> 8) & 0xFF));
    }
    panel.FindInitialFirmwareFile();
    StoredSettings::ReadMorphing(&morphing);
    SettleTrace();

    if (handoff.IsRunning() || transferUnreported)
        ResumeTransferDisplay();
    return panel.Show(hostParams.x, hostParams.y, hostParams.width, hostParams.height);
}

int Downloader::CloseDialog()
{
    return panel.Close();
}

void Downloader::OnPanelDestroyed()
{
    panel.Forget();
    downloadUnderWay = false;
    handoff.SetPanelOpen(false);
}

HWND Downloader::PaintTarget(HWND window) const
{
    // Never a null window: that would invalidate every window on the desktop.
    return panel.Window() != nullptr ? panel.Window() : window;
}

int Downloader::OnInitDialog(HWND)
{
    return 1;
}

void Downloader::OnFileNameChange(HWND window)
{
    if (downloadUnderWay || handoff.IsRunning())
        return;
    DownloaderDialog::UpdateDownloadButton(window);
}

void Downloader::OnOpenFileButton()
{
    panel.ChooseFirmwareFile();
}

void Downloader::OnDownloadButton()
{
    if (downloadUnderWay || handoff.IsRunning())
        return;
    downloadUnderWay = true;
    panel.EnableButtons(false);
    if (StartDownload()) {
        panel.StartTransferTimer();
        return;
    }
    downloadUnderWay = false;
    panel.EnableButtons(true);
    panel.SetStatePicture(DownloaderDialog::kPictureFailed);
}

bool Downloader::StartDownload()
{
    // A write in flight owns the drive: not one command may go out meanwhile.
    DriveContext* drive = handoff.Drive();
    if (drive == nullptr || !IsPanelOpen())
        return false;
    panel.ResetRows();
    panel.SetStatePicture(DownloaderDialog::kPictureLogo);
    DownloadProcedure procedure(drive->Device(), drive->Firmware());
    procedure.SetHostChoice(static_cast<uint8_t>(hostParams.driveAddress & 0xFF),
                            static_cast<uint8_t>((hostParams.driveAddress >> 8) & 0xFF));
    if (!procedure.CheckBeforeTransfer(panel))
        return false;
    if (!handoff.Start(hostParams.hostWindow, verifyTransfer)) {
        // Nothing was sent: no timer, and nothing to restart for.
        procedure.ReportNotStarted(panel);
        return false;
    }
    transferUnreported = true;
    return true;
}

void Downloader::ResumeTransferDisplay()
{
    downloadUnderWay = true;
    panel.EnableButtons(false);
    panel.ShowRows();
    DownloadProcedure::ShowTransferRunning(panel);
    panel.ResumeTransferTimer();
}

bool Downloader::OnTransferTick()
{
    panel.BlinkStatePicture();
    if (handoff.IsRunning()) {
        panel.AdvanceProgress();
        return true;
    }
    panel.StopTransferTimer();
    transferUnreported = false;
    bool succeeded = CompleteDownload();
    downloadUnderWay = false;
    bool shown = true;
    if (succeeded) {
        panel.SetStatePicture(DownloaderDialog::kPictureOk);
        shown = ShutDownPrompt();
    } else {
        panel.EnableButtons(true);
        panel.SetStatePicture(DownloaderDialog::kPictureFailed);
    }
    // The outcome has been shown, its box answered and its request made: only now may the
    // host close.
    handoff.ReleaseHostWindow();
    return shown;
}

bool Downloader::CompleteDownload()
{
    DriveContext* drive = handoff.Drive();
    if (drive == nullptr)
        return false;
    WindowsSession session(IsWindows9x());
    DownloadProcedure procedure(drive->Device(), drive->Firmware());
    return procedure.CompleteDownload(panel, session, handoff.State(), verifyTransfer);
}

bool Downloader::ShutDownPrompt()
{
    int answer = panel.ShowMessage(kShutDownNotice, "Notice", MB_OK | MB_ICONEXCLAMATION);
    Trace::Line("shut-down notice: answered %d", answer);
    if (answer != IDOK)
        return false;
    WindowsSession(IsWindows9x()).RequestShutDown();
    return true;
}

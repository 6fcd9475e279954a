// The Downloader: its construction and destruction, opening and closing the panel, and
// the road of a download through the panel's messages: "&Download", the transfer timer,
// the report and the shut-down prompt.
#include "host/Downloader.h"

#include <cstring>
#include <new>

#include "host/InstanceLifetime.h"
#include "host/WindowsSession.h"
#include "settings/StoredSettings.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"
#include "ui/resources/resource.h"

namespace {

const char kShutDownNotice[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

// The panel's side of DownloadPanel: owner is the Downloader.
Downloader& Of(void* owner)
{
    return *static_cast<Downloader*>(owner);
}

void SetRowState(void* owner, int row, int state)
{
    Of(owner).panel.SetRowState(row, state);
}

void SetRowValue(void* owner, int row, const char* text)
{
    Of(owner).panel.SetRowValue(row, text);
}

void SetStatus(void* owner, const char* text)
{
    Of(owner).panel.SetStatus(text);
}

void ShowProgressBar(void* owner, int row)
{
    Of(owner).panel.CreateProgressBar(row);
}

void RemoveProgressBar(void* owner)
{
    Of(owner).panel.DestroyProgressBar();
}

void GetFileName(void* owner, char* path, int size)
{
    Of(owner).panel.GetFileName(path, size);
}

int Warn(void* owner, const char* text, const char* caption)
{
    return Of(owner).panel.ShowMessage(text, caption, MB_OK | MB_ICONHAND);
}

void Restart(void* owner)
{
    Downloader& downloader = Of(owner);
    WindowsSession::RequestExit(EWX_REBOOT, "restart",
                                downloader.device != nullptr && downloader.device->isWindows9x);
}

const DownloadPanel::Functions kPanelFunctions = {
    SetRowState,       SetRowValue, SetStatus, ShowProgressBar,
    RemoveProgressBar, GetFileName, Warn,      Restart,
};

} // namespace

Downloader::Downloader(HINSTANCE moduleInstance, HWND parent)
{
    // First of all: everything after may already reach the instance.
    instanceLifetime.Adopt(this);

    instance = moduleInstance;
    parentWindow = parent;
    dialogTemplate = kDialogTemplate;
    std::memset(&hostParams, 0, sizeof hostParams);
    morphing = 0;
    verifyTransfer = 1;
    transferState = 0;
    downloadUnderWay = 0;
    transferUnreported = 0;
    disabledWindow = nullptr;
    std::memset(&firmware.fileDescriptor, 0, sizeof firmware.fileDescriptor);
    std::memset(&firmware.driveDescriptor, 0, sizeof firmware.driveDescriptor);

    device = new (std::nothrow) ScsiDevice(kDeviceBufferRequest);
    if (device != nullptr && device->bufferBlock == nullptr) {
        delete device; // no transfer buffer: as good as no device
        device = nullptr;
    }
    if (device != nullptr)
        device->DiscoverDrives();
}

Downloader::~Downloader()
{
    instanceLifetime.Forget(this);
    // A device whose request the ASPI layer kept after a time-out is not freed: the
    // layer may still write into its request block and buffer.
    if (device != nullptr && !device->IsRequestHeld())
        delete device;
    device = nullptr;
    if (panel.dialog != nullptr)
        CloseDialog();
}

DownloadProcedure Downloader::Procedure()
{
    return DownloadProcedure(device, firmware);
}

DownloadPanel Downloader::PanelForProcedure()
{
    return DownloadPanel(this, kPanelFunctions);
}

int Downloader::IsWindows9x() const
{
    return device != nullptr && device->isWindows9x;
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
    if (!panel.Create(instance, dialogTemplate, parentWindow, DownloaderDialogProc)) {
        // Without a panel nothing else would decide the trace, and its last line says why.
        SettleTrace();
        return 0;
    }
    panel.ShowTitle(hostParams.captionWindow);
    // The host's address wins over what discovery chose. Without a device the panel
    // still opens; every download then ends at the drive check. A running write keeps
    // the address it was sent to: an abort after its time-out must name it.
    if (device != nullptr && !IsTransferRunning()) {
        device->SetAdapter(static_cast<uint8_t>(hostParams.driveAddress & 0xFF));
        device->SetTarget(static_cast<uint8_t>((hostParams.driveAddress >> 8) & 0xFF));
    }
    panel.FindInitialFirmwareFile();
    StoredSettings::ReadMorphing(&morphing);
    SettleTrace();

    if (IsTransferRunning() || transferUnreported)
        ResumeTransferDisplay();
    return panel.Show(hostParams.x, hostParams.y, hostParams.width, hostParams.height);
}

int Downloader::CloseDialog()
{
    int closed = panel.Close();
    if (panel.dialog != nullptr)
        return closed;
    downloadUnderWay = 0;
    return closed;
}

int Downloader::OnInitDialog(HWND)
{
    return 1;
}

void Downloader::OnFileNameChange(HWND window)
{
    if (downloadUnderWay || IsTransferRunning())
        return;
    DownloaderDialog::UpdateDownloadButton(window);
}

void Downloader::OnDownloadButton()
{
    if (downloadUnderWay || IsTransferRunning())
        return;
    downloadUnderWay = 1;
    panel.EnableButtons(FALSE);
    if (StartDownload() == 1) {
        StartTransferTimer();
        return;
    }
    downloadUnderWay = 0;
    panel.EnableButtons(TRUE);
    panel.SetStatePicture(IDB_NG);
}

int Downloader::StartDownload()
{
    // A write in flight owns the drive connection: not one command may go out meanwhile.
    if (IsTransferRunning())
        return 0;
    if (!panel.IsOpen())
        return 0;
    panel.ResetRows();
    panel.SetStatePicture(IDB_LOGO);
    DownloadProcedure procedure = Procedure();
    if (!procedure.CheckBeforeTransfer(PanelForProcedure()))
        return 0;

    disabledWindow = hostParams.hostWindow;
    // Windows 9x creates no thread without a place for its identifier.
    DWORD workerId = 0;
    HANDLE worker = nullptr;
    if (instanceLifetime.BeginTransfer(this)) {
        worker = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, &workerId);
        if (worker == nullptr)
            instanceLifetime.AbandonTransfer(this);
    }
    if (worker == nullptr) {
        // Nothing was sent: no timer, and nothing to restart for.
        procedure.ReportNotStarted(PanelForProcedure());
        return 0;
    }
    CloseHandle(worker); // nothing waits for the worker
    transferUnreported = 1;
    return 1;
}

void Downloader::StartTransferTimer()
{
    panel.StartTransferTimer();
}

void Downloader::ResumeTransferDisplay()
{
    downloadUnderWay = 1;
    panel.EnableButtons(FALSE);
    DownloadProcedure::ShowTransferRunning(PanelForProcedure());
    panel.ResumeTransferTimer();
}

int Downloader::OnTransferTick()
{
    panel.BlinkStatePicture();
    if (IsTransferRunning()) {
        panel.AdvanceProgress();
        return 1;
    }
    panel.StopTransferTimer();
    transferUnreported = 0;
    int succeeded = CompleteDownload();
    downloadUnderWay = 0;
    if (!succeeded) {
        panel.EnableButtons(TRUE);
        panel.SetStatePicture(IDB_NG);
        return 1;
    }
    panel.SetStatePicture(IDB_OK);
    return ShutDownPrompt();
}

int Downloader::CompleteDownload()
{
    return Procedure().CompleteDownload(PanelForProcedure(), transferState, verifyTransfer);
}

int Downloader::ShutDownPrompt()
{
    int answer = panel.ShowMessage(kShutDownNotice, "Notice", MB_OK | MB_ICONEXCLAMATION);
    Trace::Line("shut-down notice: answered %d", answer);
    if (answer != IDOK)
        return 0;
    WindowsSession::RequestExit(EWX_SHUTDOWN | EWX_FORCE, "shut-down", IsWindows9x());
    return 1;
}

// The one downloader instance that the exports build and free: it joins the panel
// (ui/DownloaderDialog), the download procedure (download/DownloadProcedure), the
// firmware image and the drive connection, and answers the panel's messages. Its members
// are grouped by the thread that may touch them. InstanceLifetime decides when it may be
// built and freed, and is how the dialog procedure and the worker reach it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "download/DownloadPanel.h"
#include "download/DownloadProcedure.h"
#include "image/FirmwareImage.h"
#include "kdll.h"
#include "scsi/ScsiDevice.h"
#include "ui/DownloaderDialog.h"
#include "ui/resources/resource.h"

class Downloader {
public:
    enum {
        kDialogTemplate = IDD_DOWNLOADER,
        // What the device is asked for, the image's size; the device caps its buffer at
        // 65,536 bytes, which the 63,490-byte payload fits.
        kDeviceBufferRequest = 65545,
        kTransferRunning = DownloadProcedure::kTransferRunning,
    };

    Downloader(HINSTANCE moduleInstance, HWND parent);
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // KDLL_Open: creates, fills, places and shows the panel; 0 when it cannot be created.
    int OpenDialog();
    // KDLL_Close: destroys the panel; non-zero when it was destroyed or there was none,
    // 0 when the window cannot be destroyed (from another thread).
    int CloseDialog();

    // The panel's messages (host/DownloaderDialogProc.cpp).
    // WM_INITDIALOG: does nothing and returns 1, since the panel is filled once its
    // creation has returned; it stays as the one place such a message would be handled.
    int OnInitDialog(HWND window);
    void OnFileNameChange(HWND window);
    void OnDownloadButton();
    // One tick of the transfer timer; 0 when the shut-down notice could not be shown.
    int OnTransferTick();

    // "&Download": the checks, then the start of the worker; 1 when the worker runs.
    int StartDownload();
    // After the worker: the report and the check of the new firmware; 1 on success.
    int CompleteDownload();
    // The notice after a successful download, then the shut-down request; 0 when the
    // notice could not be shown.
    int ShutDownPrompt();
    // The worker's part (host/TransferWorker.cpp): the write, then the end of the
    // transfer. Does not return.
    void RunTransfer();

    // 1 from the start of a transfer until the worker has stored its result.
    int IsTransferRunning() const { return transferState == kTransferRunning; }

    // The panel's thread (the one that runs the exports) only.
    HINSTANCE instance;
    HWND parentWindow;
    // Always kDialogTemplate, set at construction: the one place that names the template
    // the panel is created from, beside the module that holds it.
    int dialogTemplate;
    // The last parameter block from KDLL_Create or KDLL_Open; words 2 to 8 are read
    // when they are needed, so the last KDLL_Open's are in force.
    KdllParams hostParams;
    // The stored setting "Morphing", read each time the panel opens; nothing reads it,
    // and it stays as the one place in the instance that holds the setting.
    uint32_t morphing;
    DownloaderDialog panel;

    // The worker's from the start of a transfer until it has stored its result, the
    // panel's thread's otherwise. A device whose request the ASPI layer kept after a
    // time-out stays the layer's even after that (ScsiDevice::IsRequestHeld).
    ScsiDevice* device;
    FirmwareImage firmware;
    // Read by both threads; always 1, since nothing gives the flag another value: the
    // transfer's own result decides success. With 0 the worker would assume success after
    // a fixed wait and the completion would restart Windows, a way kept for such a flag.
    int32_t verifyTransfer;

    // The one field both threads use while a transfer runs: 999 from the start of the
    // transfer, then the worker's result, 1 or 0. InstanceLifetime writes it under its
    // lock; the panel's timer polls it.
    volatile LONG transferState;

private:
    DownloadProcedure Procedure();
    // The panel as the download procedure sees it.
    DownloadPanel PanelForProcedure();
    int IsWindows9x() const;
    // KDLL_TRACE, else the stored setting, decides whether the trace is on.
    void SettleTrace();
    void StartTransferTimer();
    // A panel opened while the worker writes, or before its result was reported: shows
    // the transfer as its start left the panel, and starts the timer that reports it.
    void ResumeTransferDisplay();

    // The panel's thread only. From "&Download" until the attempt has ended, the
    // completion check included, on the panel that is open: nothing may start a second
    // attempt meanwhile.
    int downloadUnderWay;
    // The panel's thread only. From the start of a transfer until its result has been
    // reported on a panel, whichever panel is open then.
    int transferUnreported;
    // Taken by the panel's thread when the transfer starts, read by the worker: the host
    // window the worker disables and enables again, whatever KDLL_Open passes meanwhile.
    HWND disabledWindow;
};

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI TransferWorker(LPVOID parameter);

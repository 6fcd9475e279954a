// The one downloader instance that the exports build and free: it joins the panel
// (ui/DownloaderDialog), the download procedure (download/DownloadProcedure) and the
// drive it works on, which TransferHandoff holds, and answers the panel's messages.
// Everything here belongs to the panel's thread, the one that built the instance: the
// worker gets its TransferJob and never sees the instance.
#pragma once

#include <windows.h>

#include <cstdint>

#include "download/DownloadProcedure.h"
#include "host/TransferHandoff.h"
#include "kdll.h"
#include "ui/DownloaderDialog.h"

class Downloader {
public:
    // The panel's side of an instance whose drive context handoff holds.
    Downloader(HINSTANCE moduleInstance, HWND parent, TransferHandoff& handoff);
    // Closes the panel and gives up the drive: freed now, or by a worker still writing.
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The last parameter block from KDLL_Create or KDLL_Open; words 2 to 8 are read
    // when they are needed, so the last KDLL_Open's are in force.
    void SetHostParams(const KdllParams& params) { hostParams = params; }
    bool IsPanelOpen() const { return panel.Window() != nullptr; }
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
    void OnOpenFileButton();
    void OnDownloadButton();
    // One tick of the transfer timer; false when the shut-down notice could not be shown.
    bool OnTransferTick();
    // WM_DESTROY: the panel's window is going.
    void OnPanelDestroyed();
    // WM_PAINT: the window to repaint, never null.
    HWND PaintTarget(HWND window) const;

private:
    friend struct LibraryInternals; // the tests' view of the private state
    // "&Download": the checks, then the start of the worker; true when the worker runs.
    bool StartDownload();
    // After the worker: the report and the check of the new firmware; true on success.
    bool CompleteDownload();
    // The notice after a successful download, then the shut-down request; false when the
    // notice could not be shown.
    bool ShutDownPrompt();
    bool IsWindows9x();
    // KDLL_TRACE, else the stored setting, decides whether the trace is on.
    void SettleTrace();
    // A panel opened while the worker writes, or before its result was reported: shows
    // the transfer as its start left the panel, and starts the timer that reports it.
    void ResumeTransferDisplay();

    HINSTANCE instance;
    HWND parentWindow;
    KdllParams hostParams;
    // The stored setting "Morphing", read each time the panel opens; nothing reads it,
    // and it stays as the one place in the instance that holds the setting.
    uint32_t morphing;
    // Always true, set at construction: the transfer's own result decides success. With
    // false the worker would assume success after a fixed wait and the completion would
    // restart Windows, a way kept for such a flag.
    bool verifyTransfer;
    DownloaderDialog panel;
    TransferHandoff& handoff;
    // From "&Download" until the attempt has ended, the completion check included, on the
    // panel that is open: nothing may start a second attempt meanwhile.
    bool downloadUnderWay;
    // From the start of a transfer until its result has been reported on a panel,
    // whichever panel is open then.
    bool transferUnreported;
};

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

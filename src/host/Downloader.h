// The one downloader instance: window handles, the drive connection, the firmware image
// and the state of a download. Its operations live with their subsystems: the panel in
// ui/, the firmware file in image/, the download procedure in download/.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "image/FirmwareImage.h"
#include "kdll.h"
#include "scsi/ScsiDevice.h"

class ListViewControl;
class StaticTextControl;

class Downloader {
public:
    enum { kDialogTemplate = 101, kDeviceBufferRequest = 65545, kTransferRunning = 999 };
    enum { kTransferTimer = 100 };
    // Row states: the images of the information list.
    enum { kRowIdle = 0, kRowPassed = 1, kRowFailed = 2, kRowInProgress = 3 };

    Downloader(HINSTANCE moduleInstance, HWND parent);
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // The panel (ui/DownloaderDialog.cpp).
    // Creates, fills, places and shows the panel; 0 when it cannot be created.
    int OpenDialog();
    // Destroys the panel and deletes the wrappers; non-zero when it was destroyed or
    // there was none. When the window cannot be destroyed (from another thread) the panel
    // stays as it is and the result is 0.
    int CloseDialog();
    int OnInitDialog(HWND window);
    void SetStatePicture(int bitmapId);
    void EnableButtons(int enable);
    void OnDownloadButton();

    // The transfer timer (download/TransferTick.cpp).
    void StartTransferTimer();
    // One tick of the transfer timer; 0 when the shut-down notice could not be shown.
    int OnTransferTick();
    // A panel opened while the worker writes, or before its result was reported: shows
    // the transfer as its start left the panel, and starts the timer that reports it.
    void ResumeTransferDisplay();
    // 1 from the start of a transfer until the worker has stored its result.
    int IsTransferRunning() const { return transferState == kTransferRunning; }

    // The progress bar in the information list (ui/ProgressBar.cpp).
    void CreateProgressBar(int row);
    void SetProgress(int position);
    void DestroyProgressBar();

    // The firmware file and the stored setting (ui/FirmwareFileChoice.cpp).
    void ChooseFirmwareFile();
    void FindInitialFirmwareFile();

    // The firmware file named in the file-name box (image/FirmwareLoaderWin32.cpp).
    int LoadFirmwareFile();

    // The download procedure (download/).
    int StartDownload();
    void SetRowState(int row, int8_t state);
    int PrepareDrive();
    int CompleteDownload();

    // Shutting Windows down after a download (download/ShutdownRequest.cpp).
    // The notice after a successful download, then the shut-down request; 0 when the
    // notice could not be shown.
    int ShutDownPrompt();
    // Asks Windows to end the session with the ExitWindowsEx flags, after the privilege;
    // what names the request in the trace.
    void RequestExitWindows(unsigned flags, const char* what);
    // Asks the process for the shut-down privilege where Windows requires it; 1 when
    // it is held (always on Windows 9x).
    int EnableShutdownPrivilege();

    HINSTANCE instance;
    HWND dialog;
    HWND parentWindow;
    int dialogTemplate;
    ScsiDevice* device;
    HIMAGELIST imageList;
    uint32_t morphing;
    int32_t verifyTransfer;
    FirmwareImage firmware;
    // 999 while the transfer worker runs, then its result (1 or 0). Written once by the
    // worker, polled by the panel's timer on the other thread.
    volatile LONG transferState;
    StaticTextControl* statusText;
    ListViewControl* infoList;
    HWND progressBar;

    // From "&Download" until the attempt has ended, the completion check included:
    // nothing may start a second one meanwhile.
    int downloadUnderWay;
    // From the start of a transfer until its result has been reported on a panel.
    int transferUnreported;
    // The host window the worker disables, taken when the transfer starts: the one it
    // enables again, whatever KDLL_Open passes meanwhile.
    HWND disabledWindow;
    // The state pictures, loaded when the panel opens and released when it closes.
    HBITMAP statePictures[4];
};

// Module-wide state, all zero when the library is loaded.
extern KdllParams hostParams;                  // the last parameter block received
extern Downloader* theDownloader;              // the instance built by KDLL_Create
extern Downloader* volatile currentDownloader; // how callbacks and the worker reach it
extern LONG blinkCount;                        // state picture changes of all transfers
extern ULONG progressTicks;                    // grows by 1,100 per tick of a transfer

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void BlinkStatePicture();
DWORD WINAPI TransferWorker(LPVOID parameter);

// The panel: the modeless child dialog inside the host's window and its controls (the
// information list, the status text, the state picture, the file-name box with its
// buttons, the progress bar and the transfer timer), drawn and read back for the
// Downloader. The dialog procedure is the Downloader's (host/DownloaderDialogProc.cpp).
// Every member belongs to the panel's thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

class ListViewControl;
class StaticTextControl;

class DownloaderDialog {
public:
    enum { kTransferTimer = 100 };

    DownloaderDialog();
    ~DownloaderDialog();
    DownloaderDialog(const DownloaderDialog&) = delete;
    DownloaderDialog& operator=(const DownloaderDialog&) = delete;

    // Creates the dialog, hidden, from the module's template with the procedure, and
    // fills it: the list's columns and row keys, "Ready.", the pictures. 0 when it cannot
    // be created; nothing is made then.
    int Create(HINSTANCE module, int dialogTemplate, HWND parent, DLGPROC procedure);
    // The product's title on the host's caption window.
    void ShowTitle(HWND captionWindow) const;
    // Places the dialog in the parent's client area and shows it; ShowWindow's answer.
    int Show(int x, int y, int width, int height);
    // Destroys the dialog and deletes the wrappers and pictures; non-zero when it was
    // destroyed or there was none. When the window cannot be destroyed (from another
    // thread) the panel stays as it is and the result is 0.
    int Close();
    // 1 while the information list and the status text exist.
    int IsOpen() const { return infoList != nullptr && statusText != nullptr; }

    // The state picture: bitmaps IDB_LOGO, IDB_WAIT, IDB_OK, IDB_NG.
    void SetStatePicture(int bitmapId);
    // Wait ! and the logo in turn, counted in blinkCount.
    void BlinkStatePicture();
    // "&Download" and the open-file button.
    void EnableButtons(int enable);
    // A message box owned by the panel; its answer.
    int ShowMessage(const char* text, const char* caption, unsigned type) const;

    // The information list's rows (InfoRow) and the status text; nothing without them.
    void ResetRows();
    void SetRowState(int row, int state);
    void SetRowValue(int row, const char* text);
    void SetStatus(const char* text);

    // The progress bar over a row's value cell (DownloaderDialogProgress.cpp).
    void CreateProgressBar(int row);
    void SetProgress(int position);
    void DestroyProgressBar();
    // The transfer timer: started afresh, resumed with the bar where the ticks left it,
    // one tick's advance of the bar, stopped.
    void StartTransferTimer();
    void ResumeTransferTimer();
    void AdvanceProgress();
    void StopTransferTimer();

    // The file-name box (DownloaderDialogFileChoice.cpp): the open-file dialog, the one
    // firmware file of the current directory, the path it holds.
    void ChooseFirmwareFile();
    void FindInitialFirmwareFile();
    void GetFileName(char* path, int size) const;
    // "&Download" follows the file-name box of the dialog: usable when the box's first
    // line holds text.
    static void UpdateDownloadButton(HWND window);

    HINSTANCE module; // the module the template, pictures and icons come from
    HWND dialog;
    // The row-state icons; the list view owns and destroys it.
    HIMAGELIST imageList;
    StaticTextControl* statusText;
    ListViewControl* infoList;
    HWND progressBar;
    // The state pictures, loaded when the panel opens and released when it closes.
    HBITMAP statePictures[4];
    // State picture changes of every transfer on this panel; never reset.
    LONG blinkCount;
    // Grows by 1,100 at each tick of a transfer; the bar shows time, not data. It outlives
    // a panel closed under a running transfer: the next panel's bar goes on from it.
    ULONG progressTicks;
};

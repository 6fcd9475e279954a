// The panel: the modeless child dialog inside the host's window and its controls (the
// information list, the status text, the state picture, the file-name box with its
// buttons, the progress bar and the transfer timer), drawn and read back for the
// Downloader, and the panel the download procedure reports to. The dialog procedure is
// the Downloader's (host/DownloaderDialogProc.cpp). Everything here belongs to the
// panel's thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/ProductInfo.h"
#include "download/DownloadPanel.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"

class DownloaderDialog : public DownloadPanel {
public:
    enum { kTransferTimer = 100 };
    // The state picture's bitmaps.
    enum StatePicture { kPictureLogo, kPictureWait, kPictureOk, kPictureFailed, kPictureCount };
    // What a WM_COMMAND of the panel asks for.
    enum Command {
        kCommandNone,
        kCommandFileName,
        kCommandOpenFile,
        kCommandDownload,
        kCommandClose
    };

    DownloaderDialog();
    ~DownloaderDialog();
    DownloaderDialog(const DownloaderDialog&) = delete;
    DownloaderDialog& operator=(const DownloaderDialog&) = delete;

    // Creates the dialog, hidden, from the module's template with the procedure, whose
    // WM_INITDIALOG gets owner, and fills it: the list's columns and row keys, "Ready.",
    // the pictures. False when it cannot be created; nothing is made then.
    bool Create(HINSTANCE module, HWND parent, DLGPROC procedure, LPARAM owner);
    // The dialog window; null while there is none.
    HWND Window() const { return dialog; }
    // The product's title on the host's caption window.
    void ShowTitle(HWND captionWindow) const;
    // Places the dialog in the parent's client area and shows it; ShowWindow's answer. A
    // width or height of 0 or less is the panel's own, its template's size in pixels.
    int Show(int x, int y, int width, int height);
    // Destroys the dialog and releases its pictures; non-zero when it was destroyed or
    // there was none. When the window cannot be destroyed (from another thread) the panel
    // stays as it is and the result is 0.
    int Close();
    // WM_DESTROY: the window is going, by Close or by itself; nothing of it is used again.
    void Forget();

    // What the panel's WM_COMMAND with wParam asks for.
    static Command CommandOf(WPARAM wParam);

    void SetStatePicture(StatePicture picture);
    // Wait ! and the logo in turn, counted in blinkCount.
    void BlinkStatePicture();
    // "&Download" and the open-file button.
    void EnableButtons(bool enable);
    // A message box owned by the panel; its answer.
    int ShowMessage(const char* text, const char* caption, unsigned type) const;

    // The information list's rows, all idle and empty.
    void ResetRows();
    // Draws the rows as they were last set, on this panel or on one closed since.
    void ShowRows();

    // The panel the download procedure reports to; nothing without a panel.
    void SetRowState(InfoRow row, RowState state) override;
    void SetRowValue(InfoRow row, const char* text) override;
    void SetStatus(const char* text) override;
    void ShowProgressBar(InfoRow row) override { CreateProgressBar(row); }
    void RemoveProgressBar() override { DestroyProgressBar(); }
    // The box's text, cut to the Windows path limit (KDLL_PATH_SIZE) as the panel always
    // read it.
    const char* FileName() override;
    int Warn(const char* text, const char* caption) override
    {
        return ShowMessage(text, caption, MB_OK | MB_ICONHAND);
    }

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
    // firmware file of the current directory.
    void ChooseFirmwareFile();
    void FindInitialFirmwareFile();
    // "&Download" follows the file-name box of the dialog: usable when the box's first
    // line holds text.
    static void UpdateDownloadButton(HWND window);

private:
    friend struct LibraryInternals; // the tests' view of the private state

    // One row of the information list as it was last set; it outlives the panel.
    struct Row {
        char value[ListViewControl::kCellTextSize];
        RowState state;
    };

    // Lays the list's columns out for the screen's pixels per inch and the list's font.
    void LayOutColumns();
    // A length in pixels of the layout drawn for 96 pixels per inch, on this screen.
    static int Scaled(int pixelsAt96);

    HINSTANCE module; // the module the template, pictures and icons come from
    HWND dialog;
    Row rows[kInfoRowCount];
    ListViewControl infoList;
    StaticTextControl statusText;
    HWND progressBar;
    // The state pictures, loaded when the panel opens and released when it closes.
    HBITMAP statePictures[kPictureCount];
    // State picture changes of every transfer on this panel; never reset.
    LONG blinkCount;
    // Grows by 1,100 at each tick of a transfer; the bar shows time, not data. It outlives
    // a panel closed under a running transfer: the next panel's bar goes on from it.
    ULONG progressTicks;
    // The file-name box's text as FileName last read it.
    char fileNameRead[KDLL_PATH_SIZE];
};

// The panel's dialog procedure: each message goes to the Downloader whose panel it is,
// which the dialog keeps in its user data from WM_INITDIALOG on.
#include <windows.h>

#include "host/Downloader.h"
#include "host/InstanceLifetime.h"

namespace {

INT_PTR HandlePanelMessage(Downloader& downloader, HWND window, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_PAINT:
        InvalidateRect(downloader.PaintTarget(window), nullptr, FALSE);
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        downloader.OnPanelDestroyed();
        return TRUE;
    case WM_COMMAND:
        switch (DownloaderDialog::CommandOf(wParam)) {
        case DownloaderDialog::kCommandFileName:
            downloader.OnFileNameChange(window);
            break;
        case DownloaderDialog::kCommandOpenFile:
            downloader.OnOpenFileButton();
            break;
        case DownloaderDialog::kCommandDownload:
            downloader.OnDownloadButton();
            break;
        case DownloaderDialog::kCommandClose:
            DestroyWindow(window);
            break;
        case DownloaderDialog::kCommandNone:
            break;
        }
        return TRUE;
    case WM_TIMER:
        if (wParam != DownloaderDialog::kTransferTimer)
            return TRUE;
        return downloader.OnTransferTick() ? TRUE : FALSE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        Downloader* created = reinterpret_cast<Downloader*>(lParam);
        return created != nullptr ? created->OnInitDialog(window) : TRUE;
    }
    Downloader* downloader = reinterpret_cast<Downloader*>(GetWindowLongPtrA(window, DWLP_USER));
    if (downloader == nullptr) {
        // Before WM_INITDIALOG, or a panel that has no instance.
        if (message == WM_PAINT)
            InvalidateRect(window, nullptr, FALSE);
        else if (message == WM_CLOSE)
            DestroyWindow(window);
        return message == WM_CLOSE ? TRUE : FALSE;
    }
    // A Destroy from a message box or dialog that the handler runs waits until the
    // handler has returned; nothing touches the Downloader after that.
    instanceLifetime.EnterPanelCode();
    INT_PTR handled = HandlePanelMessage(*downloader, window, message, wParam);
    instanceLifetime.LeavePanelCode();
    return handled;
}

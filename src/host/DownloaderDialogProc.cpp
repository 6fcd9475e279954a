// The panel's dialog procedure: each message goes to the instance, which it reaches
// through InstanceLifetime, as the worker does.
#include <windows.h>

#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "ui/resources/resource.h"

namespace {

INT_PTR HandlePanelMessage(Downloader* downloader, HWND window, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_PAINT:
        // Never a null window: that would invalidate every window on the desktop.
        InvalidateRect(downloader != nullptr && downloader->panel.dialog != nullptr
                           ? downloader->panel.dialog
                           : window,
                       nullptr, FALSE);
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_INITDIALOG:
        if (downloader != nullptr)
            downloader->OnInitDialog(window);
        return TRUE;
    case WM_COMMAND:
        if (downloader == nullptr)
            return TRUE;
        switch (LOWORD(wParam)) {
        case IDC_FILE_NAME:
            if (HIWORD(wParam) == EN_CHANGE)
                downloader->OnFileNameChange(window);
            break;
        case IDC_OPEN_FILE:
            downloader->panel.ChooseFirmwareFile();
            break;
        case IDC_DOWNLOAD:
            downloader->OnDownloadButton();
            break;
        case IDCLOSE:
            DestroyWindow(window);
            break;
        }
        return TRUE;
    case WM_TIMER:
        if (wParam != DownloaderDialog::kTransferTimer || downloader == nullptr)
            return TRUE;
        return downloader->OnTransferTick() ? TRUE : FALSE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    // A Destroy from a message box or dialog that the handler runs waits until the
    // handler has returned.
    instanceLifetime.EnterPanelCode();
    INT_PTR handled = HandlePanelMessage(instanceLifetime.Instance(), window, message, wParam);
    instanceLifetime.LeavePanelCode();
    return handled;
}

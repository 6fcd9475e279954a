// The panel: a modeless child dialog inside the host's window, its procedure and the
// state picture.
#include <windows.h>
#include <commctrl.h>

#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "base/ProductInfo.h"
#include "settings/StoredSettings.h"
#include "trace/Trace.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

LONG blinkCount;

namespace {

const int kFileNameSize = 260;

const char kTitle[] = KDLL_PRODUCT_TITLE;

const int kStatePictureIds[4] = {IDB_LOGO, IDB_WAIT, IDB_OK, IDB_NG};
// Row states 0 to 3, in image list order.
const int kRowIconIds[4] = {IDI_ROW_IDLE, IDI_ROW_PASSED, IDI_ROW_FAILED, IDI_ROW_IN_PROGRESS};
const char* const kRowKeys[7] = {"FW Model Name",    "FW Protocol",    "Check Sum",
                                 "Drive Model Name", "Drive Protocol", "F/W Transfer",
                                 "Flash Writing"};

// "&Download" follows the file-name box: usable when the box's first line holds text.
void OnFileNameChange(HWND dialog)
{
    Downloader* downloader = currentDownloader;
    if (downloader != nullptr && (downloader->downloadUnderWay || downloader->IsTransferRunning()))
        return;
    // EM_GETLINE takes the room in the buffer's first word and copies no NUL: a line that
    // fills all 260 characters still needs one behind it.
    char line[kFileNameSize + 1];
    *reinterpret_cast<WORD*>(line) = kFileNameSize;
    LRESULT length =
        SendDlgItemMessageA(dialog, IDC_FILE_NAME, EM_GETLINE, 0, reinterpret_cast<LPARAM>(line));
    line[length > 0 && length <= kFileNameSize ? length : 0] = '\0';
    EnableWindow(GetDlgItem(dialog, IDC_DOWNLOAD), line[0] != '\0');
}

} // namespace

int Downloader::OpenDialog()
{
    // The list view and the progress bar need their window classes; a host need not have
    // registered them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(dialogTemplate), parentWindow,
                                DownloaderDialogProc, 0);
    if (dialog == nullptr)
        return 0;

    infoList = new ListViewControl(dialog, IDC_INFO_LIST);
    imageList = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 1);
    for (int id : kRowIconIds)
        ImageList_AddIcon(imageList, LoadIconA(instance, MAKEINTRESOURCEA(id)));
    // The list view owns the image list from here on and destroys it with itself.
    SendMessageA(infoList->GetHandle(), LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(imageList));

    infoList->SetCell(-1, 0, "Key", -1);
    infoList->SetCell(-1, 1, "Value", -1);
    for (int row = 0; row < 7; ++row)
        infoList->SetCell(row, 0, kRowKeys[row], -1);
    infoList->SetColumnWidth(0, 115);
    infoList->SetColumnWidth(1, 365);

    statusText = new StaticTextControl(dialog, IDC_STATUS_TEXT);
    statusText->SetText("Ready.");

    for (int i = 0; i < 4; ++i)
        statePictures[i] = LoadBitmapA(instance, MAKEINTRESOURCEA(kStatePictureIds[i]));
    SetStatePicture(IDB_LOGO);
    SendDlgItemMessageA(
        dialog, IDC_OPEN_FILE, BM_SETIMAGE, IMAGE_ICON,
        reinterpret_cast<LPARAM>(LoadIconA(instance, MAKEINTRESOURCEA(IDI_OPEN_FOLDER))));

    SetWindowTextA(hostParams.captionWindow, kTitle);
    // The host's address wins over what discovery chose. Without a device the panel
    // still opens; every download then ends at the drive check. A running write keeps
    // the address it was sent to: an abort after its time-out must name it.
    if (device != nullptr && !IsTransferRunning()) {
        device->SetAdapter(static_cast<uint8_t>(hostParams.driveAddress & 0xFF));
        device->SetTarget(static_cast<uint8_t>((hostParams.driveAddress >> 8) & 0xFF));
    }
    FindInitialFirmwareFile();
    StoredSettings::ReadMorphing(&morphing);
    char tracePath[TraceFile::kPathSize];
    Trace::Settle(StoredSettings::ReadTraceFile(tracePath, sizeof tracePath) ? tracePath : nullptr);

    if (IsTransferRunning() || transferUnreported)
        ResumeTransferDisplay();

    MoveWindow(dialog, hostParams.x, hostParams.y, hostParams.width, hostParams.height, FALSE);
    return ShowWindow(dialog, SW_SHOWNORMAL);
}

int Downloader::CloseDialog()
{
    int result = 1;
    if (dialog != nullptr) {
        // Only the panel's own thread can destroy it: from any other the panel stays,
        // and with it everything it uses. A panel that closed itself is gone already and
        // is forgotten, but was not destroyed here.
        int alive = IsWindow(dialog);
        result = DestroyWindow(dialog) ? 1 : 0;
        if (alive && !result)
            return 0;
    }
    dialog = nullptr;
    // Gone with the list view.
    imageList = nullptr;
    progressBar = nullptr;
    delete infoList;
    infoList = nullptr;
    delete statusText;
    statusText = nullptr;
    // Released only once no button can show them any more.
    for (HBITMAP& picture : statePictures) {
        if (picture != nullptr)
            DeleteObject(picture);
        picture = nullptr;
    }
    downloadUnderWay = 0;
    return result;
}

int Downloader::OnInitDialog(HWND)
{
    return 1;
}

void Downloader::SetStatePicture(int bitmapId)
{
    HBITMAP picture = nullptr;
    for (int i = 0; i < 4; ++i) {
        if (kStatePictureIds[i] == bitmapId)
            picture = statePictures[i];
    }
    HWND button = GetDlgItem(dialog, IDC_STATE_PICTURE);
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    InvalidateRect(button, nullptr, TRUE);
    UpdateWindow(button);
}

void BlinkStatePicture()
{
    currentDownloader->SetStatePicture(blinkCount % 2 == 0 ? IDB_WAIT : IDB_LOGO);
    ++blinkCount;
}

void Downloader::EnableButtons(int enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_DOWNLOAD), enable);
    EnableWindow(GetDlgItem(dialog, IDC_OPEN_FILE), enable);
}

void Downloader::OnDownloadButton()
{
    if (downloadUnderWay || IsTransferRunning())
        return;
    downloadUnderWay = 1;
    EnableButtons(FALSE);
    if (StartDownload() == 1) {
        StartTransferTimer();
        return;
    }
    downloadUnderWay = 0;
    EnableButtons(TRUE);
    SetStatePicture(IDB_NG);
}

namespace {

INT_PTR HandlePanelMessage(HWND window, UINT message, WPARAM wParam)
{
    Downloader* downloader = currentDownloader;
    switch (message) {
    case WM_PAINT:
        // Never a null window: that would invalidate every window on the desktop.
        InvalidateRect(downloader != nullptr && downloader->dialog != nullptr ? downloader->dialog
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
                OnFileNameChange(window);
            break;
        case IDC_OPEN_FILE:
            downloader->ChooseFirmwareFile();
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
        if (wParam != Downloader::kTransferTimer || downloader == nullptr)
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
    INT_PTR handled = HandlePanelMessage(window, message, wParam);
    instanceLifetime.LeavePanelCode();
    return handled;
}

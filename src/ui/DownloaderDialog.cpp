// The panel: a modeless child dialog inside the host's window, its procedure, the
// transfer timer, the state picture and the shut-down prompt.
#include <windows.h>
#include <commctrl.h>

#include "host/Downloader.h"
#include "host/ProductInfo.h"
#include "trace/Trace.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

LONG blinkCount;
ULONG progressTicks;

namespace {

const UINT_PTR kTransferTimer = 100;
const UINT kTransferTimerMs = 500;
// The bar shows time, not data: full after about 4.5 seconds of a transfer.
const ULONG kTicksPerStep = 1100;
const ULONG kTicksForFullBar = 9000;
const int kFileNameSize = 260;

const char kTitle[] = KDLL_PRODUCT_TITLE;
const char kShutDownNotice[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

const int kStatePictureIds[4] = {IDB_LOGO, IDB_WAIT, IDB_OK, IDB_NG};
// Row states 0 to 3, in image list order.
const int kRowIconIds[4] = {IDI_ROW_IDLE, IDI_ROW_PASSED, IDI_ROW_FAILED, IDI_ROW_IN_PROGRESS};
const char* const kRowKeys[7] = {"FW Model Name",    "FW Protocol",    "Check Sum",
                                 "Drive Model Name", "Drive Protocol", "F/W Transfer",
                                 "Flash Writing"};

void EnableButtons(HWND dialog, BOOL enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_DOWNLOAD), enable);
    EnableWindow(GetDlgItem(dialog, IDC_OPEN_FILE), enable);
}

// "&Download" follows the file-name box: usable when the box's first line holds text.
void OnFileNameChange(HWND dialog)
{
    Downloader* downloader = currentDownloader;
    if (downloader != nullptr && downloader->downloadUnderWay)
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
    // still opens; every download then ends at the drive check.
    if (device != nullptr) {
        device->SetAdapter(static_cast<uint8_t>(hostParams.driveAddress & 0xFF));
        device->SetTarget(static_cast<uint8_t>((hostParams.driveAddress >> 8) & 0xFF));
    }
    FindInitialFirmwareFile();
    ReadSetting(HKEY_CURRENT_USER, KDLL_SETTINGS_KEY, "Morphing", &morphing, nullptr, 0);
    Trace::Settle();

    MoveWindow(dialog, hostParams.x, hostParams.y, hostParams.width, hostParams.height, FALSE);
    return ShowWindow(dialog, SW_SHOWNORMAL);
}

int Downloader::CloseDialog()
{
    delete infoList;
    infoList = nullptr;
    delete statusText;
    statusText = nullptr;
    int result = 1;
    if (dialog != nullptr) {
        result = DestroyWindow(dialog) ? 1 : 0;
        dialog = nullptr;
        // Gone with the list view.
        imageList = nullptr;
        progressBar = nullptr;
    }
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

int Downloader::EnableShutdownPrivilege()
{
    if (device != nullptr && device->isWindows9x)
        return 1;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        CloseHandle(token);
        return 0;
    }
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it granted nothing; the last error tells.
    DWORD error = GetLastError();
    CloseHandle(token);
    return error == ERROR_SUCCESS;
}

int Downloader::ShutDownPrompt()
{
    int answer = MessageBoxA(dialog, kShutDownNotice, "Notice", MB_OK | MB_ICONEXCLAMATION);
    Trace::Line("shut-down notice: answered %d", answer);
    if (answer != IDOK)
        return 0;
    if (!EnableShutdownPrivilege()) {
        Trace::Line("shut-down: privilege refused, not requested");
        return 1;
    }
    BOOL accepted = ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, 0);
    Trace::Line("shut-down requested: %s", accepted ? "accepted" : "refused");
    return 1;
}

void Downloader::OnDownloadButton()
{
    if (downloadUnderWay)
        return;
    downloadUnderWay = 1;
    EnableButtons(dialog, FALSE);
    if (StartDownload() == 1) {
        // Normally 0 already; not so when the panel closed itself under a running
        // transfer, whose last tick then never came.
        progressTicks = 0;
        SetTimer(dialog, kTransferTimer, kTransferTimerMs, nullptr);
        return;
    }
    downloadUnderWay = 0;
    EnableButtons(dialog, TRUE);
    SetStatePicture(IDB_NG);
}

int Downloader::OnTransferTick()
{
    BlinkStatePicture();
    if (transferState == kTransferRunning) {
        progressTicks += kTicksPerStep;
        SetProgress(static_cast<int>(progressTicks * 100 / kTicksForFullBar));
        return 1;
    }
    KillTimer(dialog, kTransferTimer);
    progressTicks = 0;
    int succeeded = CompleteDownload();
    downloadUnderWay = 0;
    if (!succeeded) {
        EnableButtons(dialog, TRUE);
        SetStatePicture(IDB_NG);
        return 1;
    }
    SetStatePicture(IDB_OK);
    return ShutDownPrompt();
}

INT_PTR CALLBACK DownloaderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
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
        if (wParam != kTransferTimer || downloader == nullptr)
            return TRUE;
        return downloader->OnTransferTick() ? TRUE : FALSE;
    }
    return FALSE;
}

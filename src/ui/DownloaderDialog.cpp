// The panel's dialog: creating, placing and closing it, its state picture and buttons,
// its message boxes, and the rows and status text it shows.
#include "ui/DownloaderDialog.h"

#include "base/ProductInfo.h"
#include "download/InfoRow.h"
#include "trace/Trace.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

namespace {

const int kStatePictureIds[4] = {IDB_LOGO, IDB_WAIT, IDB_OK, IDB_NG};
// The images of the row states, in RowState order.
const int kRowIconIds[4] = {IDI_ROW_IDLE, IDI_ROW_PASSED, IDI_ROW_FAILED, IDI_ROW_IN_PROGRESS};

// Why the host sees no panel: most often the module handle it gave is not the library's
// (its own, or null for the program), which holds no such dialog.
void TraceNotCreated(HINSTANCE module, int dialogTemplate, DWORD error)
{
    if (!Trace::IsOn())
        return;
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    Trace::Line("panel: not created: dialog %d of module %p ('%s'): error %lu", dialogTemplate,
                static_cast<void*>(module),
                length > 0 && length < sizeof path ? path : "no such module",
                static_cast<unsigned long>(error));
}

} // namespace

DownloaderDialog::DownloaderDialog()
    : module(nullptr), dialog(nullptr), imageList(nullptr), statusText(nullptr), infoList(nullptr),
      progressBar(nullptr), blinkCount(0), progressTicks(0)
{
    for (HBITMAP& picture : statePictures)
        picture = nullptr;
}

DownloaderDialog::~DownloaderDialog()
{
    Close();
}

int DownloaderDialog::Create(HINSTANCE moduleInstance, int dialogTemplate, HWND parent,
                             DLGPROC procedure)
{
    module = moduleInstance;
    // The list view and the progress bar need their window classes; a host need not have
    // registered them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(dialogTemplate), parent, procedure, 0);
    if (dialog == nullptr) {
        TraceNotCreated(module, dialogTemplate, GetLastError());
        return 0;
    }

    infoList = new ListViewControl(dialog, IDC_INFO_LIST);
    imageList = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 1);
    for (int id : kRowIconIds)
        ImageList_AddIcon(imageList, LoadIconA(module, MAKEINTRESOURCEA(id)));
    // The list view owns the image list from here on and destroys it with itself.
    SendMessageA(infoList->GetHandle(), LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(imageList));

    infoList->SetCell(-1, 0, "Key", -1);
    infoList->SetCell(-1, 1, "Value", -1);
    for (int row = 0; row < kInfoRowCount; ++row)
        infoList->SetCell(row, 0, kInfoRowKeys[row], -1);
    infoList->SetColumnWidth(0, 115);
    infoList->SetColumnWidth(1, 365);

    statusText = new StaticTextControl(dialog, IDC_STATUS_TEXT);
    statusText->SetText("Ready.");

    for (int i = 0; i < 4; ++i)
        statePictures[i] = LoadBitmapA(module, MAKEINTRESOURCEA(kStatePictureIds[i]));
    SetStatePicture(IDB_LOGO);
    SendDlgItemMessageA(
        dialog, IDC_OPEN_FILE, BM_SETIMAGE, IMAGE_ICON,
        reinterpret_cast<LPARAM>(LoadIconA(module, MAKEINTRESOURCEA(IDI_OPEN_FOLDER))));
    return 1;
}

void DownloaderDialog::ShowTitle(HWND captionWindow) const
{
    SetWindowTextA(captionWindow, KDLL_PRODUCT_TITLE);
}

int DownloaderDialog::Show(int x, int y, int width, int height)
{
    MoveWindow(dialog, x, y, width, height, FALSE);
    return ShowWindow(dialog, SW_SHOWNORMAL);
}

int DownloaderDialog::Close()
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
    return result;
}

void DownloaderDialog::SetStatePicture(int bitmapId)
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

void DownloaderDialog::BlinkStatePicture()
{
    SetStatePicture(blinkCount % 2 == 0 ? IDB_WAIT : IDB_LOGO);
    ++blinkCount;
}

void DownloaderDialog::EnableButtons(int enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_DOWNLOAD), enable);
    EnableWindow(GetDlgItem(dialog, IDC_OPEN_FILE), enable);
}

int DownloaderDialog::ShowMessage(const char* text, const char* caption, unsigned type) const
{
    return MessageBoxA(dialog, text, caption, type);
}

void DownloaderDialog::ResetRows()
{
    for (int row = 0; row < kInfoRowCount; ++row) {
        SetRowState(row, kRowIdle);
        SetRowValue(row, "");
    }
}

void DownloaderDialog::SetRowState(int row, int state)
{
    if (infoList == nullptr)
        return;
    // Writing the key text back with a new image changes only the icon.
    const char* key = infoList->GetCellText(row, 0, nullptr);
    infoList->SetCell(row, 0, key, state);
    HWND list = infoList->GetHandle();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
}

void DownloaderDialog::SetRowValue(int row, const char* text)
{
    if (infoList != nullptr)
        infoList->SetCell(row, 1, text, -1);
}

void DownloaderDialog::SetStatus(const char* text)
{
    if (statusText != nullptr)
        statusText->SetText(text);
}

// The panel's dialog: creating, placing and closing it, its state picture and buttons,
// its message boxes, and the rows and status text it shows.
#include "ui/DownloaderDialog.h"

#include <cstring>

#include "base/FormatText.h"
#include "base/ProductInfo.h"
#include "download/InfoRow.h"
#include "download/PanelTrace.h"
#include "kdll.h"
#include "trace/Trace.h"
#include "ui/resources/resource.h"

// The linker's name for the start of the module this code is linked into: the library,
// whose resources hold the panel's template, pictures and icons.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const int kStatePictureIds[DownloaderDialog::kPictureCount] = {IDB_LOGO, IDB_WAIT, IDB_OK, IDB_NG};
// The images of the row states, in RowState order.
const int kRowIconIds[4] = {IDI_ROW_IDLE, IDI_ROW_PASSED, IDI_ROW_FAILED, IDI_ROW_IN_PROGRESS};
// Far more than the list can ever be tall: scrolls the newest row into view.
const int kScrollToEnd = 32230;
// The list's columns at 96 pixels per inch, the layout the panel was drawn for.
const int kKeyColumnWidth = 115;
const int kValueColumnWidth = 365;
// What a key's cell holds besides its text: the 16-pixel row icon, the gaps around it and
// the text's own margins.
const int kKeyCellExtra = 16 + 4 + 12;

// A module's name for the trace, or what stands in for it.
void ModuleName(HINSTANCE module, char* name, DWORD size)
{
    DWORD length = GetModuleFileNameA(module, name, size);
    if (length == 0 || length >= size)
        FormatText(name, size, "no such module");
}

// Why the host sees no panel: most often the module handle it gave is not the library's
// (its own, or null for the program), which holds no such dialog.
void TraceNotCreated(HINSTANCE module, int dialogTemplate, DWORD error)
{
    if (!Trace::IsOn())
        return;
    char path[MAX_PATH] = "";
    ModuleName(module, path, sizeof path);
    Trace::Line("panel: not created: dialog %d of module %p ('%s'): error %lu", dialogTemplate,
                static_cast<void*>(module), path, static_cast<unsigned long>(error));
}

} // namespace

DownloaderDialog::DownloaderDialog()
    : module(nullptr), dialog(nullptr), progressBar(nullptr), blinkCount(0), progressTicks(0),
      fileNameRead()
{
    for (HBITMAP& picture : statePictures)
        picture = nullptr;
    for (Row& row : rows) {
        row.value[0] = '\0';
        row.state = kRowIdle;
    }
}

DownloaderDialog::~DownloaderDialog()
{
    Close();
}

bool DownloaderDialog::Create(HINSTANCE moduleInstance, HWND parent, DLGPROC procedure,
                              LPARAM owner)
{
    module = moduleInstance;
    // A host that gives its own module, or null for its program, gets the panel all the
    // same: the library holds it.
    if (FindResourceA(module, MAKEINTRESOURCEA(IDD_DOWNLOADER), MAKEINTRESOURCEA(5)) == nullptr) {
        HINSTANCE own = reinterpret_cast<HINSTANCE>(&__ImageBase);
        if (Trace::IsOn()) {
            char given[MAX_PATH] = "";
            ModuleName(module, given, sizeof given);
            Trace::Line("panel: dialog %d is not in module %p ('%s'): the library's own taken",
                        IDD_DOWNLOADER, static_cast<void*>(module), given);
        }
        module = own;
    }
    // The list view and the progress bar need their window classes; a host need not have
    // registered them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND created =
        CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_DOWNLOADER), parent, procedure, owner);
    if (created == nullptr) {
        TraceNotCreated(module, IDD_DOWNLOADER, GetLastError());
        return false;
    }
    dialog = created;

    infoList = ListViewControl(dialog, IDC_INFO_LIST);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 1);
    for (int id : kRowIconIds)
        ImageList_AddIcon(images, LoadIconA(module, MAKEINTRESOURCEA(id)));
    // The list view owns the image list from here on and destroys it with itself.
    infoList.SetSmallImageList(images);
    infoList.InsertColumn(0, "Key");
    infoList.InsertColumn(1, "Value");
    for (int row = 0; row < kInfoRowCount; ++row) {
        PanelTrace::Key(static_cast<InfoRow>(row));
        if (infoList.InsertItem(row, kInfoRowKeys[row], kRowIdle) != -1)
            infoList.Scroll(0, kScrollToEnd);
    }
    LayOutColumns();

    statusText = StaticTextControl(dialog, IDC_STATUS_TEXT);
    SetStatus("Ready.");

    for (int i = 0; i < kPictureCount; ++i)
        statePictures[i] = LoadBitmapA(module, MAKEINTRESOURCEA(kStatePictureIds[i]));
    SetStatePicture(kPictureLogo);
    SendDlgItemMessageA(
        dialog, IDC_OPEN_FILE, BM_SETIMAGE, IMAGE_ICON,
        reinterpret_cast<LPARAM>(LoadIconA(module, MAKEINTRESOURCEA(IDI_OPEN_FOLDER))));
    return true;
}

void DownloaderDialog::ShowTitle(HWND captionWindow) const
{
    SetWindowTextA(captionWindow, KDLL_PRODUCT_TITLE);
}

int DownloaderDialog::Scaled(int pixelsAt96)
{
    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return pixelsAt96;
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return MulDiv(pixelsAt96, dpi, 96);
}

void DownloaderDialog::LayOutColumns()
{
    // No key is cut: the column is as wide as the longest key needs in the list's font.
    int keyWidth = Scaled(kKeyColumnWidth);
    for (int row = 0; row < kInfoRowCount; ++row) {
        int needed = infoList.GetStringWidth(kInfoRowKeys[row]) + Scaled(kKeyCellExtra);
        if (needed > keyWidth)
            keyWidth = needed;
    }
    infoList.SetColumnWidth(0, keyWidth);
    infoList.SetColumnWidth(1, Scaled(kValueColumnWidth));
}

int DownloaderDialog::Show(int x, int y, int width, int height)
{
    RECT own = {0, 0, KDLL_PANEL_WIDTH_DLU, KDLL_PANEL_HEIGHT_DLU};
    MapDialogRect(dialog, &own);
    MoveWindow(dialog, x, y, width > 0 ? width : own.right, height > 0 ? height : own.bottom,
               FALSE);
    return ShowWindow(dialog, SW_SHOWNORMAL);
}

int DownloaderDialog::Close()
{
    if (dialog == nullptr)
        return 1;
    // Only the panel's own thread can destroy it: from any other the panel stays, and
    // with it everything it uses. Destroying it forgets it (WM_DESTROY).
    return DestroyWindow(dialog) ? 1 : 0;
}

void DownloaderDialog::Forget()
{
    if (dialog == nullptr)
        return;
    // The picture button still exists: it lets go of the picture before it is released.
    SendDlgItemMessageA(dialog, IDC_STATE_PICTURE, BM_SETIMAGE, IMAGE_BITMAP, 0);
    for (HBITMAP& picture : statePictures) {
        if (picture != nullptr)
            DeleteObject(picture);
        picture = nullptr;
    }
    dialog = nullptr;
    // Gone with the dialog: the list view with its image list, the bar inside it.
    infoList = ListViewControl();
    statusText = StaticTextControl();
    progressBar = nullptr;
}

DownloaderDialog::Command DownloaderDialog::CommandOf(WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_FILE_NAME:
        return HIWORD(wParam) == EN_CHANGE ? kCommandFileName : kCommandNone;
    case IDC_OPEN_FILE:
        return kCommandOpenFile;
    case IDC_DOWNLOAD:
        return kCommandDownload;
    case IDCLOSE:
        return kCommandClose;
    }
    return kCommandNone;
}

void DownloaderDialog::SetStatePicture(StatePicture picture)
{
    HWND button = GetDlgItem(dialog, IDC_STATE_PICTURE);
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(statePictures[picture]));
    InvalidateRect(button, nullptr, TRUE);
    UpdateWindow(button);
}

void DownloaderDialog::BlinkStatePicture()
{
    SetStatePicture(blinkCount % 2 == 0 ? kPictureWait : kPictureLogo);
    ++blinkCount;
}

void DownloaderDialog::EnableButtons(bool enable)
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
        SetRowState(static_cast<InfoRow>(row), kRowIdle);
        SetRowValue(static_cast<InfoRow>(row), "");
    }
}

void DownloaderDialog::ShowRows()
{
    for (int row = 0; row < kInfoRowCount; ++row) {
        infoList.SetCell(row, 1, rows[row].value);
        infoList.SetItemImage(row, rows[row].state);
    }
    InvalidateRect(infoList.GetHandle(), nullptr, TRUE);
}

void DownloaderDialog::SetRowState(InfoRow row, RowState state)
{
    rows[row].state = state;
    if (dialog == nullptr)
        return;
    PanelTrace::State(row, state);
    infoList.SetItemImage(row, state);
    HWND list = infoList.GetHandle();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
}

void DownloaderDialog::SetRowValue(InfoRow row, const char* text)
{
    FormatText(rows[row].value, sizeof rows[row].value, "%s", text);
    if (dialog == nullptr)
        return;
    PanelTrace::Value(row, text);
    infoList.SetCell(row, 1, text);
}

void DownloaderDialog::SetStatus(const char* text)
{
    if (dialog == nullptr)
        return;
    PanelTrace::Status(text);
    statusText.SetText(text);
}

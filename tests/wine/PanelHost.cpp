#include "PanelHost.h"

#include <commctrl.h>
#include <winternl.h>

#include <cstdio>

#include "FirmwareFileBuilder.h"

namespace {

const char kHostClass[] = "KdllTestHost";
const int kStatePictureIds[4] = {103, 104, 106, 108};

// A host that refuses to close while its window is disabled, as a host must while the
// drive writes its flash; otherwise it closes as any window does.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && !IsWindowEnabled(window))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterHostClass()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass); // fails harmlessly once registered
}

std::string NewScratchFolder()
{
    static int serial;
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%skdll-panel-%lu-%d", temp, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(path, nullptr);
    return path;
}

void RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// The bitmap's pixels as 32-bit top-down colours; empty when it is no bitmap.
std::vector<uint32_t> Pixels(HBITMAP bitmap, BITMAP* size)
{
    BITMAP info = {};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof info, &info) != sizeof info)
        return {};
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    int lines = GetDIBits(dc, bitmap, 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (lines != info.bmHeight)
        return {};
    if (size != nullptr)
        *size = info;
    return pixels;
}

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountChild, count);
    return TRUE;
}

} // namespace

PanelHost::PanelHost() : folder(NewScratchFolder())
{
    RegisterHostClass();
    host = CreateWindowA(kHostClass, "Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    caption = CreateWindowA("STATIC", "caption", WS_CHILD | WS_VISIBLE, 0, 300, 600, 20, host,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
}

PanelHost::~PanelHost()
{
    if (kdll.IsBound()) {
        kdll.close();
        kdll.destroy();
    }
    DestroyWindow(host);
    Pump(0);
    if (!previousFolder.empty())
        SetCurrentDirectoryA(previousFolder.c_str());
    RemoveFolder(folder);
}

KdllParams PanelHost::Params(DWORD driveAddress) const
{
    KdllParams params = {};
    params.moduleInstance = kdll.Module();
    params.parentWindow = host;
    params.hostWindow = host;
    params.captionWindow = caption;
    params.x = 10;
    params.y = 20;
    params.width = 600;
    params.height = 260;
    params.driveAddress = driveAddress;
    return params;
}

int PanelHost::Create(DWORD driveAddress)
{
    return kdll.create(Params(driveAddress));
}

int PanelHost::Open(DWORD driveAddress)
{
    int result = kdll.open(Params(driveAddress));
    Pump(0);
    return result;
}

HWND PanelHost::Dialog() const
{
    return FindWindowExA(host, nullptr, MAKEINTATOM(32770), nullptr);
}

HWND PanelHost::Item(int id) const
{
    return GetDlgItem(Dialog(), id);
}

std::string PanelHost::WindowText(HWND window) const
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string PanelHost::Text(int id) const
{
    return WindowText(Item(id));
}

bool PanelHost::IsEnabled(int id) const
{
    return IsWindowEnabled(Item(id)) != FALSE;
}

RECT PanelHost::Placement() const
{
    RECT rect = {};
    GetWindowRect(Dialog(), &rect);
    MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
    RECT placement = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    return placement;
}

std::string PanelHost::Cell(int row, int column) const
{
    char text[256] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(Item(1006), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int PanelHost::RowImage(int row) const
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageA(Item(1006), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return -100;
    return item.iImage;
}

int PanelHost::RowCount() const
{
    return static_cast<int>(SendMessageA(Item(1006), LVM_GETITEMCOUNT, 0, 0));
}

std::string PanelHost::Header(int column) const
{
    char text[256] = "";
    LVCOLUMNA header = {};
    header.mask = LVCF_TEXT;
    header.pszText = text;
    header.cchTextMax = sizeof text;
    if (!SendMessageA(Item(1006), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&header)))
        return "<no column>";
    return text;
}

int PanelHost::HeaderCount() const
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(Item(1006), LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

int PanelHost::ColumnWidth(int column) const
{
    return static_cast<int>(SendMessageA(Item(1006), LVM_GETCOLUMNWIDTH, column, 0));
}

int PanelHost::KeyTextWidth(int row) const
{
    std::string key = Cell(row, 0);
    // The label's margins: the list leaves some pixels on either side of the text.
    const int kLabelMargins = 12;
    return static_cast<int>(SendMessageA(Item(1006), LVM_GETSTRINGWIDTHA, 0,
                                         reinterpret_cast<LPARAM>(key.c_str()))) +
           kLabelMargins;
}

int PanelHost::KeyLabelWidth(int row) const
{
    RECT label = {};
    label.left = LVIR_LABEL;
    SendMessageA(Item(1006), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
    return label.right - label.left;
}

std::string PanelHost::ListSnapshot() const
{
    std::string snapshot;
    for (int row = 0; row < RowCount(); ++row) {
        snapshot += Cell(row, 0) + " | " + Cell(row, 1) + " | image " +
                    std::to_string(RowImage(row)) + "\n";
    }
    return snapshot;
}

HBITMAP PanelHost::StatePictureHandle() const
{
    return reinterpret_cast<HBITMAP>(SendMessageA(Item(1017), BM_GETIMAGE, IMAGE_BITMAP, 0));
}

int PanelHost::StatePicture() const
{
    return IdentifyPicture(kdll.Module(), StatePictureHandle());
}

HWND PanelHost::ProgressBar() const
{
    return FindWindowExA(Item(1006), nullptr, PROGRESS_CLASSA, nullptr);
}

void PanelHost::Click(int id) const
{
    SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(id)));
}

void PanelHost::SetFileName(const char* text) const
{
    SetWindowTextA(Item(1002), text);
}

void PanelHost::ClearFileName() const
{
    SendMessageA(Item(1002), EM_SETSEL, 0, -1);
    SendMessageA(Item(1002), WM_CLEAR, 0, 0);
}

void PanelHost::TypeIntoFileName(char c) const
{
    SendMessageA(Item(1002), WM_CHAR, static_cast<unsigned char>(c), 1);
}

void PanelHost::EnterFolder()
{
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    if (previousFolder.empty())
        previousFolder = current;
    SetCurrentDirectoryA(folder.c_str());
}

std::string PanelHost::WriteFirmwareFile(const char* name) const
{
    return FirmwareFileBuilder::Standard("1.01").WriteTo(folder, name);
}

void PanelHost::Pump(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

bool PanelHost::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20, QS_ALLINPUT);
    }
}

int PanelHost::IdentifyPicture(HMODULE module, HBITMAP bitmap)
{
    BITMAP shownSize = {};
    std::vector<uint32_t> shown = Pixels(bitmap, &shownSize);
    if (shown.empty())
        return 0;
    for (int id : kStatePictureIds) {
        HBITMAP resource = LoadBitmapA(module, MAKEINTRESOURCEA(id));
        BITMAP size = {};
        std::vector<uint32_t> pixels = Pixels(resource, &size);
        DeleteObject(resource);
        if (size.bmWidth == shownSize.bmWidth && size.bmHeight == shownSize.bmHeight &&
            pixels == shown)
            return id;
    }
    return 0;
}

int PanelHost::GdiObjectCount()
{
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count != 0)
        return static_cast<int>(count);
    // Wine 8 answers GetGuiResources with 0 (not implemented). Its GDI handle table is
    // the one the process block points to, as on older Windows: 65,536 entries of 24
    // bytes in a 64-bit process, byte 14 of a live entry holding the object's type.
    const size_t kTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    const size_t kEntrySize = 24;
    const size_t kTypeOffset = 14;
    const BYTE* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + kTableOffset);
    if (table == nullptr)
        return -1;
    int live = 0;
    for (size_t i = 0; i < 0x10000; ++i)
        live += table[i * kEntrySize + kTypeOffset] != 0;
    return live;
}

int PanelHost::KernelHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return static_cast<int>(count);
    // Wine 8 reports 0 handles. Its handles are small multiples of 4, handed out lowest
    // free first: probe them until a long run of unused values follows the last one.
    const ULONG_PTR kUnusedRun = 1024;
    int live = 0;
    ULONG_PTR last = 0;
    for (ULONG_PTR value = 4; value - last <= 4 * kUnusedRun; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++live;
            last = value;
        }
    }
    return live;
}

int PanelHost::WindowCount()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

#include "PanelHost.h"

#include <commctrl.h>

namespace {

const char kHostClass[] = "KdllTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
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

} // namespace

PanelHost::PanelHost()
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

void PanelHost::Click(int id) const
{
    SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(id)));
}

void PanelHost::SetFileName(const char* text) const
{
    SetWindowTextA(Item(1002), text);
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

#include "AutomaticRun.h"

#include <commctrl.h>

#include <cstdio>

#include "DemoStandIns.h"
#include "kdll.h"
#include "DriveChoiceIds.h"
#include "ListBoxControl.h"
#include "Screenshot.h"

namespace {

// The panel's controls.
const int kDownload = 1;
const int kStatusText = 1001;
const int kFileName = 1002;
const int kOpenFile = 1004;
const int kInfoList = 1006;

// Bounds of the run: the whole of it stays well within the job's time-out even in the
// emulated machine, where every window operation is slow.
const UINT kTickMs = 50;
const DWORD kPanelMs = 120000;
const DWORD kSettleMs = 600;
const DWORD kTransferShownMs = 8000;
const DWORD kFinishMs = 40000;

AutomaticRun* current;

std::string TextOf(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string CellOf(HWND list, int row, int column)
{
    char text[256] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

const char* RowStateOf(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    static const char* const names[4] = {"idle", "passed", "failed", "in progress"};
    return item.iImage >= 0 && item.iImage < 4 ? names[item.iImage] : "?";
}

HWND ProgressBarOf(HWND panel)
{
    return FindWindowExA(GetDlgItem(panel, kInfoList), nullptr, PROGRESS_CLASSA, nullptr);
}

int ProgressOf(HWND panel)
{
    HWND bar = ProgressBarOf(panel);
    return bar != nullptr ? static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)) : -1;
}

// A top-level window of this thread for which has(window) holds.
struct Search {
    BOOL (*has)(HWND);
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    if (!search->has(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindThreadWindow(BOOL (*has)(HWND))
{
    Search search = {has, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL IsChooser(HWND window)
{
    return GetDlgItem(window, IDC_DRIVE_LIST) != nullptr;
}

// The host: the window whose child is the panel, a dialog with the information list.
BOOL HostsPanel(HWND window)
{
    HWND panel = FindWindowExA(window, nullptr, "#32770", nullptr);
    return panel != nullptr && GetDlgItem(panel, kInfoList) != nullptr && IsWindowVisible(window);
}

RECT ScreenRectOf(HWND window, int client)
{
    RECT r = {};
    if (!client) {
        GetWindowRect(window, &r);
        return r;
    }
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// -1 when there is no such file.
long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file))
        return -1;
    return (static_cast<long long>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

AutomaticRun::AutomaticRun(const std::string& shots, const std::string& firmware, int menuTrace,
                           int cancel)
    : verdict(kNotJudged), shots(shots), firmware(firmware), menuTrace(menuTrace), cancel(cancel),
      traceSize(-1), stage(kWaitPanel), stageStart(0), busy(0), fits(0), refused(0), boxesBefore(0),
      host(nullptr), panel(nullptr), caption(nullptr)
{
}

int AutomaticRun::Start()
{
    if (!shots.empty())
        CreateDirectoryA(shots.c_str(), nullptr);
    current = this;
    stageStart = GetTickCount();
    return SetTimer(nullptr, 0, kTickMs, Tick) != 0;
}

void CALLBACK AutomaticRun::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    // The download sequence runs inside a tick and may dispatch messages meanwhile.
    if (current == nullptr || current->busy)
        return;
    current->busy = 1;
    current->Step();
    current->busy = 0;
}

void AutomaticRun::Enter(Stage next)
{
    stage = next;
    stageStart = GetTickCount();
}

void AutomaticRun::Step()
{
    DWORD elapsed = GetTickCount() - stageStart;
    switch (stage) {
    case kWaitPanel:
        WaitForPanel(elapsed);
        return;
    case kOpened:
        PressDownload(elapsed);
        return;
    case kTransfer:
        CloseDuringTransfer(elapsed);
        return;
    case kEnd:
        WaitForEnd(elapsed);
        return;
    case kFinished:
        if (elapsed >= kSettleMs)
            Finish();
        return;
    case kDone:
        return;
    }
}

void AutomaticRun::WaitForPanel(DWORD elapsed)
{
    HWND chooser = FindThreadWindow(IsChooser);
    if (chooser != nullptr)
        TakeProposedDrive(chooser);
    else if (FindWindows())
        Enter(kOpened);
    else if (elapsed > kPanelMs)
        Fail("the panel did not open");
}

void AutomaticRun::PressDownload(DWORD elapsed)
{
    if (elapsed < kSettleMs)
        return;
    if (menuTrace && !SwitchTraceOn())
        return;
    if (!firmware.empty())
        SetDlgItemTextA(panel, kFileName, firmware.c_str());
    fits = CheckFit();
    Print("opened");
    Shoot("opened");
    HWND button = GetDlgItem(panel, kDownload);
    if (!IsWindowEnabled(button)) {
        Fail("\"&Download\" is not usable: no single *.zqx file in the current folder, "
             "and no --firmware");
        return;
    }
    std::printf("pressing \"&Download\"\n");
    std::fflush(stdout);
    boxesBefore = standIns.boxCaptions.size();
    Enter(kTransfer);
    SendMessageA(button, BM_CLICK, 0, 0);
}

void AutomaticRun::CloseDuringTransfer(DWORD elapsed)
{
    if (ProgressOf(panel) >= 36) {
        Print("transferring");
        Shoot("transferring");
        TryToClose();
        boxesBefore = standIns.boxCaptions.size();
        Enter(kEnd);
    } else if (elapsed > kTransferShownMs || ProgressBarOf(panel) == nullptr) {
        // Also a write that ended before the bar reached 36%: nothing to close into.
        std::printf("demo: no transfer is running: \"%s\"\n",
                    TextOf(GetDlgItem(panel, kStatusText)).c_str());
        refused = -1;
        Enter(kEnd);
    }
}

void AutomaticRun::WaitForEnd(DWORD elapsed)
{
    // The notice after a success or the warning after a failed transfer; a download
    // that stops before the transfer leaves "&Download" usable again.
    bool boxed = standIns.boxCaptions.size() > boxesBefore;
    bool stopped = ProgressBarOf(panel) == nullptr && IsWindowEnabled(GetDlgItem(panel, kDownload));
    if (boxed || stopped)
        Enter(kFinished);
    else if (elapsed > kFinishMs)
        Fail("the download did not end within 40 s");
}

int AutomaticRun::FindWindows()
{
    host = FindThreadWindow(HostsPanel);
    if (host == nullptr)
        return 0;
    panel = FindWindowExA(host, nullptr, "#32770", nullptr);
    caption = FindWindowExA(host, nullptr, "STATIC", nullptr);
    return 1;
}

// The drive list as the user sees it; the drive the program proposes is taken.
void AutomaticRun::TakeProposedDrive(HWND chooser)
{
    ListBoxControl list(GetDlgItem(chooser, IDC_DRIVE_LIST));
    std::printf("--- drive chooser \"%s\" ---\n", TextOf(chooser).c_str());
    int selected = list.GetCurSel();
    for (int i = 0; i < list.GetCount(); ++i) {
        char item[256] = "";
        if (SendMessageA(GetDlgItem(chooser, IDC_DRIVE_LIST), LB_GETTEXTLEN, i, 0) <
            static_cast<LRESULT>(sizeof item))
            list.GetText(i, item);
        std::printf("%s %s\n", i == selected ? "*" : " ", item);
    }
    std::printf(cancel ? "cancelling the chooser\n" : "taking the proposed drive (*)\n");
    std::fflush(stdout);
    PostMessageA(chooser, WM_COMMAND, cancel ? IDCANCEL : IDOK, 0);
}

// 1 when the window shows the whole panel and the panel all of its controls.
int AutomaticRun::CheckFit()
{
    RECT window = ScreenRectOf(host, 1);
    RECT outer = ScreenRectOf(panel, 0);
    RECT inner = ScreenRectOf(panel, 1);
    int ok = Inside(outer, window) && Inside(ScreenRectOf(caption, 0), window);
    for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r = ScreenRectOf(child, 0);
        if (Inside(r, inner))
            continue;
        ok = 0;
        std::printf("clipped: control %d \"%s\" reaches %ld,%ld of the panel's %ld x %ld\n",
                    GetDlgCtrlID(child), TextOf(child).c_str(), r.right - inner.left,
                    r.bottom - inner.top, inner.right - inner.left, inner.bottom - inner.top);
    }
    RECT units = {0, 0, KDLL_PANEL_WIDTH_DLU, KDLL_PANEL_HEIGHT_DLU};
    MapDialogRect(panel, &units);
    std::printf("panel: %d x %d dialog units = %ld x %ld pixels, its window %ld x %ld; "
                "window client area %ld x %ld; %s\n",
                KDLL_PANEL_WIDTH_DLU, KDLL_PANEL_HEIGHT_DLU, units.right, units.bottom,
                outer.right - outer.left, outer.bottom - outer.top, window.right - window.left,
                window.bottom - window.top, ok ? "every control inside" : "NOT everything shown");
    return ok;
}

// The program's Trace menu item, chosen as a user does; the program builds the downloader
// anew, so the panel is found again.
int AutomaticRun::SwitchTraceOn()
{
    HMENU menu = GetSubMenu(GetMenu(host), 0);
    UINT item = GetMenuItemID(menu, 0);
    char text[128] = "";
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    std::printf("choosing the menu item \"%s\"\n", text);
    std::fflush(stdout);
    size_t before = standIns.boxCaptions.size();
    SendMessageA(host, WM_COMMAND, item, 0);
    // The box names the file on a line of its own.
    std::string said = standIns.lastBoxText;
    size_t start = said.find("\n\n");
    size_t end = said.find("\n\n", start + 2);
    if (standIns.boxCaptions.size() != before + 1 || start == std::string::npos ||
        end == std::string::npos || !FindWindows()) {
        Fail("the Trace menu item did not say where the trace goes");
        return 0;
    }
    tracePath = said.substr(start + 2, end - start - 2);
    traceSize = FileSize(tracePath);
    return 1;
}

// A close request while the firmware is written: the program must refuse it, and say so.
void AutomaticRun::TryToClose()
{
    size_t before = standIns.boxCaptions.size();
    std::printf("asking the window to close while the firmware is written\n");
    std::fflush(stdout);
    SendMessageA(host, WM_CLOSE, 0, 0);
    refused = IsWindow(host) && standIns.boxCaptions.size() == before + 1 &&
              standIns.lastBoxText.find("writing the new firmware") != std::string::npos;
    std::printf("demo: close %s\n", refused ? "refused, with the reason" : "NOT refused");
}

void AutomaticRun::Finish()
{
    Print("finished");
    Shoot("finished");
    std::string status = TextOf(GetDlgItem(panel, kStatusText));
    if (refused < 0)
        std::printf("demo: closing during the write not tried\n");
    // The download's lines come after those of the start (a file past its bound starts
    // anew, smaller).
    int traced = !menuTrace || FileSize(tracePath) != traceSize;
    if (menuTrace)
        std::printf("demo: trace %s %s\n", tracePath.c_str(), traced ? "written" : "NOT written");
    // After a success the notice, then the shut-down that saves nothing.
    bool shutDown = !standIns.boxCaptions.empty() && standIns.boxCaptions.back() == "Notice" &&
                    standIns.shutDownRequests == 1 &&
                    standIns.lastShutDownFlags == (EWX_SHUTDOWN | EWX_FORCE);
    bool flashed = status == "Download has done successfully!";
    bool behaved = fits && refused != 0 && traced && (!flashed || shutDown);
    verdict = behaved ? kBehaved : kMisbehaved;
    std::printf("demo: download %s; the program %s\n", flashed ? "succeeded" : "failed",
                behaved ? "behaved" : "did NOT behave");
    std::fflush(stdout);
    Enter(kDone);
    PostMessageA(host, WM_CLOSE, 0, 0);
}

void AutomaticRun::Fail(const char* why)
{
    std::printf("demo: %s\n", why);
    std::fflush(stdout);
    verdict = kMisbehaved;
    Enter(kDone);
    if (host != nullptr)
        PostMessageA(host, WM_CLOSE, 0, 0);
    else
        PostQuitMessage(1);
}

void AutomaticRun::Print(const char* what)
{
    HWND list = GetDlgItem(panel, kInfoList);
    std::printf("--- panel %s ---\n", what);
    std::printf("window:   \"%s\"\n", TextOf(host).c_str());
    std::printf("caption:  \"%s\"\n", TextOf(caption).c_str());
    std::printf("status:   \"%s\"\n", TextOf(GetDlgItem(panel, kStatusText)).c_str());
    std::printf("file:     \"%s\"\n", TextOf(GetDlgItem(panel, kFileName)).c_str());
    std::printf("buttons:  &Download %s, open-file %s\n",
                IsWindowEnabled(GetDlgItem(panel, kDownload)) ? "enabled" : "disabled",
                IsWindowEnabled(GetDlgItem(panel, kOpenFile)) ? "enabled" : "disabled");
    for (int row = 0; row < 7; ++row) {
        std::printf("  %-17s %-30s [%s]\n", CellOf(list, row, 0).c_str(),
                    ("\"" + CellOf(list, row, 1) + "\"").c_str(), RowStateOf(list, row));
    }
    if (ProgressBarOf(panel) != nullptr)
        std::printf("progress: %d%%\n", ProgressOf(panel));
    std::fflush(stdout);
}

void AutomaticRun::Shoot(const char* what)
{
    if (shots.empty())
        return;
    std::string path = shots + "\\panel-" + what + ".png";
    Screenshot shot(host);
    if (shot.SavePng(path))
        std::printf("saved %s (%d x %d)\n", path.c_str(), shot.width, shot.height);
    else
        std::printf("could not save %s\n", path.c_str());
    std::fflush(stdout);
}

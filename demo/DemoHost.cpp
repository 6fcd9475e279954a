// Demo host: a program that hosts the downloader the way a real host does. It has a
// top-level window with a caption strip, loads kdll.dll from its own folder, builds the
// downloader with KDLL_Create, opens its panel with KDLL_Open for the drive named on the
// command line, sizes the panel and itself to the panel's real extent, runs its own
// message loop, and calls KDLL_Close and KDLL_Destroy at the end. Before that it lists
// the drives that discovery finds on this machine's ASPI layer.
//
// With --intercept the library's message boxes and shut-down requests are answered here
// instead of by Windows (under Wine a real shut-down request ends the whole session).
// With --auto nobody works the panel: the demo presses "&Download" itself, prints the
// panel's texts and saves pictures of it while opened, transferring and finished, and
// ends with 0 when the download succeeded.
// With --trace FILE the library writes its command trace there (the host sets KDLL_TRACE,
// which the library reads in KDLL_Create).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "ImportPatch.h"
#include "Screenshot.h"
#include "kdll.h"
#include "scsi/ScsiDevice.h"

namespace {

const char kWindowClass[] = "KdllDemoHost";
const char kUsage[] =
    "usage: demo_host [--drive ADDRESS] [--intercept] [--auto] [--shots FOLDER]\n"
    "                 [--firmware FILE] [--trace FILE]\n"
    "  --drive ADDRESS   the drive's ASPI address: byte 0 host adapter, byte 1 target\n"
    "                    (default 0x0100: adapter 0, target 1)\n"
    "  --intercept       answer the library's message boxes and shut-down requests here\n"
    "                    instead of letting them reach Windows\n"
    "  --auto            press \"&Download\" without a user, answer the boxes (implies\n"
    "                    --intercept), print the panel at each stage, exit 0 on success\n"
    "  --shots FOLDER    with --auto: save panel-opened.png, panel-transferring.png and\n"
    "                    panel-finished.png there\n"
    "  --firmware FILE   type this path into the file-name box (otherwise the panel\n"
    "                    proposes the one *.zqx file of the current folder)\n"
    "  --trace FILE      have the library write its command trace to this file\n";

// The panel's controls.
const int kDownload = 1;
const int kStatusText = 1001;
const int kFileName = 1002;
const int kOpenFile = 1004;
const int kInfoList = 1006;

// The host's layout, in pixels of its client area. The panel first gets the size below;
// once open it is sized to its real extent (FitPanel).
const int kMargin = 8;
const int kCaptionHeight = 20;
const int kPanelWidth = 584;
const int kPanelHeight = 272;
const DWORD kHostStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Bounds of the automatic run: the whole of it stays well within a minute.
const DWORD kSettleMs = 600;
const DWORD kTransferShownMs = 8000;
const DWORD kFinishMs = 40000;

struct Options {
    DWORD driveAddress = 0x0100;
    bool intercept = false;
    bool automatic = false;
    std::string shots;
    std::string firmware;
    std::string trace;
};

// What the intercepting stand-ins were asked.
struct Intercepted {
    bool answerBoxes; // answer OK without showing the box
    int boxes;
    std::string lastCaption;
    int shutDownRequests;
    UINT lastFlags;
};
Intercepted intercepted;
decltype(&MessageBoxA) realMessageBoxA;

std::string OneLine(const char* text)
{
    std::string line;
    for (; *text != '\0'; ++text) {
        if (*text == '\n')
            line += "\\n";
        else
            line += *text;
    }
    return line;
}

int WINAPI InterceptedMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    ++intercepted.boxes;
    intercepted.lastCaption = caption != nullptr ? caption : "";
    std::printf("[intercepted] message box \"%s\" (type 0x%X): \"%s\"\n",
                intercepted.lastCaption.c_str(), type,
                OneLine(text != nullptr ? text : "").c_str());
    if (!intercepted.answerBoxes)
        return realMessageBoxA(owner, text, caption, type);
    std::printf("[intercepted] answered OK\n");
    return IDOK;
}

BOOL WINAPI InterceptedExitWindowsEx(UINT flags, DWORD)
{
    ++intercepted.shutDownRequests;
    intercepted.lastFlags = flags;
    std::string names;
    if (flags & EWX_REBOOT)
        names += "EWX_REBOOT";
    else if (flags & EWX_SHUTDOWN)
        names += "EWX_SHUTDOWN";
    else
        names += "EWX_LOGOFF";
    if (flags & EWX_FORCE)
        names += " | EWX_FORCE";
    std::printf("[intercepted] ExitWindowsEx(%s): not passed on to Windows\n", names.c_str());
    std::fflush(stdout);
    return TRUE;
}

int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--drive" && hasValue) {
            char* end = nullptr;
            options.driveAddress = std::strtoul(argv[++i], &end, 0);
            if (end == nullptr || *end != '\0')
                return 0;
        } else if (arg == "--intercept") {
            options.intercept = true;
        } else if (arg == "--auto") {
            options.automatic = true;
            options.intercept = true;
        } else if (arg == "--shots" && hasValue) {
            options.shots = argv[++i];
        } else if (arg == "--firmware" && hasValue) {
            options.firmware = argv[++i];
        } else if (arg == "--trace" && hasValue) {
            options.trace = argv[++i];
        } else {
            return 0;
        }
    }
    return 1;
}

// The same discovery that KDLL_Create runs, printed.
void PrintDrives()
{
    ScsiDevice device(65545);
    device.DiscoverDrives();
    std::printf("ASPI host adapters: %u\n", device.GetAdapterCount());
    std::printf("CD-ROM drives found: %u\n", device.driveCount);
    for (unsigned i = 0; i < device.driveCount; ++i) {
        const DriveEntry& e = device.drives[i];
        std::printf("  %u: adapter %u target %u  \"%s\" \"%s\"  drive %c:\n", i, e.adapterId,
                    e.targetId, e.modelName, e.revision,
                    e.driveLetter == ' ' ? '?' : e.driveLetter);
    }
}

KDLL_CloseFn closePanel;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // The panel goes first, while its parent still exists.
        if (closePanel != nullptr)
            closePanel();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHostWindow(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    RECT frame = {0, 0, kPanelWidth + 2 * kMargin, kCaptionHeight + kPanelHeight + 3 * kMargin};
    AdjustWindowRect(&frame, kHostStyle, FALSE);
    return CreateWindowA(kWindowClass, "Demo host", kHostStyle | WS_VISIBLE, 40, 40,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         instance, nullptr);
}

// The panel's controls are laid out in dialog units, so their extent in pixels depends
// on the font the panel gets. Sizes the panel to the union of its controls, with the
// template's left and top margins repeated on the right and at the bottom, and the
// caption and the host's window to match.
void FitPanel(HWND host, HWND caption, HWND panel)
{
    RECT extent = {};
    bool any = false;
    for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        if (any)
            UnionRect(&extent, &extent, &r);
        else
            extent = r;
        any = true;
    }
    if (!any)
        return;
    RECT outer;
    RECT inner;
    GetWindowRect(panel, &outer);
    GetClientRect(panel, &inner);
    int width = extent.right + extent.left + (outer.right - outer.left) - inner.right;
    int height = extent.bottom + extent.top + (outer.bottom - outer.top) - inner.bottom;
    MoveWindow(panel, kMargin, 2 * kMargin + kCaptionHeight, width, height, TRUE);
    MoveWindow(caption, kMargin, kMargin, width, kCaptionHeight, TRUE);
    RECT frame = {0, 0, width + 2 * kMargin, kCaptionHeight + height + 3 * kMargin};
    AdjustWindowRect(&frame, kHostStyle, FALSE);
    SetWindowPos(host, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    std::printf("panel sized to its controls: %d x %d pixels\n", width, height);
}

std::string LibraryBesideProgram()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = std::strrchr(path, '\\');
    if (slash != nullptr)
        slash[1] = '\0';
    return std::string(path) + "kdll.dll";
}

// One round of the host's message loop; the panel gets its keyboard navigation.
void Dispatch(HWND panel, MSG& message)
{
    if (panel != nullptr && IsDialogMessageA(panel, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

// The message loop of the automatic run: until done() holds or timeoutMs passes.
bool RunUntil(HWND panel, const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            Dispatch(panel, message);
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        DWORD wait = timeoutMs - elapsed < 50 ? timeoutMs - elapsed : 50;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

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

void PrintPanel(HWND panel, HWND caption, const char* stage)
{
    std::printf("--- panel %s ---\n", stage);
    std::printf("caption:  \"%s\"\n", TextOf(caption).c_str());
    std::printf("status:   \"%s\"\n", TextOf(GetDlgItem(panel, kStatusText)).c_str());
    std::printf("file:     \"%s\"\n", TextOf(GetDlgItem(panel, kFileName)).c_str());
    std::printf("buttons:  &Download %s, open-file %s\n",
                IsWindowEnabled(GetDlgItem(panel, kDownload)) ? "enabled" : "disabled",
                IsWindowEnabled(GetDlgItem(panel, kOpenFile)) ? "enabled" : "disabled");
    HWND list = GetDlgItem(panel, kInfoList);
    for (int row = 0; row < 7; ++row) {
        std::printf("  %-17s %-30s [%s]\n", CellOf(list, row, 0).c_str(),
                    ("\"" + CellOf(list, row, 1) + "\"").c_str(), RowStateOf(list, row));
    }
    HWND bar = ProgressBarOf(panel);
    if (bar != nullptr)
        std::printf("progress: %d%%\n", static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)));
    std::fflush(stdout);
}

void SaveShot(HWND host, const Options& options, const char* stage)
{
    if (options.shots.empty())
        return;
    std::string path = options.shots + "\\panel-" + stage + ".png";
    Screenshot shot(host);
    if (shot.SavePng(path))
        std::printf("saved %s (%d x %d)\n", path.c_str(), shot.width, shot.height);
    else
        std::printf("could not save %s\n", path.c_str());
    std::fflush(stdout);
}

// The user's part, played by the program: press "&Download", watch, answer the boxes.
int RunAutomatically(HWND host, HWND caption, HWND panel, const Options& options)
{
    if (!options.shots.empty())
        CreateDirectoryA(options.shots.c_str(), nullptr);
    RunUntil(
        panel, [] { return false; }, kSettleMs);
    if (!options.firmware.empty())
        SetDlgItemTextA(panel, kFileName, options.firmware.c_str());
    PrintPanel(panel, caption, "opened");
    SaveShot(host, options, "opened");

    HWND button = GetDlgItem(panel, kDownload);
    if (!IsWindowEnabled(button)) {
        std::printf("demo: \"&Download\" is not usable: no single *.zqx file in the current "
                    "folder, and no --firmware\n");
        return 1;
    }
    std::printf("pressing \"&Download\"\n");
    std::fflush(stdout);
    SendMessageA(button, BM_CLICK, 0, 0);

    HWND status = GetDlgItem(panel, kStatusText);
    bool transferring = RunUntil(
        panel,
        [&] {
            HWND bar = ProgressBarOf(panel);
            return bar == nullptr || SendMessageA(bar, PBM_GETPOS, 0, 0) >= 36;
        },
        kTransferShownMs);
    if (transferring && ProgressBarOf(panel) != nullptr) {
        PrintPanel(panel, caption, "transferring");
        SaveShot(host, options, "transferring");
    } else {
        std::printf("demo: no transfer is running: \"%s\"\n", TextOf(status).c_str());
    }

    // The end: the notice after a success, or the warning after a failed transfer; a
    // download that stops before the transfer leaves both buttons usable again.
    bool ended = RunUntil(
        panel,
        [&] {
            return intercepted.boxes > 0 ||
                   (ProgressBarOf(panel) == nullptr && IsWindowEnabled(button));
        },
        kFinishMs);
    RunUntil(
        panel, [] { return false; }, kSettleMs);
    PrintPanel(panel, caption, "finished");
    SaveShot(host, options, "finished");
    if (!ended) {
        std::printf("demo: the download did not end within %lu s\n", kFinishMs / 1000);
        return 1;
    }
    bool succeeded = TextOf(status) == "Download has done successfully!" &&
                     intercepted.lastCaption == "Notice" && intercepted.shutDownRequests == 1 &&
                     intercepted.lastFlags == (EWX_SHUTDOWN | EWX_FORCE);
    std::printf("demo: download %s\n", succeeded ? "succeeded" : "failed");
    return succeeded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    std::string libraryPath = LibraryBesideProgram();
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    if (library == nullptr) {
        std::fprintf(stderr, "demo: %s not found\n", libraryPath.c_str());
        return 1;
    }
    auto bind = [&](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(library, name));
    };
    KDLL_CreateFn create = reinterpret_cast<KDLL_CreateFn>(bind("KDLL_Create"));
    KDLL_OpenFn open = reinterpret_cast<KDLL_OpenFn>(bind("KDLL_Open"));
    KDLL_CloseFn close = reinterpret_cast<KDLL_CloseFn>(bind("KDLL_Close"));
    KDLL_DestroyFn destroy = reinterpret_cast<KDLL_DestroyFn>(bind("KDLL_Destroy"));
    if (create == nullptr || open == nullptr || close == nullptr || destroy == nullptr) {
        std::fprintf(stderr, "demo: kdll.dll lacks its exports\n");
        return 1;
    }

    // Only the library's own calls are answered here; the demo's are left alone.
    intercepted.answerBoxes = options.automatic;
    ImportPatch* boxPatch = nullptr;
    ImportPatch* shutDownPatch = nullptr;
    if (options.intercept) {
        boxPatch = new ImportPatch(library, "user32.dll", "MessageBoxA",
                                   reinterpret_cast<void*>(&InterceptedMessageBoxA));
        shutDownPatch = new ImportPatch(library, "user32.dll", "ExitWindowsEx",
                                        reinterpret_cast<void*>(&InterceptedExitWindowsEx));
        realMessageBoxA = reinterpret_cast<decltype(&MessageBoxA)>(boxPatch->Original());
        if (!boxPatch->IsActive() || !shutDownPatch->IsActive()) {
            std::fprintf(stderr, "demo: cannot intercept the library's calls\n");
            return 1;
        }
        std::printf("message boxes and shut-down requests of the library are intercepted\n");
    }

    HINSTANCE self = GetModuleHandleA(nullptr);
    HWND host = CreateHostWindow(self);
    HWND caption =
        CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_SUNKEN, kMargin, kMargin,
                      kPanelWidth, kCaptionHeight, host, nullptr, self, nullptr);
    SendMessageA(caption, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);

    KdllParams params = {};
    params.moduleInstance = library;
    params.parentWindow = host;
    params.hostWindow = host;
    params.captionWindow = caption;
    params.x = kMargin;
    params.y = 2 * kMargin + kCaptionHeight;
    params.width = kPanelWidth;
    params.height = kPanelHeight;
    params.driveAddress = options.driveAddress;

    if (!options.trace.empty()) {
        SetEnvironmentVariableA("KDLL_TRACE", options.trace.c_str());
        std::printf("command trace: %s\n", options.trace.c_str());
    }
    int instance = create(params);
    std::printf("KDLL_Create: %s\n", instance != 0 ? "instance built" : "failed");
    PrintDrives();
    if (instance == 0)
        return 1;
    std::printf("KDLL_Open: drive address 0x%04lX (adapter %lu, target %lu)\n",
                options.driveAddress, options.driveAddress & 0xFF,
                (options.driveAddress >> 8) & 0xFF);
    std::fflush(stdout);
    open(params);
    HWND panel = FindWindowExA(host, nullptr, MAKEINTATOM(32770), nullptr);
    if (panel == nullptr) {
        std::fprintf(stderr, "demo: the panel did not open\n");
        destroy();
        return 1;
    }
    closePanel = close;
    FitPanel(host, caption, panel);

    int exitCode = 0;
    if (options.automatic) {
        exitCode = RunAutomatically(host, caption, panel, options);
        std::printf("KDLL_Close: %d\n", close());
        closePanel = nullptr;
        DestroyWindow(host);
    } else {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            Dispatch(IsWindow(panel) ? panel : nullptr, message);
    }
    std::printf("KDLL_Destroy: %d\n", destroy());
    delete shutDownPatch;
    delete boxPatch;
    FreeLibrary(library);
    return exitCode;
}

/* rvxflash: the program that flashes an RVX-4417K with kdll.dll, and the sample host for
 * developers. It needs kdll.h and the import library (lib/libkdll.dll.a) and nothing else
 * of the library; it is C89.
 *
 * What a host does, in the order of WinMain below:
 *  1. Registers the common controls that the panel uses (list view, progress bar).
 *  2. Knows the drive's ASPI address: here ChooseDrive (DriveChoice.h) asks the user.
 *  3. Makes a top-level window, with a static control for the downloader's title.
 *  4. KDLL_Create with kdll.dll's own module handle: the panel's dialog, icons and
 *     pictures are resources of kdll.dll, not of the host.
 *  5. KDLL_Open, then finds the panel (a child dialog of parentWindow) and sizes the
 *     window to the panel's real extent.
 *  6. One thread, one message loop, which gives the panel IsDialogMessage.
 *  7. While the firmware is written the library disables hostWindow; a close request that
 *     arrives all the same is refused, with the reason.
 *  8. Learns how the download ended from the panel's status line (NoteOutcome), since the
 *     four exports report no result: when the window is enabled again, when it closes and
 *     when the session ends.
 *  9. KDLL_Close while the window still exists, KDLL_Destroy at the end; the outcome is
 *     the exit code (exitCodes below).
 * The Trace menu switches the library's command trace on or off and says where it goes.
 *
 * Built with CMake and the package's kdll::kdll: CMakeLists.txt beside this file. Or with
 * MinGW by hand, for example (32-bit; for 64-bit take lib/x64 and add -DKDLL_X64):
 *   windres FlashHost.rc -O coff -o FlashHost.res
 *   gcc -std=c89 -mwindows -I../include FlashHost.c DriveByAddress.c FlashHost.res
 *       ../lib/x86/libkdll.dll.a -lcomctl32 -o myhost.exe
 * DriveByAddress.c answers ChooseDrive from the command line; rvxflash lists the drives.
 */
#include <windows.h>
#include <commctrl.h>

#include "DriveChoice.h"
#include "kdll.h"

/* The panel is a dialog of KDLL_PANEL_WIDTH_DLU x KDLL_PANEL_HEIGHT_DLU dialog units. How
 * many pixels that is depends on its font and on the screen's DPI, so the host measures
 * the panel once it exists. */
/* The host's margin and title line, in the panel's dialog units too: they grow with it. */
#define MARGIN_DLU 4
#define CAPTION_DLU 12

#define ID_TRACE 100

/* The panel's status line. It ends every download attempt with one of the library's
 * fixed texts, which tell the outcome. */
#define ID_PANEL_STATUS 1001

/* How it ended: the program's exit code, from the table that rvxflash for Linux ends with
 * too (its 4, a command line refused, does not come up here). */
enum Outcome {
    FLASHED = 0,      /* "Download has done successfully!" */
    NOT_WRITTEN = 1,  /* a check before the write failed: the drive is unchanged */
    WRITE_FAILED = 2, /* failed after the write began: the drive needs the download again */
    NO_DRIVE = 3,     /* nothing to flash: no ASPI layer, Wine's stub, no drive answering */
    CANCELLED = 5     /* the user cancelled, or closed the window without a download */
};

static const char windowClass[] = "RvxFlashHost";
static const char programTitle[] = "RVX-4417K flash";
static const char traceFileName[] = "rvxflash-trace.txt";

static HWND host;    /* parentWindow and hostWindow */
static HWND caption; /* captionWindow: the library writes its title into it */
static HWND panel;   /* the library's panel, once open */
static KdllParams params;
static char tracePath[MAX_PATH]; /* where the trace goes; empty while it is off */
static int outcome = CANCELLED;

/* The help that "/?" shows, in two parts: a C89 compiler need not take a string of more
 * than 509 characters. */
static const char usage[] =
    "rvxflash [ADDRESS]\n\n"
    "Writes new firmware into an RVX-4417K CD-ROM drive. Without ADDRESS it lists the "
    "CD-ROM drives and lets you choose when there are several; ADDRESS takes the drive "
    "that aspiinfo lists at that ASPI address (adapter:target:LUN, for example 0:1:0).\n\n";
static const char exitCodes[] =
    "Exit codes (start /wait rvxflash.exe, then %ERRORLEVEL%):\n"
    "0  flashed: \"Download has done successfully!\"\n"
    "1  failed before the write: the drive was not written\n"
    "2  failed after the write began: the drive needs the download again\n"
    "3  no drive: no ASPI layer, Wine's stub, or no drive answering\n"
    "5  cancelled: no download was tried";

/* The status texts that end an attempt before the write: nothing was written. */
static const char* const beforeWrite[] = {
    "Reading F/W file...", /* stays so after a file for another drive, or a silent drive */
    "Unable to open file!",
    "Damaged F/W file!",
    "Mismatch  Drive(RVX-4417K)!",
    "Check download protocol...",
    "Mismatch protocol between F/W and drive!",
    "Transfer F/W Code...",
    "Fail to transfer!" /* the write could not be started */
};

static void Tell(const char* text, UINT icon)
{
    MessageBoxA(host, text, programTitle, MB_OK | icon);
}

/* Places the title line and the panel, and makes the window's client area fit them. */
static void FitToPanel(void)
{
    RECT units;
    RECT size;
    RECT frame;
    int margin;
    int captionHeight;
    int width;
    int height;

    /* MapDialogRect turns dialog units into pixels of the panel's own font. */
    SetRect(&units, MARGIN_DLU, CAPTION_DLU, KDLL_PANEL_WIDTH_DLU, KDLL_PANEL_HEIGHT_DLU);
    MapDialogRect(panel, &units);
    margin = units.left;
    captionHeight = units.top;
    /* The panel's client area, plus its border. */
    SetRect(&size, 0, 0, units.right, units.bottom);
    AdjustWindowRectEx(&size, (DWORD)GetWindowLongA(panel, GWL_STYLE), FALSE,
                       (DWORD)GetWindowLongA(panel, GWL_EXSTYLE));
    width = size.right - size.left;
    height = size.bottom - size.top;

    SendMessageA(caption, WM_SETFONT, (WPARAM)SendMessageA(panel, WM_GETFONT, 0, 0), FALSE);
    MoveWindow(caption, margin, margin, width, captionHeight, TRUE);
    MoveWindow(panel, margin, 2 * margin + captionHeight, width, height, TRUE);
    SetRect(&frame, 0, 0, width + 2 * margin, captionHeight + height + 3 * margin);
    AdjustWindowRectEx(&frame, (DWORD)GetWindowLongA(host, GWL_STYLE), TRUE,
                       (DWORD)GetWindowLongA(host, GWL_EXSTYLE));
    SetWindowPos(host, NULL, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

/* Keeps what an attempt came to as the program's exit code. A write's end (or a write
 * under way) counts over anything before it; an attempt that stopped before the write
 * counts only when no download was tried. */
static void Record(int seen)
{
    if (seen != NOT_WRITTEN || outcome == CANCELLED)
        outcome = seen;
}

/* What the status line says of the outcome. Any text not listed as coming before the
 * write ("Downloading... (Do NOT turn off!)", "Fail to Download, Restart Now!", "New F/W
 * is something wrong. no response to Inquiry !") counts as a failed write: the drive's
 * state is unknown. */
static void NoteOutcome(void)
{
    char text[128];
    int seen = WRITE_FAILED;
    unsigned i;

    if (panel == NULL)
        return;
    text[0] = '\0';
    GetDlgItemTextA(panel, ID_PANEL_STATUS, text, sizeof text);
    if (text[0] == '\0' || lstrcmpA(text, "Ready.") == 0)
        return;
    if (lstrcmpA(text, "Download has done successfully!") == 0)
        seen = FLASHED;
    for (i = 0; i < sizeof beforeWrite / sizeof beforeWrite[0]; ++i) {
        if (lstrcmpA(text, beforeWrite[i]) == 0)
            seen = NOT_WRITTEN;
    }
    Record(seen);
}

/* Builds the downloader and opens its panel. */
static int OpenPanel(void)
{
    /* KDLL_Create reads KDLL_TRACE from the environment: the trace switch works here. */
    if (KDLL_Create(params) == 0) {
        Tell("The downloader could not start: the computer is out of memory, or the firmware "
             "write of an earlier start has not ended yet.",
             MB_ICONSTOP);
        Record(NOT_WRITTEN);
        return 0;
    }
    /* KDLL_Open returns 0 whether or not the panel opened, and no handle. The panel is the
     * child dialog (window class "#32770") of parentWindow. */
    KDLL_Open(params);
    panel = FindWindowExA(host, NULL, "#32770", NULL);
    if (panel == NULL) {
        Tell("The downloader's panel could not be created.", MB_ICONSTOP);
        KDLL_Destroy();
        Record(NOT_WRITTEN);
        return 0;
    }
    FitToPanel();
    return 1;
}

/* The trace file beside the program: easy to find, and written with the rights that
 * flashing needs anyway. */
static void SetTracePath(void)
{
    char* slash;
    GetModuleFileNameA(NULL, tracePath, sizeof tracePath - sizeof traceFileName);
    slash = tracePath + lstrlenA(tracePath);
    while (slash > tracePath && slash[-1] != '\\')
        --slash;
    lstrcpyA(slash, traceFileName);
}

/* The library reads KDLL_TRACE when it is built: switching means building it anew. */
static void SwitchTrace(void)
{
    char text[MAX_PATH + 200];
    int on = tracePath[0] == '\0';

    if (on)
        SetTracePath();
    else
        tracePath[0] = '\0';
    NoteOutcome();
    KDLL_Close();
    KDLL_Destroy();
    panel = NULL;
    SetEnvironmentVariableA("KDLL_TRACE", on ? tracePath : NULL);
    CheckMenuItem(GetMenu(host), ID_TRACE, on ? MF_CHECKED : MF_UNCHECKED);
    if (!OpenPanel()) {
        DestroyWindow(host);
        return;
    }
    if (!on) {
        Tell("The trace is off.", MB_ICONINFORMATION);
        return;
    }
    lstrcpyA(text, "The downloader writes its trace of everything it does with the drive to\n\n");
    lstrcatA(text, tracePath);
    lstrcatA(text, "\n\nSend that file, and the .1 file beside it if there is one, with a "
                   "support request.");
    Tell(text, MB_ICONINFORMATION);
}

static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static int refusing;

    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_TRACE)
            SwitchTrace();
        return 0;
    case WM_CLOSE:
        /* The library disables the host window while it writes the drive's flash (and
         * Windows does while one of its boxes waits for an answer). The close button is out
         * of reach then, but the taskbar and the Task Manager still ask. The box has no
         * owner: it must not enable the host window again when it closes. */
        if (!IsWindowEnabled(window)) {
            if (!refusing) {
                refusing = 1;
                MessageBoxA(NULL,
                            "Not now: the downloader is writing the new firmware to the "
                            "drive, or waits for an answer. Closing during the write could "
                            "leave the drive unusable.\n\nWait for the message in the panel.",
                            programTitle, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
                refusing = 0;
            }
            return 0;
        }
        /* The panel goes first, while its parent still exists. */
        NoteOutcome();
        KDLL_Close();
        panel = NULL;
        DestroyWindow(window);
        return 0;
    case WM_ENABLE:
        /* Enabled again: the library has shown the write's outcome (or one of its boxes,
         * or the open-file dialog, has closed). */
        if (wParam)
            NoteOutcome();
        return 0;
    case WM_QUERYENDSESSION:
        /* After a download the library asks Windows to shut down or restart. */
        if (!IsWindowEnabled(window))
            return FALSE;
        NoteOutcome();
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            NoteOutcome();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

/* "/?" (or -?, -h, --help) as the first word of the command line. */
static int AsksForHelp(const char* commandLine)
{
    static const char* const asks[] = {"/?", "-?", "-h", "--help"};
    char word[8];
    int length = 0;
    unsigned i;

    while (*commandLine == ' ' || *commandLine == '\t')
        ++commandLine;
    while (commandLine[length] != '\0' && commandLine[length] != ' ' &&
           commandLine[length] != '\t') {
        if (length + 1 >= (int)sizeof word)
            return 0;
        word[length] = commandLine[length];
        ++length;
    }
    word[length] = '\0';
    for (i = 0; i < sizeof asks / sizeof asks[0]; ++i) {
        if (lstrcmpA(word, asks[i]) == 0)
            return 1;
    }
    return 0;
}

static int CreateHostWindow(HINSTANCE instance, const ChosenDrive* drive)
{
    WNDCLASSA windowClassInfo;
    HMENU bar = CreateMenu();
    HMENU trace = CreatePopupMenu();
    char text[sizeof drive->name + 40];

    ZeroMemory(&windowClassInfo, sizeof windowClassInfo);
    windowClassInfo.lpfnWndProc = HostProc;
    windowClassInfo.hInstance = instance;
    windowClassInfo.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClassInfo.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClassInfo.lpszClassName = windowClass;
    RegisterClassA(&windowClassInfo);

    AppendMenuA(trace, MF_STRING, ID_TRACE, "&Write the command trace");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)trace, "&Trace");
    lstrcpyA(text, programTitle);
    lstrcatA(text, ": drive ");
    lstrcatA(text, drive->name);
    /* Sized once the panel is open. */
    host = CreateWindowExA(0, windowClass, text,
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                           CW_USEDEFAULT, 600, 400, NULL, bar, instance, NULL);
    if (host == NULL)
        return 0;
    caption = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_SUNKEN, 0, 0,
                              0, 0, host, NULL, instance, NULL);
    if (GetEnvironmentVariableA("KDLL_TRACE", tracePath, sizeof tracePath) >= sizeof tracePath)
        tracePath[0] = '\0';
    if (tracePath[0] != '\0')
        CheckMenuItem(bar, ID_TRACE, MF_CHECKED);
    return caption != NULL;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    INITCOMMONCONTROLSEX controls;
    ChosenDrive drive;
    MSG message;
    char help[sizeof usage + sizeof exitCodes];

    (void)previous;
    if (AsksForHelp(commandLine)) {
        lstrcpyA(help, usage);
        lstrcatA(help, exitCodes);
        MessageBoxA(NULL, help, programTitle, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    switch (ChooseDrive(commandLine, &drive)) {
    case DRIVE_CHOSEN:
        break;
    case DRIVE_CANCELLED:
        return CANCELLED;
    default:
        return NO_DRIVE;
    }
    if (!CreateHostWindow(instance, &drive)) {
        Tell("The program's window could not be created.", MB_ICONSTOP);
        return NOT_WRITTEN;
    }

    ZeroMemory(&params, sizeof params);
    /* kdll.dll's handle, as the import library loaded it; never the program's own. */
    params.moduleInstance = GetModuleHandleA("kdll.dll");
    params.parentWindow = host;
    params.hostWindow = host;
    params.captionWindow = caption;
    params.width = 600;
    params.height = 300;
    params.driveAddress = drive.address;
    if (!OpenPanel()) {
        DestroyWindow(host);
        return outcome;
    }
    ShowWindow(host, show);

    /* IsDialogMessage gives the panel its keyboard: Tab, Enter for "&Download", and the
     * mnemonics. The library depends on this loop running during a download. */
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (panel != NULL && IsDialogMessageA(panel, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    KDLL_Destroy();
    return outcome;
}

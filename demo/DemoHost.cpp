// Demo host: a window of its own, the downloader library loaded as kdll.dll and driven
// through its four exports, and a list of the drives that discovery finds on this
// machine's ASPI layer.
#include <windows.h>

#include <cstdio>

#include "kdll.h"
#include "scsi/ScsiDevice.h"

namespace {

const char kWindowClass[] = "KdllDemoHost";

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
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
    return CreateWindowA(kWindowClass, "Demo host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                         CW_USEDEFAULT, CW_USEDEFAULT, 700, 380, nullptr, nullptr, instance,
                         nullptr);
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

} // namespace

int main()
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    HMODULE library = LoadLibraryA("kdll.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "demo: kdll.dll not found\n");
        return 1;
    }
    KDLL_CreateFn create =
        reinterpret_cast<KDLL_CreateFn>(reinterpret_cast<void*>(GetProcAddress(library, "KDLL_Create")));
    KDLL_DestroyFn destroy =
        reinterpret_cast<KDLL_DestroyFn>(reinterpret_cast<void*>(GetProcAddress(library, "KDLL_Destroy")));
    if (create == nullptr || destroy == nullptr) {
        std::fprintf(stderr, "demo: kdll.dll lacks its exports\n");
        return 1;
    }

    HWND host = CreateHostWindow(self);
    KdllParams params = {};
    params.moduleInstance = library;
    params.parentWindow = host;
    params.hostWindow = host;
    params.captionWindow = host;
    params.width = 680;
    params.height = 330;
    int instance = create(params);
    std::printf("KDLL_Create: %s\n", instance != 0 ? "instance built" : "failed");
    PrintDrives();
    std::printf("KDLL_Destroy: %d\n", destroy());
    DestroyWindow(host);
    FreeLibrary(library);
    return instance != 0 ? 0 : 1;
}

// aspiinfo: lists what the WNASPI32.dll that the downloader would load shows of the
// machine. Exit 0 when at least one CD-ROM drive answered INQUIRY, 1 when none did, no
// layer was found or the layer is Wine's built-in stub, 2 on bad arguments. Started in a
// console window of its own, it waits for Enter before that window closes.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "AspiLister.h"
#include "LayerOrigin.h"

namespace {

const char kUsage[] =
    "usage: aspiinfo\n"
    "Lists the host adapters and devices of the WNASPI32.dll that a program in this\n"
    "folder loads, with the ASPI address (adapter:target:LUN) to give the downloader.\n"
    "Exit 0 when a CD-ROM drive answered, 1 when none did, 2 on bad arguments.\n"
    "In a console window of its own (started by a double-click) it waits for Enter\n"
    "before the window closes.\n";

// True when this program is the only one in its console and the user reads it there: a
// window that Explorer opened for a double-click, or that Windows opened for the
// elevated program, and that closes with it. GetConsoleProcessList came with Windows XP:
// bound at run time, so that the program still starts on Windows 98 and NT 4.0 (which
// then never wait).
bool OwnsConsoleAlone()
{
    typedef DWORD(WINAPI * ProcessListFn)(LPDWORD, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Through the generic function pointer type, which GCC's cast check lets pass.
    ProcessListFn processList = reinterpret_cast<ProcessListFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetConsoleProcessList")));
    DWORD ids[2];
    if (processList == nullptr || processList(ids, 2) != 1)
        return false;
    // Output or input redirected (a script, a pipe): nobody waits at the window.
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
}

int Finish(int status)
{
    if (!OwnsConsoleAlone())
        return status;
    std::fputs("\nPress Enter to close this window.", stdout);
    std::fflush(stdout);
    int c;
    do
        c = std::getchar();
    while (c != '\n' && c != EOF);
    return status;
}

int List()
{
    // The same search the downloader's LoadLibraryA makes: the program's folder first.
    HMODULE layer = LoadLibraryA("WNASPI32.dll");
    if (layer == nullptr) {
        std::printf("no WNASPI32.dll found (error %lu): no ASPI layer is installed\n",
                    GetLastError());
        return 1;
    }
    LayerOrigin origin(layer);
    std::printf("layer: %s\n", origin.Path().c_str());
    // Wine reports the name it was asked for even when it put its own module there.
    if (origin.IsWineBuiltin()) {
        std::printf("Wine loaded its own built-in wnaspi32 stub in place of that file: it "
                    "reaches no drive.\nGive wnaspi32 the DLL override \"native, builtin\" "
                    "(winecfg, Libraries) or set WINEDLLOVERRIDES=wnaspi32=n,\nso that the "
                    "WNASPI32.dll beside the program is loaded.\n");
        return 1;
    }
    AspiLister lister(layer);
    if (!lister.IsBound()) {
        std::printf("the layer lacks GetASPI32SupportInfo (1) or SendASPI32Command (2)\n");
        return 1;
    }
    lister.Run();
    std::fputs(lister.Report().c_str(), stdout);
    return lister.CdromCount() > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "/?") == 0)) {
        std::fputs(kUsage, stdout);
        return Finish(0);
    }
    if (argc != 1) {
        std::fprintf(stderr, "aspiinfo: unexpected argument '%s'\n%s", argv[1], kUsage);
        return Finish(2);
    }
    return Finish(List());
}

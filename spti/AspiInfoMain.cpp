// aspiinfo: lists what the WNASPI32.dll that the downloader would load shows of the
// machine. Exit 0 when at least one CD-ROM drive answered INQUIRY, 1 when none did or
// no layer was found, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "AspiLister.h"

namespace {

const char kUsage[] =
    "usage: aspiinfo\n"
    "Lists the host adapters and devices of the WNASPI32.dll that a program in this\n"
    "folder loads, with the ASPI address (adapter:target:LUN) to give the downloader.\n"
    "Exit 0 when a CD-ROM drive answered, 1 when none did, 2 on bad arguments.\n";

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 1) {
        std::fprintf(stderr, "aspiinfo: unexpected argument '%s'\n%s", argv[1], kUsage);
        return 2;
    }
    // The same search the downloader's LoadLibraryA makes: the program's folder first.
    HMODULE layer = LoadLibraryA("WNASPI32.dll");
    if (layer == nullptr) {
        std::printf("no WNASPI32.dll found (error %lu): no ASPI layer is installed\n",
                    GetLastError());
        return 1;
    }
    char path[MAX_PATH] = "";
    GetModuleFileNameA(layer, path, sizeof path);
    std::printf("layer: %s\n", path);
    AspiLister lister(layer);
    if (!lister.IsBound()) {
        std::printf("the layer lacks GetASPI32SupportInfo (1) or SendASPI32Command (2)\n");
        return 1;
    }
    lister.Run();
    std::fputs(lister.Report().c_str(), stdout);
    return lister.CdromCount() > 0 ? 0 : 1;
}

// demo_host: rvxflash with demo options, a console program for scripts/demo.sh and the
// i686 run in the emulated machine. It is the program's own code (flasher/: its window
// code, whose WinMain is built here as FlashHostMain, and its drive choice) plus the
// demo's own stand-ins and automatic user; of the library it links only the import
// library, like any host.
//
// --drive gives the program the drive as aspiinfo prints it (adapter:target:LUN).
// With --intercept the library's shut-down requests are held back here (under Wine a
// real one ends the whole session). With --auto nobody works the program: every message
// box is answered OK, the proposed drive is taken, "&Download" is pressed, the panel is
// printed and pictured while opened, transferring and finished, and the exit status is
// the program's own (0 when the download succeeded), or 10 when the program misbehaved. With
// --trace FILE the library writes its command trace there (the program finds KDLL_TRACE set and
// shows its Trace menu item checked).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "AutomaticRun.h"
#include "DemoStandIns.h"

namespace {

const char kUsage[] =
    "usage: demo_host [--drive A:T:L] [--intercept] [--auto] [--shots FOLDER]\n"
    "                 [--firmware FILE] [--trace FILE]\n"
    "  --drive A:T:L     the drive's ASPI address as aspiinfo prints it (adapter:target:LUN;\n"
    "                    the number 0xTTAA is taken too); without it the program lists the\n"
    "                    drives and lets the user choose when there are several\n"
    "  --intercept       hold back the library's shut-down requests\n"
    "  --auto            work the program without a user (implies --intercept): answer every\n"
    "                    message box, take the proposed drive, press \"&Download\", print\n"
    "                    the panel at each stage; exit with the program's exit code, or 10\n"
    "                    when it misbehaved (a clipped panel, a close not refused during\n"
    "                    the write, no trace, no shut-down request after a success)\n"
    "  --cancel          with --auto: cancel the drive chooser\n"
    "  --shots FOLDER    with --auto: save panel-opened.png, panel-transferring.png and\n"
    "                    panel-finished.png there\n"
    "  --firmware FILE   with --auto: type this path into the file-name box (otherwise the\n"
    "                    panel proposes the one *.zqx file of the current folder)\n"
    "  --trace FILE      have the library write its command trace to this file\n"
    "  --menu-trace      with --auto: switch the trace on with the program's Trace menu\n"
    "                    and check that it is written where the program says\n";

struct Options {
    std::string drive;
    bool intercept = false;
    bool automatic = false;
    std::string shots;
    std::string firmware;
    std::string trace;
    bool menuTrace = false;
    bool cancel = false;
};

// The exit status of an automatic run in which the program misbehaved.
const int kMisbehaved = 10;

int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--drive" && hasValue) {
            options.drive = argv[++i];
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
        } else if (arg == "--menu-trace") {
            options.menuTrace = true;
        } else if (arg == "--cancel") {
            options.cancel = true;
        } else {
            return 0;
        }
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The program links kdll.dll through its import library: it is loaded already.
    HMODULE library = GetModuleHandleA("kdll.dll");
    if (options.intercept) {
        // Without a user, the program's own boxes are answered too.
        if (!standIns.Install(library, options.automatic, 1) ||
            (options.automatic && !standIns.Install(GetModuleHandleA(nullptr), 1, 0))) {
            std::fprintf(stderr, "demo: cannot intercept the message boxes and the "
                                 "shut-down requests\n");
            return 1;
        }
        std::printf("shut-down requests%s are intercepted\n",
                    options.automatic ? " and message boxes" : " of the library");
    }
    if (!options.trace.empty()) {
        SetEnvironmentVariableA("KDLL_TRACE", options.trace.c_str());
        std::printf("command trace: %s\n", options.trace.c_str());
    }
    AutomaticRun run(options.shots, options.firmware, options.menuTrace, options.cancel);
    if (options.automatic && !run.Start()) {
        std::fprintf(stderr, "demo: no timer for the automatic run\n");
        return 1;
    }
    std::fflush(stdout);
    // The program as the user starts it, with the drive on its command line.
    int status =
        FlashHostMain(GetModuleHandleA(nullptr), nullptr, &options.drive[0], SW_SHOWNORMAL);
    std::printf("program: exit %d\n", status);
    return options.automatic && run.verdict == AutomaticRun::kMisbehaved ? kMisbehaved : status;
}

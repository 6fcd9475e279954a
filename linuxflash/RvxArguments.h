// rvxflash's command line: the command (list, info, flash), its file and options, and the
// options of every command (--json, --trace).
#pragma once

#include <string>

struct RvxArguments {
    enum Command { kList, kInfo, kFlash };

    Command command = kList;
    std::string file;   // info, flash: the firmware file
    std::string device; // flash: the drive's device file; empty: the one RVX-4417K found
    std::string trace;  // the command trace's file; empty: as KDLL_TRACE says
    bool probe = false; // list: send the download protocol's probe to each drive
    bool yes = false;   // flash: answer the question without asking
    bool json = false;  // the list or the result as JSON on the standard output

    // True when the command line names a command to run. Otherwise it has printed the help,
    // the version or what is wrong, and exitCode says how the program ends.
    bool Parse(int argc, char** argv, int& exitCode);
};

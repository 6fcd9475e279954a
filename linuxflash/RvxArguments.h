// rvxflash's command line: the command (list, info, flash), its file and options, and the
// options of every command (--json, --trace).
#pragma once

#include <ostream>
#include <string>

struct RvxArguments {
    enum Command { kNone, kList, kInfo, kFlash };
    // How the parse ended: a command to run; the help or the version shown (exit 0); or a
    // command line refused (error says why; exit kExitBadArguments).
    enum Outcome { kRun, kShown, kRefused };

    Command command = kNone;
    std::string file;   // info, flash: the firmware file
    std::string device; // flash: the drive's device file; empty: the one RVX-4417K found
    std::string trace;  // the command trace's file; empty: as KDLL_TRACE says
    bool probe = false; // list: send the download protocol's probe to each drive
    bool yes = false;   // flash: flash without asking, and answer the warning after a failure
    bool json = false;  // one JSON document on the standard output, whatever happens
    std::string error;  // kRefused: what is wrong

    // out: where the help and the version go; err: where a complaint goes. The command is
    // set as far as it was read, also when the line is refused.
    Outcome Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
    // Whether the line asks for JSON, read before the parse so that a refused line gets
    // its document too.
    static bool AsksForJson(int argc, const char* const* argv);
};

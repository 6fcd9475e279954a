// What each of rvxflash's commands gets from the program: its arguments, the requests to
// stop, where the user's lines go, and the report that the JSON document is made from;
// and the two ways a command ends early, said the same way by all of them.
#pragma once

#include <cstdio>
#include <string>

#include "ExitCode.h"
#include "RunReport.h"
#include "RvxArguments.h"
#include "StopSignals.h"

struct RunContext {
    const RvxArguments& arguments;
    StopSignals& stop;
    std::FILE* human; // the standard output, or the standard error with --json
    RunReport& report;

    // Ends the command with code: "rvxflash: WHY." for the user (more lines may follow in
    // what), and why for the document.
    ExitCode End(ExitCode code, const std::string& why, const char* what = "")
    {
        report.message = why;
        bool closed = !why.empty() && (why.back() == '!' || why.back() == '.');
        std::fprintf(human, "rvxflash: %s%s%s\n", why.c_str(), closed ? "" : ".", what);
        return code;
    }
    // Ends the command on a request to stop, before anything was written.
    ExitCode Stopped(const char* nothingDone)
    {
        NoteStop("");
        std::fprintf(human, "rvxflash: %s; %s.\n", report.message.c_str(), nothingDone);
        return kExitCancelled;
    }
    // The stop in the report: its signal, and "stopped by SIGINT" and when.
    void NoteStop(const char* when)
    {
        report.signal = stop.SignalName();
        report.message = std::string("stopped") + (report.signal ? " by " : "") +
                         (report.signal ? report.signal : "") + when;
    }
};

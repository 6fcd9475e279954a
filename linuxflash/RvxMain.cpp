// rvxflash: the commands list, info and flash, and the one JSON document of a run.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "FlashCommand.h"
#include "InfoCommand.h"
#include "JsonReport.h"
#include "ListCommand.h"
#include "RunContext.h"
#include "base/ProductInfo.h"
#include "trace/Trace.h"

namespace {

const char* CommandName(RvxArguments::Command command)
{
    switch (command) {
    case RvxArguments::kList:
        return "list";
    case RvxArguments::kInfo:
        return "info";
    case RvxArguments::kFlash:
        return "flash";
    case RvxArguments::kNone:
        break;
    }
    return nullptr;
}

ExitCode RunCommand(int argc, char** argv, std::FILE* human, bool json, RunReport& report)
{
    RvxArguments arguments;
    RvxArguments::Outcome parsed =
        arguments.Parse(argc, argv, json ? std::cerr : std::cout, std::cerr);
    report.command = CommandName(arguments.command);
    report.file.name = arguments.file;
    if (parsed == RvxArguments::kShown)
        return kExitDone;
    if (parsed == RvxArguments::kRefused) {
        report.message = arguments.error;
        return kExitBadArguments;
    }
    StopSignals stop;
    if (!stop.Start()) {
        report.message = "cannot watch the signals that stop it: " + stop.Reason();
        std::fprintf(human, "rvxflash: %s.\n", report.message.c_str());
        return kExitNotWritten;
    }
    if (!arguments.trace.empty())
        setenv("KDLL_TRACE", arguments.trace.c_str(), 1);
    Trace::Begin(KDLL_PRODUCT_TITLE);
    Trace::Settle(nullptr);

    RunContext run = {arguments, stop, human, report};
    switch (arguments.command) {
    case RvxArguments::kList:
        return ListCommand::Run(run);
    case RvxArguments::kInfo:
        return InfoCommand::Run(run);
    case RvxArguments::kFlash:
    case RvxArguments::kNone:
        break;
    }
    FlashCommand flash(run);
    return flash.Run();
}

} // namespace

int main(int argc, char** argv)
{
    const bool json = RvxArguments::AsksForJson(argc, argv);
    // With --json the standard output carries the document alone.
    std::FILE* human = json ? stderr : stdout;
    RunReport report;
    // Nothing of the program throws on purpose: what comes here is the libraries' word for
    // memory run out, and ends the run as any other failure does.
    try {
        report.code = RunCommand(argc, argv, human, json, report);
    } catch (const std::exception& error) {
        report.code = report.writeBegan ? kExitRestartNeeded : kExitNotWritten;
        report.message = std::string("stopped by an internal error: ") + error.what();
        std::fprintf(stderr, "rvxflash: %s.\n", report.message.c_str());
    }
    if (json)
        JsonReport::Print(stdout, report);
    return report.code;
}

// The command line, parsed with CLI11.
#include "RvxArguments.h"

#include <CLI/CLI.hpp>

#include "ExitCode.h"
#include "base/ProductInfo.h"

bool RvxArguments::Parse(int argc, char** argv, int& exitCode)
{
    CLI::App app("rvxflash: flashes the firmware of an RVX-4417K drive from Linux, with the "
                 "checks and texts of " KDLL_PRODUCT_TITLE ".",
                 "rvxflash");
    app.set_version_flag("--version", KDLL_PRODUCT_TITLE);
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--trace", trace, "Write the command trace into this file");
    app.add_flag("--json", json, "Print the list, or the result, as JSON on the standard output");

    CLI::App* list = app.add_subcommand("list", "List the CD-ROM drives");
    list->add_flag("--probe", probe,
                   "Ask each drive whether it takes the download protocol (goes to any make)");
    CLI::App* info =
        app.add_subcommand("info", "Show what the downloader reads in a firmware file");
    info->add_option("FILE", file, "The firmware file (*.ZQX)")->required();
    CLI::App* flash = app.add_subcommand("flash", "Write a firmware file into the drive");
    flash->add_option("FILE", file, "The firmware file (*.ZQX)")->required();
    flash->add_option("--device", device,
                      "The drive's device file (/dev/srN); without it, the one RVX-4417K found");
    flash->add_flag("--yes", yes, "Answer the question after a failed write without asking");

    // CLI11 reports a bad command line, and the help and version it printed, by an
    // exception: the one place the program meets one.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        exitCode = code == 0 ? 0 : kExitBadArguments;
        return false;
    }
    command = list->parsed() ? kList : info->parsed() ? kInfo : kFlash;
    return true;
}

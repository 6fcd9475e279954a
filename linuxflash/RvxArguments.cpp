// The command line, parsed with CLI11.
#include "RvxArguments.h"

#include <CLI/CLI.hpp>

#include <cstring>

#include "base/ProductInfo.h"

RvxArguments::Outcome RvxArguments::Parse(int argc, const char* const* argv, std::ostream& out,
                                          std::ostream& err)
{
    CLI::App app("rvxflash: flashes the firmware of an RVX-4417K drive from Linux, with the "
                 "checks and texts of " KDLL_PRODUCT_TITLE ".",
                 "rvxflash");
    app.set_version_flag("--version", KDLL_PRODUCT_TITLE);
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--trace", trace, "Write the command trace into this file");
    app.add_flag("--json", json,
                 "One JSON document on the standard output, whatever happens "
                 "(docs/rvxflash.schema.json)");

    CLI::App* list = app.add_subcommand("list", "List the CD-ROM drives");
    list->add_flag("--probe", probe,
                   "Ask each drive whether it takes the download protocol (goes to any make)");
    CLI::App* info =
        app.add_subcommand("info", "Show what the downloader reads in a firmware file");
    info->add_option("FILE", file, "The firmware file (*.ZQX)")->required();
    CLI::App* flash = app.add_subcommand("flash", "Write a firmware file into the drive");
    flash->add_option("FILE", file, "The firmware file (*.ZQX), or a pipe")->required();
    CLI::Option* deviceOption = flash->add_option(
        "--device", device,
        "The drive's device file (/dev/srN, /dev/sgN); without it, the one RVX-4417K found");
    flash->add_flag("--yes", yes,
                    "Flash without asking, and answer the warning after a failed write");

    // CLI11 reports a bad command line, and the help and version it printed, by an
    // exception: the one place the program meets one.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& parseError) {
        command = list->parsed()    ? kList
                  : info->parsed()  ? kInfo
                  : flash->parsed() ? kFlash
                                    : kNone;
        if (app.exit(parseError, out, err) == 0)
            return kShown;
        error = parseError.what();
        return kRefused;
    }
    command = list->parsed() ? kList : info->parsed() ? kInfo : kFlash;
    // CLI11 takes an empty word for a required file.
    if (command != kList && file.empty()) {
        error = "FILE: an empty name names no file";
        err << error << "\n";
        return kRefused;
    }
    if (deviceOption->count() > 0 && device.empty()) {
        error = "--device: an empty name names no device; leave --device out to flash the one "
                "RVX-4417K found";
        err << error << "\n";
        return kRefused;
    }
    return kRun;
}

bool RvxArguments::AsksForJson(int argc, const char* const* argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--json") == 0)
            return true;
    }
    return false;
}

// zqxtool: makes test firmware files for trying the downloader on a simulated drive and
// shows what the downloader would make of a firmware file.
// Exit status: 0 success, 1 file rejected, file exists or I/O failure, 2 usage error.
#include <cstdio>

#include "image/FirmwareFileReport.h"
#include "FirmwareFileWriter.h"
#include "ToolArguments.h"

namespace {

const char kUsage[] =
    "usage: zqxtool make FILE [options]   write a test firmware file\n"
    "       zqxtool info FILE             show what the downloader reads from FILE\n"
    "       zqxtool --help                show this text\n"
    "\n"
    "make writes a TEST file, never firmware: its code is a test pattern that leaves a\n"
    "real drive unusable. Try the downloader with it on a simulated drive only.\n"
    "The file has --size bytes (default 65536). The leading block 0x0000-0x07FF holds\n"
    "0xFF and, at 0x0700, the note \"ZQXTOOL TEST FILE - NOT FIRMWARE.\" (the downloader\n"
    "never sends this block); the code part from 0x0800 on is filled by --fill, then\n"
    "--code is copied to 0x0800, then the identification record and the protocol marker\n"
    "are put in. The defaults make a file the downloader accepts for an RVX-4417K.\n"
    "An existing FILE is left alone: make fails unless --force is given.\n"
    "  --force            replace FILE if it exists\n"
    "  --size N           file size, 0 to 67108864; below 65536 the downloader rejects it.\n"
    "                     A file too short for the record or the marker at its default\n"
    "                     offset goes without it; an offset given must fit.\n"
    "  --record-at N      offset of the 36-byte identification record, or 'none'\n"
    "                     (default 0x0800); neither it nor the marker may cover the note\n"
    "  --vendor TEXT      vendor identification, up to 8 characters (default NEMBRIKA)\n"
    "  --product TEXT     product identification, up to 16 characters\n"
    "                     (default 'CD-ROM RVX-4417K')\n"
    "  --revision TEXT    product revision, up to 4 characters (default 1.01)\n"
    "                     Shorter texts are padded with blanks.\n"
    "  --format B         record byte 3, response data format: 0x21 (default) or 0x32\n"
    "  --marker-at N      offset of the protocol marker __ZQTYPE40__, or 'none'\n"
    "                     (default 0x0840)\n"
    "  --fill P           'ramp' (each byte the low 8 bits of its offset, the default)\n"
    "                     or one byte value for the whole code part\n"
    "  --code BINARY      up to 63488 bytes of code placed at 0x0800\n"
    "Numbers are decimal or hexadecimal with 0x.\n"
    "\n"
    "info reads the first 65536 bytes as the downloader does and prints the panel's\n"
    "rows (FW Model Name with its blanks between quotes, FW Protocol, Check Sum), the\n"
    "16-bit sum the transfer sends behind the code part, and where the record and the\n"
    "marker were found, whether it is a test file made here, and the verdict. A file\n"
    "the downloader rejects exits 1: one it cannot read, or shorter than 65536 bytes,\n"
    "with the panel's message; one for another drive or without the protocol marker,\n"
    "with its description and the verdict.\n"
    "\n"
    "Exit status: 0 success, 1 file rejected, file exists or I/O failure, 2 usage error.\n"
    "Example:\n"
    "  zqxtool make demo.zqx --revision 1.02\n"
    "  zqxtool info demo.zqx\n";

int RunMake(const ToolArguments& arguments)
{
    FirmwareFileWriter writer(arguments);
    if (!writer.Write()) {
        std::fprintf(stderr, "zqxtool: %s\n", writer.errorText.c_str());
        return 1;
    }
    std::printf("wrote %s: %lu bytes\n", arguments.path.c_str(),
                static_cast<unsigned long>(writer.bytes.size()));
    if (arguments.recordLeftOut)
        std::fprintf(stderr, "zqxtool: note: no room for the record at 0x0800: left out\n");
    if (arguments.markerLeftOut)
        std::fprintf(stderr, "zqxtool: note: no room for the marker at 0x0840: left out\n");
    if (writer.bytes.size() < 65536)
        std::fprintf(stderr, "zqxtool: note: the downloader rejects files shorter than "
                             "65536 bytes\n");
    std::fprintf(stderr,
                 "zqxtool: warning: %s is a test file, not firmware: never flash a real drive "
                 "with it\n",
                 arguments.path.c_str());
    return 0;
}

int RunInfo(const ToolArguments& arguments)
{
    FirmwareFileReport report;
    if (!report.Load(arguments.path)) {
        if (report.loaderMessage == nullptr)
            std::fprintf(stderr, "zqxtool: empty file name: the downloader stops without a "
                                 "message\n");
        else
            std::fprintf(stderr, "zqxtool: %s: %s\n", arguments.path.c_str(), report.loaderMessage);
        return 1;
    }
    report.Print(stdout);
    // The verdict line is the message: a file for another drive, or one without the
    // protocol marker, never reaches the transfer.
    const FirmwareFileReport::Verdict verdict = report.Judge();
    return verdict == FirmwareFileReport::kFit || verdict == FirmwareFileReport::kTestFile ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    ToolArguments arguments;
    if (!arguments.Parse(argc, argv)) {
        std::fprintf(stderr, "zqxtool: %s\nTry 'zqxtool --help'.\n", arguments.errorText.c_str());
        return 2;
    }
    if (arguments.verb == ToolArguments::kHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return arguments.verb == ToolArguments::kMake ? RunMake(arguments) : RunInfo(arguments);
}

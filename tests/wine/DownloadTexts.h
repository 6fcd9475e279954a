// What a download sends and shows, as the drive and the user see it: the command blocks
// of each step and the status texts. Plain constants, shared by the Wine tests and the
// native tests of the download procedure.
#pragma once

#include <string>

namespace download {

// Command blocks, 12 bytes each.
const char kInquiry[] = "12 00 00 00 2E 00 00 00 00 00 00 00";
const char kProbe[] = "CB 00 01 00 00 00 00 F8 02 00 40 00";
const char kPrevent[] = "1E 00 00 00 02 00 00 00 00 00 00 00";
const char kUnload[] = "1B 00 00 00 02 00 00 00 00 00 00 00";
const char kWrite[] = "CB 00 04 00 00 00 00 F8 02 00 40 00";
const char kLoad[] = "1B 00 00 00 03 00 00 00 00 00 00 00";
const char kTestUnitReady[] = "00 00 00 00 00 00 00 00 00 00 00 00";

const char kReady[] = "Ready.";
const char kReading[] = "Reading F/W file...";
const char kCheckProtocol[] = "Check download protocol...";
const char kTransferCode[] = "Transfer F/W Code...";
const char kDownloading[] = "Downloading... (Do NOT turn off!)";
const char kSucceeded[] = "Download has done successfully!";
const char kWriteFailed[] = "Fail to Download, Restart Now!";
const char kNoAnswer[] = "New F/W is something wrong. no response to Inquiry !";
const char kDriveMismatch[] = "Mismatch  Drive(RVX-4417K)!";
const char kProtocolMismatch[] = "Mismatch protocol between F/W and drive!";
const char kThreadFailed[] = "Fail to transfer!";
const char kUnableToOpen[] = "Unable to open file!";
const char kDamaged[] = "Damaged F/W file!";

const char kWarningText[] = "You should better to restart right now and try again !";
const char kNoticeText[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

// "address command-bytes", as the tests write the commands a drive received.
inline std::string At(const char* address, const char* cdb)
{
    return std::string(address) + " " + cdb;
}

} // namespace download

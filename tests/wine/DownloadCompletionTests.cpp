// How a download ends once the worker has its result: the report, the load that checks
// the new firmware, the boxes and the shut-down or restart requests, and the panel as
// the user is left with it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "scsi/AspiTypes.h"

using namespace download;

namespace {

std::string ReadFileText(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const char kOneDrive[] = "adapters 1\n"
                         "device 0 1 rvx revision 1.00\n";

struct OutcomeCase {
    const char* name;
    const char* faults;
    const char* status;
    std::pair<std::string, int> row6;
    std::vector<std::string> calls;
    std::vector<std::string> afterWrite; // commands that follow the write
    int picture;
    bool buttonsEnabled;
    unsigned flashes;
    // KDLL_SESSION_REQUESTS=trace: the shut-down or restart goes into the trace, not to
    // Windows.
    bool recordsOnly = false;
};

std::vector<OutcomeCase> Cases()
{
    const std::vector<std::string> restart = {"MessageBoxA", "AdjustTokenPrivileges",
                                              "ExitWindowsEx"};
    const std::string load = At("0:1", kLoad);
    const std::string ready = At("0:1", kTestUnitReady);
    return {
        {"write refused by the drive",
         "fault 0 1 write check 3 0C 00\n",
         kWriteFailed,
         {"", kFailed},
         restart,
         {},
         106,
         true,
         0},
        {"write ends in an ASPI error",
         "fault 0 1 write status 0x04\n",
         kWriteFailed,
         {"", kFailed},
         restart,
         {},
         106,
         true,
         0},
        {"write done, reported with sense data",
         "fault 0 1 write sense-with-good 6 29 00\n",
         kWriteFailed,
         {"", kFailed},
         restart,
         {},
         106,
         true,
         1},
        {"load refused",
         "fault 0 1 load check 2 04 01\n",
         kNoAnswer,
         {"Done", kPassed},
         {},
         {load},
         106,
         true,
         1},
        {"load ends in an ASPI error",
         "fault 0 1 load status 0x04\n",
         kNoAnswer,
         {"Done", kPassed},
         {},
         {load},
         106,
         true,
         1},
        {"load completes, TEST UNIT READY refused",
         "fault 0 1 tur check 2 3A 00\n",
         kSucceeded,
         {"Done", kPassed},
         restart,
         {load, ready, ready},
         104,
         false,
         1},
        {"everything completes",
         "",
         kSucceeded,
         {"Done", kPassed},
         restart,
         {load, ready, ready},
         104,
         false,
         1},
        {"write refused, the restart recorded only",
         "fault 0 1 write check 3 0C 00\n",
         kWriteFailed,
         {"", kFailed},
         {"MessageBoxA"},
         {},
         106,
         true,
         0,
         true},
        {"everything completes, the shut-down recorded only",
         "",
         kSucceeded,
         {"Done", kPassed},
         {"MessageBoxA"},
         {load, ready, ready},
         104,
         false,
         1,
         true},
    };
}

TEST(DownloadCompletion, Outcomes)
{
    for (const OutcomeCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        char tracePath[MAX_PATH] = "";
        GetTempPathA(sizeof tracePath, tracePath);
        std::strcat(tracePath, "kdll-session-requests.txt");
        DeleteFileA(tracePath);
        SetEnvironmentVariableA("KDLL_SESSION_REQUESTS", c.recordsOnly ? "trace" : nullptr);
        SetEnvironmentVariableA("KDLL_TRACE", c.recordsOnly ? tracePath : nullptr);
        DownloadRig rig;
        ASSERT_EQ("", rig.Open(kOneDrive));
        FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
        ASSERT_NE("", rig.ChooseFirmware(file));
        ASSERT_EQ("", rig.Reconfigure((std::string(kOneDrive) + c.faults).c_str()));
        rig.Press();
        ASSERT_TRUE(rig.WaitForEnd()) << "status '" << rig.Status() << "'";

        EXPECT_EQ(c.status, rig.Status());
        std::vector<std::string> texts = {kReading, kCheckProtocol, kTransferCode, kDownloading};
        if (c.status != std::string(kWriteFailed))
            texts.push_back(kSucceeded);
        if (c.status != std::string(kSucceeded))
            texts.push_back(c.status);
        EXPECT_EQ(texts, StatusTexts(rig));
        EXPECT_EQ(RowsText({c.row6}),
                  RowsText(Rows{{rig.panel.Cell(6, 1), rig.panel.RowImage(6)}}));
        for (int row = 0; row < 6; ++row)
            EXPECT_EQ(kPassed, rig.panel.RowImage(row)) << "row " << row;
        EXPECT_EQ(nullptr, rig.ProgressBar());
        EXPECT_EQ(c.picture, rig.Picture());
        EXPECT_EQ(c.buttonsEnabled, rig.panel.IsEnabled(1)) << "\"&Download\"";
        EXPECT_EQ(c.buttonsEnabled, rig.panel.IsEnabled(1004)) << "open-file button";
        EXPECT_TRUE(rig.HostEnabled());
        EXPECT_EQ(c.flashes, rig.sim.Device(0, 1).flashCount);

        EXPECT_EQ(c.calls, rig.calls->Order());
        std::vector<RecordedCall> boxes = rig.calls->Calls("MessageBoxA");
        std::vector<RecordedCall> exits = rig.calls->Calls("ExitWindowsEx");
        SetEnvironmentVariableA("KDLL_SESSION_REQUESTS", nullptr);
        SetEnvironmentVariableA("KDLL_TRACE", nullptr);
        if (c.recordsOnly) {
            std::string what = c.status == std::string(kWriteFailed) ? "restart" : "shut-down";
            EXPECT_NE(std::string::npos,
                      ReadFileText(tracePath).find(
                          what + ": recorded only, not requested (KDLL_SESSION_REQUESTS=trace)"));
            EXPECT_TRUE(exits.empty());
        } else if (c.status == std::string(kWriteFailed)) {
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ("Warning", boxes[0].caption);
            EXPECT_EQ(kWarningText, boxes[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONHAND), boxes[0].type);
            EXPECT_EQ(rig.panel.Dialog(), boxes[0].owner);
            ASSERT_EQ(1u, exits.size());
            EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), exits[0].type) << "a restart, not forced";
        } else if (c.status == std::string(kSucceeded)) {
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ("Notice", boxes[0].caption);
            ASSERT_EQ(1u, exits.size());
            EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), exits[0].type);
        }

        std::vector<std::string> commands = rig.CommandTexts();
        std::vector<std::string> expected = {At("0:1", kInquiry)};
        for (int i = 0; i < 3; ++i)
            AddPreparation(expected, "0:1");
        expected.push_back(At("0:1", kWrite));
        expected.insert(expected.end(), c.afterWrite.begin(), c.afterWrite.end());
        EXPECT_EQ(expected, commands);
    }
}

// On Windows 9x there is no privilege to ask for: the write goes out without direction
// bits, the notice is followed directly by the shut-down, and the warning after a failed
// write directly by the restart request.
TEST(Win9xDownload, NoPrivilegeBeforeShutDownOrRestart)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId)
        << "this run is not on Windows 9x";

    struct {
        const char* name;
        const char* faults;
        const char* status;
        const char* box;
        UINT exitFlags;
    } cases[] = {
        {"success", "", kSucceeded, "Notice", EWX_SHUTDOWN | EWX_FORCE},
        {"failed write", "fault 0 1 write check 3 0C 00\n", kWriteFailed, "Warning", EWX_REBOOT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig rig;
        ASSERT_EQ("", rig.Open((std::string(kOneDrive) + c.faults).c_str()));
        ASSERT_NE("", rig.ChooseFirmware(FirmwareFileBuilder::Standard("2.00")));
        rig.Press();
        ASSERT_TRUE(rig.WaitForEnd()) << "status '" << rig.Status() << "'";

        EXPECT_EQ(c.status, rig.Status());
        EXPECT_EQ((std::vector<std::string>{"MessageBoxA", "ExitWindowsEx"}), rig.calls->Order());
        std::vector<RecordedCall> boxes = rig.calls->Calls("MessageBoxA");
        std::vector<RecordedCall> exits = rig.calls->Calls("ExitWindowsEx");
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.box, boxes[0].caption);
        ASSERT_EQ(1u, exits.size());
        EXPECT_EQ(c.exitFlags, exits[0].type);
        for (const SimRequestRecord& r : rig.Commands()) {
            if (r.cdb[0] == 0xCB && r.cdb[2] == 0x04) {
                EXPECT_EQ(0x40, r.flags) << "the write's flags";
                EXPECT_EQ(63490u, r.bufLen);
            }
        }
    }
}

} // namespace

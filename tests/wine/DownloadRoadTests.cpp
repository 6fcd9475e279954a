// Downloads that reach the drive, pressed through the panel that the exports opened, on
// the simulated drive: the commands and the payload the drive receives, what the panel
// shows at each step, and how the attempt ends.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "scsi/AspiTypes.h"

using namespace download;

namespace {

const char kFirmwareText[] = "NEMBRIKACD-ROM RVX-4417K 2.00  ";
const char kDriveText[] = "NEMBRIKACD-ROM RVX-4417K 1.00  ";

std::string Hex4(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

int IndexOfWrite(const std::vector<SimRequestRecord>& requests)
{
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].cdb[0] == 0xCB && requests[i].cdb[2] == 0x04)
            return static_cast<int>(i);
    }
    return -1;
}

bool InModule(void* address, HMODULE module)
{
    MEMORY_BASIC_INFORMATION region = {};
    return VirtualQuery(address, &region, sizeof region) != 0 &&
           region.AllocationBase == reinterpret_cast<void*>(module);
}

// A panel opened on the machine with a firmware file typed in.
class DownloadRoadTest : public testing::Test {
protected:
    void OpenWith(const char* scenario, const FirmwareFileBuilder& firmware,
                  DWORD driveAddress = 0x0100)
    {
        ASSERT_EQ("", rig.Open(scenario, driveAddress));
        file = firmware;
        path = rig.ChooseFirmware(file);
        ASSERT_NE("", path);
    }

    // Presses "&Download" and waits until the attempt has ended.
    void Download()
    {
        rig.Press();
        ASSERT_TRUE(rig.WaitForEnd()) << "still running; status '" << rig.Status() << "'";
    }

    // The end of a download that succeeded: everything passed, the success picture, the
    // notice and the shut-down request, both buttons still disabled.
    void ExpectSucceeded(const std::string& driveRow)
    {
        EXPECT_EQ(kSucceeded, rig.Status());
        EXPECT_EQ(RowsText({{kFirmwareText, kPassed},
                            {kProtocolName, kPassed},
                            {Hex4(file.FileSum()), kPassed},
                            {driveRow, kPassed},
                            {kProtocolName, kPassed},
                            {"Done", kPassed},
                            {"Done", kPassed}}),
                  RowsText(rig));
        EXPECT_EQ(104, rig.Picture());
        EXPECT_FALSE(rig.panel.IsEnabled(1)) << "\"&Download\" after a success";
        EXPECT_FALSE(rig.panel.IsEnabled(1004)) << "open-file button after a success";
        EXPECT_TRUE(rig.HostEnabled());
        EXPECT_EQ(nullptr, rig.ProgressBar());
        ASSERT_NE(nullptr, rig.calls);
        EXPECT_EQ(
            (std::vector<std::string>{"MessageBoxA", "AdjustTokenPrivileges", "ExitWindowsEx"}),
            rig.calls->Order());
        std::vector<RecordedCall> exits = rig.calls->Calls("ExitWindowsEx");
        ASSERT_EQ(1u, exits.size());
        EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), exits[0].type);
    }

    DownloadRig rig;
    FirmwareFileBuilder file;
    std::string path;
};

// The whole road with one RVX-4417K at the host's address. The write is held back by the
// drive for a while, so that the panel can be looked at while the worker waits for it.
TEST_F(DownloadRoadTest, OneDriveFromPressToShutDown)
{
    ASSERT_NO_FATAL_FAILURE(OpenWith("adapters 1\n"
                                     "device 0 1 rvx revision 1.00\n"
                                     "fault 0 1 write delay 1500\n",
                                     FirmwareFileBuilder::Standard("2.00")));
    ASSERT_TRUE(rig.panel.IsEnabled(1));
    rig.Press();

    // The checks have run on the panel's thread; the worker has been started.
    SCOPED_TRACE("after the press");
    EXPECT_EQ(kDownloading, rig.Status());
    EXPECT_FALSE(rig.panel.IsEnabled(1));
    EXPECT_FALSE(rig.panel.IsEnabled(1004));
    EXPECT_EQ(RowsText({{kFirmwareText, kPassed},
                        {kProtocolName, kPassed},
                        {Hex4(file.FileSum()), kPassed},
                        {kDriveText, kPassed},
                        {kProtocolName, kPassed},
                        {"Done", kPassed},
                        {"", kInProgress}}),
              RowsText(rig));
    ASSERT_EQ(1u, rig.threads.size()) << "one worker thread";
    EXPECT_TRUE(InModule(rig.threads[0].start, rig.panel.kdll.Module()))
        << "the worker runs the library's own procedure";
    EXPECT_NE(nullptr, rig.threads[0].argument) << "the worker is given its job";
    EXPECT_EQ(0u, rig.threads[0].flags) << "running at once";
    EXPECT_EQ(0u, rig.threads[0].stackSize);
    EXPECT_TRUE(rig.threads[0].defaultSecurity);
    EXPECT_TRUE(rig.threads[0].idGiven) << "Windows 9x creates no thread without it";

    // The progress bar over the value cell of row 6, 0 to 100.
    HWND bar = rig.ProgressBar();
    ASSERT_NE(nullptr, bar);
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(100, range.iHigh);
    RECT cell = {};
    cell.top = 1;
    cell.left = LVIR_LABEL;
    SendMessageA(rig.panel.Item(1006), LVM_GETSUBITEMRECT, 6, reinterpret_cast<LPARAM>(&cell));
    RECT barRect = {};
    GetWindowRect(bar, &barRect);
    MapWindowPoints(nullptr, rig.panel.Item(1006), reinterpret_cast<POINT*>(&barRect), 2);
    EXPECT_EQ(cell.top, barRect.top) << "the bar lies over row 6";
    EXPECT_EQ(cell.left, barRect.left) << "the bar starts at the value cell";

    // While the drive holds the write back.
    ASSERT_TRUE(rig.WaitUntil([&] { return IndexOfWrite(rig.Commands()) >= 0; }, 3000))
        << "the write never reached the drive";
    EXPECT_FALSE(rig.HostEnabled()) << "the host window during the transfer";
    EXPECT_EQ(kDownloading, rig.Status());
    EXPECT_FALSE(rig.panel.IsEnabled(1));
    EXPECT_EQ(kInProgress, rig.panel.RowImage(6));
    ASSERT_TRUE(rig.WaitUntil([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) != 0; }, 3000));
    EXPECT_EQ(12, SendMessageA(bar, PBM_GETPOS, 0, 0)) << "the bar after the first tick";
    EXPECT_EQ(kDownloading, rig.Status()) << "the status text while the write runs";
    EXPECT_FALSE(rig.HostEnabled());

    ASSERT_TRUE(rig.WaitForEnd()) << "still running; status '" << rig.Status() << "'";
    SCOPED_TRACE("after the end");

    // The status texts in order, and the panel as each one appeared.
    ASSERT_EQ((std::vector<std::string>{kReading, kCheckProtocol, kTransferCode, kDownloading,
                                        kSucceeded}),
              StatusTexts(rig));
    const std::string sum = Hex4(file.FileSum());
    struct {
        const char* text;
        Rows rows;
        size_t commands;
        bool progressBar;
    } stages[] = {
        {kReading, IdleRows(), 0, false},
        {kCheckProtocol,
         {{kFirmwareText, kPassed},
          {kProtocolName, kPassed},
          {sum, kPassed},
          {kDriveText, kPassed},
          {"", kIdle},
          {"", kIdle},
          {"", kIdle}},
         10,
         false},
        {kTransferCode,
         {{kFirmwareText, kPassed},
          {kProtocolName, kPassed},
          {sum, kPassed},
          {kDriveText, kPassed},
          {kProtocolName, kPassed},
          {"", kIdle},
          {"", kIdle}},
         10,
         false},
        {kDownloading,
         {{kFirmwareText, kPassed},
          {kProtocolName, kPassed},
          {sum, kPassed},
          {kDriveText, kPassed},
          {kProtocolName, kPassed},
          {"Done", kPassed},
          {"", kIdle}},
         10,
         false},
        {kSucceeded,
         {{kFirmwareText, kPassed},
          {kProtocolName, kPassed},
          {sum, kPassed},
          {kDriveText, kPassed},
          {kProtocolName, kPassed},
          {"Done", kPassed},
          {"Done", kPassed}},
         11,
         false},
    };
    for (size_t i = 0; i < 5; ++i) {
        const StatusSnapshot& seen = rig.statusLog[i];
        EXPECT_EQ(RowsText(stages[i].rows), RowsText(seen))
            << "when \"" << stages[i].text << "\" appeared";
        EXPECT_EQ(stages[i].commands, seen.commands)
            << "commands before \"" << stages[i].text << "\"";
        EXPECT_EQ(stages[i].progressBar, seen.progressBar) << "bar at \"" << stages[i].text << "\"";
    }
    EXPECT_EQ(108, rig.statusLog[0].picture) << "the logo when the attempt begins";

    // What the drive received.
    std::vector<std::string> stream = {At("0:1", kInquiry)};
    for (int i = 0; i < 3; ++i)
        AddPreparation(stream, "0:1");
    AddWriteAndCompletion(stream, "0:1");
    EXPECT_EQ(stream, rig.CommandTexts());

    std::vector<SimRequestRecord> requests = rig.Commands();
    ASSERT_EQ(stream.size(), requests.size());
    std::vector<CommandWait> waits = rig.Waits();
    ASSERT_EQ(requests.size(), waits.size()) << "one wait per command";
    for (size_t i = 0; i < requests.size(); ++i) {
        const SimRequestRecord& r = requests[i];
        const bool write = static_cast<int>(i) == IndexOfWrite(requests);
        const bool unload = r.cdb[0] == 0x1B && r.cdb[4] == 0x02;
        const bool inquiry = r.cdb[0] == 0x12;
        std::string name = "command " + std::to_string(i) + " " + DownloadRig::CommandText(r);
        EXPECT_EQ(12, r.cdbLength) << name;
        EXPECT_EQ(0, r.lun) << name;
        EXPECT_EQ(write ? 0x50 : 0x48, r.flags) << name;
        EXPECT_EQ(write ? 63490u : inquiry ? 46u : 0u, r.bufLen) << name;
        EXPECT_EQ(SS_COMP, r.finalStatus) << name;
        EXPECT_EQ(write ? 9000000u : unload ? 30000u : 7200u, waits[i].timeoutMs) << name;
        EXPECT_EQ(!write, waits[i].panelThread) << name;
        // Disabled from the write until the outcome has been shown.
        EXPECT_EQ(static_cast<int>(i) < IndexOfWrite(requests), waits[i].hostEnabled)
            << name << ": host window while waiting";
    }
    int write = IndexOfWrite(requests);
    ASSERT_GE(write, 0);
    std::vector<uint8_t> payload = rig.sim.DataOut(write);
    std::vector<uint8_t> expected = file.Payload();
    ASSERT_EQ(63490u, payload.size());
    EXPECT_TRUE(payload == expected) << "the payload is not the code part and its sum";
    EXPECT_EQ(file.CodeSum() & 0xFF, payload[0xF800]) << "low byte of the sum first";
    EXPECT_EQ(file.CodeSum() >> 8, payload[0xF801]);

    SimDeviceInfo drive = rig.sim.Device(0, 1);
    EXPECT_EQ(1u, drive.flashCount);
    EXPECT_STREQ("2.00", drive.revision) << "the drive runs the new code";
    EXPECT_EQ(1, drive.mediumLoaded);

    ExpectSucceeded(kDriveText);
    std::vector<RecordedCall> boxes = rig.calls->Calls("MessageBoxA");
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Notice", boxes[0].caption);
    EXPECT_EQ(kNoticeText, boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
    EXPECT_EQ(rig.panel.Dialog(), boxes[0].owner);

    DWORD exitCode = 0;
    ASSERT_NE(nullptr, rig.threads[0].handle);
    GetExitCodeThread(rig.threads[0].handle, &exitCode);
    EXPECT_EQ(1u, exitCode) << "the worker's exit code";
}

// The sum behind the code part: bytes 0x0800 to 0xFFFF only, low byte first. The
// identification record and the marker sit in the leading block, so that the code part
// holds exactly the chosen bytes.
TEST_F(DownloadRoadTest, PayloadSums)
{
    struct {
        const char* name;
        uint8_t leading;
        size_t recordAt;
        uint8_t code;
        uint8_t low;
        uint8_t high;
    } cases[] = {
        {"code all FF", 0x00, 0x0200, 0xFF, 0x00, 0x08},
        {"code all FF, other leading block", 0xA5, 0x0400, 0xFF, 0x00, 0x08},
        {"code all zero", 0x00, 0x0200, 0x00, 0x00, 0x00},
        {"code all zero, leading block FF", 0xFF, 0x0600, 0x00, 0x00, 0x00},
    };
    ASSERT_EQ("", rig.Open("adapters 1\n"
                           "device 0 1 rvx revision 1.00\n"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareFileBuilder firmware;
        firmware.FillLeading(c.leading).FillCode(c.code).Marker(0x0100).Record(
            c.recordAt, "NEMBRIKA", "CD-ROM RVX-4417K", "3.00");
        ASSERT_NE("", rig.ChooseFirmware(firmware, "SUMS.ZQX"));
        rig.sim.ClearLog();
        rig.calls->calls.clear();
        rig.Press();
        ASSERT_TRUE(rig.WaitForEnd()) << "status '" << rig.Status() << "'";

        std::vector<SimRequestRecord> requests = rig.Commands();
        int write = IndexOfWrite(requests);
        ASSERT_GE(write, 0);
        std::vector<uint8_t> payload = rig.sim.DataOut(write);
        ASSERT_EQ(63490u, payload.size());
        EXPECT_EQ(c.low, payload[63488]) << "got " << int(payload[63488]);
        EXPECT_EQ(c.high, payload[63489]) << "got " << int(payload[63489]);
        EXPECT_TRUE(std::vector<uint8_t>(payload.begin(), payload.end() - 2) ==
                    std::vector<uint8_t>(63488, c.code))
            << "the code part alone goes out";
        EXPECT_EQ(SS_COMP, requests[write].finalStatus) << "the drive took the sum";
        EXPECT_EQ(kSucceeded, rig.Status());
        EXPECT_EQ(Hex4(firmware.FileSum()), rig.panel.Cell(2, 1)) << "four digits, always";
        // After a success only a new file name makes the button usable again.
        ASSERT_FALSE(rig.panel.IsEnabled(1));
    }
    EXPECT_EQ(4u, rig.sim.Device(0, 1).flashCount);
}

// Two drives take the protocol, only the second is an RVX-4417K: it is chosen, and the
// drive row shows the firmware's text. The first drive is skipped in the choice without
// a command.
TEST_F(DownloadRoadTest, SecondOfTwoDrivesIsWritten)
{
    ASSERT_NO_FATAL_FAILURE(OpenWith("adapters 1\n"
                                     "device 0 1 rvx product \"CD-ROM RVX-4417J\" revision 1.00\n"
                                     "device 0 2 rvx revision 1.00\n",
                                     FirmwareFileBuilder::Standard("2.00")));
    ASSERT_NO_FATAL_FAILURE(Download());

    std::vector<std::string> stream = {At("0:1", kInquiry)};
    AddPreparation(stream, "0:1");
    AddPreparation(stream, "0:1");
    AddPreparation(stream, "0:2");
    AddPreparation(stream, "0:2");
    AddPreparation(stream, "0:2");
    AddWriteAndCompletion(stream, "0:2");
    EXPECT_EQ(stream, rig.CommandTexts());
    EXPECT_EQ(0u, rig.sim.Device(0, 1).flashCount);
    EXPECT_EQ(1u, rig.sim.Device(0, 2).flashCount);
    ExpectSucceeded(kFirmwareText);
}

// The unload answered UNIT ATTENTION twice: sent three times, and the drive counts as
// prepared.
TEST_F(DownloadRoadTest, UnitAttentionTwiceThenTheUnloadCompletes)
{
    ASSERT_NO_FATAL_FAILURE(OpenWith("adapters 1\n"
                                     "device 0 1 rvx revision 1.00\n",
                                     FirmwareFileBuilder::Standard("2.00")));
    ASSERT_EQ("", rig.Reconfigure("adapters 1\n"
                                  "device 0 1 rvx revision 1.00\n"
                                  "fault 0 1 unload unit-attention count 2\n"));
    ASSERT_NO_FATAL_FAILURE(Download());

    std::vector<std::string> stream = {At("0:1", kInquiry)};
    AddPreparation(stream, "0:1", 3);
    AddPreparation(stream, "0:1");
    AddPreparation(stream, "0:1");
    AddWriteAndCompletion(stream, "0:1");
    EXPECT_EQ(stream, rig.CommandTexts());
    ExpectSucceeded(kDriveText);
}

// TEST UNIT READY answered with CHECK CONDITION twice: still a success.
TEST_F(DownloadRoadTest, TestUnitReadyFailuresAreIgnored)
{
    ASSERT_NO_FATAL_FAILURE(OpenWith("adapters 1\n"
                                     "device 0 1 rvx revision 1.00\n",
                                     FirmwareFileBuilder::Standard("2.00")));
    ASSERT_EQ("", rig.Reconfigure("adapters 1\n"
                                  "device 0 1 rvx revision 1.00\n"
                                  "fault 0 1 tur check 2 3A 00\n"));
    ASSERT_NO_FATAL_FAILURE(Download());

    std::vector<SimRequestRecord> requests = rig.Commands();
    ASSERT_EQ(14u, requests.size());
    EXPECT_EQ(At("0:1", kLoad), DownloadRig::CommandText(requests[11]));
    for (size_t i = 12; i < 14; ++i) {
        EXPECT_EQ(At("0:1", kTestUnitReady), DownloadRig::CommandText(requests[i]));
        EXPECT_NE(SS_COMP, requests[i].finalStatus) << "the drive refused it";
    }
    ExpectSucceeded(kDriveText);
}

// After a failed attempt the next one starts from idle, empty rows with the logo, and
// goes through; after that success only a change of the file name enables "&Download".
TEST_F(DownloadRoadTest, SecondAttemptAfterAFailureAndTheButtonAfterSuccess)
{
    ASSERT_NO_FATAL_FAILURE(OpenWith("adapters 1\n"
                                     "device 0 1 rvx revision 1.00\n",
                                     FirmwareFileBuilder::Standard("2.00")));
    ASSERT_EQ("", rig.Reconfigure("adapters 1\n"
                                  "device 0 1 rvx revision 1.00\n"
                                  "fault 0 1 probe reject\n"));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(kProtocolMismatch, rig.Status());
    EXPECT_EQ(106, rig.Picture());
    ASSERT_TRUE(rig.panel.IsEnabled(1)) << "a failed attempt can be repeated at once";
    EXPECT_TRUE(rig.panel.IsEnabled(1004));

    ASSERT_EQ("", rig.Reconfigure("adapters 1\n"
                                  "device 0 1 rvx revision 1.00\n"));
    rig.statusLog.clear();
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_FALSE(rig.statusLog.empty());
    EXPECT_EQ(kReading, rig.statusLog[0].text);
    EXPECT_EQ(RowsText(IdleRows()), RowsText(rig.statusLog[0]));
    EXPECT_EQ(108, rig.statusLog[0].picture);
    ExpectSucceeded(kDriveText);

    rig.TypeFileName("");
    EXPECT_FALSE(rig.panel.IsEnabled(1));
    rig.TypeFileName(path);
    EXPECT_TRUE(rig.panel.IsEnabled(1)) << "a new file name makes the button usable";
}

} // namespace

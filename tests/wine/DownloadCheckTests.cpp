// Attempts that end before the transfer: every check of the sequence that "&Download"
// runs, with what the user reads afterwards and what the drives received.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "LibraryInternals.h"

using namespace download;

namespace {

const char kOneDrive[] = "adapters 1\n"
                         "device 0 1 rvx revision 1.00\n";
const char kNoDrive[] = "adapters 1\n";
const char kFirmwareText[] = "NEMBRIKACD-ROM RVX-4417K 2.00  ";
const char kDriveText[] = "NEMBRIKACD-ROM RVX-4417K 1.00  ";
// Stands for the file's check sum in the expected rows.
const char kSum[] = "<sum>";

enum FileKind { kNoName, kMissing, kShort, kGood, kOtherModel, kNoRecord, kNoMarker };

FirmwareFileBuilder Build(FileKind kind)
{
    switch (kind) {
    case kShort:
        return FirmwareFileBuilder::Standard("2.00").Resize(65535);
    case kOtherModel:
        return FirmwareFileBuilder().Marker(0x0100).Record(0x1000, "NEMBRIKA", "CD-ROM RVX-4417J",
                                                           "2.00");
    case kNoRecord:
        return FirmwareFileBuilder().Marker(0x0100);
    case kNoMarker:
        return FirmwareFileBuilder().Record(0x1000, "NEMBRIKA", "CD-ROM RVX-4417K", "2.00");
    default:
        return FirmwareFileBuilder::Standard("2.00");
    }
}

std::string Hex4(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// Rows 0 to 2 as a file with the marker leaves them when it passed.
Rows FileRowsPassed(const char* protocol = kProtocolName)
{
    return {{kFirmwareText, kPassed}, {protocol, kPassed}, {kSum, kPassed}};
}

Rows Then(Rows rows, const Rows& more)
{
    rows.insert(rows.end(), more.begin(), more.end());
    while (rows.size() < 7)
        rows.push_back({"", kIdle});
    return rows;
}

Rows WithSum(Rows rows, const FirmwareFileBuilder& file)
{
    for (auto& row : rows) {
        if (row.first == kSum)
            row.first = Hex4(file.FileSum());
    }
    return rows;
}

std::vector<std::string> Preparations(const char* address, int times)
{
    std::vector<std::string> stream;
    for (int i = 0; i < times; ++i)
        AddPreparation(stream, address);
    return stream;
}

// Preparations whose unload is executed the given number of times each.
std::vector<std::string> Unloading(const char* address, int times, int unloads)
{
    std::vector<std::string> stream;
    for (int i = 0; i < times; ++i)
        AddPreparation(stream, address, unloads);
    return stream;
}

std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& more)
{
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

struct CheckCase {
    const char* name;
    const char* discovery; // the machine that discovery sees
    const char* machine;   // the machine during the attempt; null: the same
    DWORD driveAddress;
    FileKind file;
    const char* status;
    Rows rows;
    std::vector<std::string> commands;
};

std::vector<CheckCase> Cases()
{
    const std::string inquiry = At("0:1", kInquiry);
    return {
        {"file-name box empty",
         kOneDrive,
         nullptr,
         0x0100,
         kNoName,
         kReading,
         Then({{"", kFailed}}, {}),
         {}},
        {"file cannot be opened",
         kOneDrive,
         nullptr,
         0x0100,
         kMissing,
         kUnableToOpen,
         Then({{"", kFailed}}, {}),
         {}},
        {"file one byte short",
         kOneDrive,
         nullptr,
         0x0100,
         kShort,
         kDamaged,
         Then({{"", kFailed}}, {}),
         {}},
        {"file for another model",
         kOneDrive,
         nullptr,
         0x0100,
         kOtherModel,
         kReading,
         Then({{"NEMBRIKACD-ROM RVX-4417J 2.00  ", kInProgress}}, {}),
         {}},
        {"file without identification record",
         kOneDrive,
         nullptr,
         0x0100,
         kNoRecord,
         kReading,
         Then({{"Unkown   ", kInProgress}}, {}),
         {}},
        {"drive does not complete the INQUIRY",
         kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 inquiry check 2 04 01\n",
         0x0100,
         kGood,
         kReading,
         Then(FileRowsPassed(), {}),
         {inquiry}},
        {"no device at the host's address",
         kOneDrive,
         nullptr,
         0x0300,
         kGood,
         kReading,
         Then(FileRowsPassed(), {}),
         {At("0:3", kInquiry)}},
        {"the one drive that answered is another model",
         "adapters 1\n"
         "device 0 1 rvx product \"CD-ROM RVX-4417J\"\n",
         nullptr, 0x0100, kGood, kDriveMismatch, Then(FileRowsPassed(), {}),
         Join({inquiry}, Preparations("0:1", 2))},
        {"two drives answered, neither an RVX-4417K",
         "adapters 1\n"
         "device 0 1 rvx product \"CD-ROM RVX-4417J\"\n"
         "device 0 2 rvx product \"CD-ROM RVX-4417L\"\n",
         nullptr, 0x0100, kGood, kDriveMismatch, Then(FileRowsPassed(), {{kFirmwareText, kIdle}}),
         Join(Join({inquiry}, Preparations("0:1", 2)), Preparations("0:2", 2))},
        {"two drives answered, the RVX-4417K refuses its third probe",
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 probe delay 1 count 2\n"
         "fault 0 1 probe reject\n"
         "device 0 2 rvx product \"CD-ROM RVX-4417J\"\n",
         nullptr, 0x0100, kGood, kDriveMismatch, Then(FileRowsPassed(), {{kFirmwareText, kIdle}}),
         Join(Join(Join({inquiry}, Preparations("0:1", 2)), Preparations("0:2", 2)),
              {At("0:1", kProbe)})},
        {"one drive answered once, then refused the probe", kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 probe delay 1 count 1\n"
         "fault 0 1 probe reject\n",
         0x0100, kGood, kDriveMismatch, Then(FileRowsPassed(), {}),
         Join(Join({inquiry}, Preparations("0:1", 1)), {At("0:1", kProbe)})},
        {"drive refuses the probe, file has the protocol",
         kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 probe reject\n",
         0x0100,
         kGood,
         kProtocolMismatch,
         Then(FileRowsPassed(), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         {inquiry, At("0:1", kProbe), At("0:1", kProbe)}},
        {"drive takes the probe, file without protocol", kOneDrive, nullptr, 0x0100, kNoMarker,
         kProtocolMismatch,
         Then(FileRowsPassed(kUnknownName), {{kDriveText, kPassed}, {kProtocolName, kFailed}}),
         Join({inquiry}, Preparations("0:1", 3))},
        {"neither file nor drive has the protocol",
         kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 probe reject\n",
         0x0100,
         kNoMarker,
         kProtocolMismatch,
         Then(FileRowsPassed(kUnknownName), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         {inquiry, At("0:1", kProbe), At("0:1", kProbe)}},
        // The probe was taken but the unload failed at every preparation: no drive was
        // prepared, and the firmware goes nowhere.
        {"unload stuck in UNIT ATTENTION", kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 unload unit-attention\n",
         0x0100, kGood, kProtocolMismatch,
         Then(FileRowsPassed(), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         Join({inquiry}, Unloading("0:1", 2, 32))},
        {"drive not ready to unload", kOneDrive,
         "adapters 1\n"
         "device 0 1 rvx revision 1.00\n"
         "fault 0 1 unload check 2 04 01\n",
         0x0100, kGood, kProtocolMismatch,
         Then(FileRowsPassed(), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         Join({inquiry}, Unloading("0:1", 2, 1))},
        {"no drive found, file with the protocol",
         kNoDrive,
         kOneDrive,
         0x0100,
         kGood,
         kProtocolMismatch,
         Then(FileRowsPassed(), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         {inquiry}},
        {"no drive found, file without protocol",
         kNoDrive,
         kOneDrive,
         0x0100,
         kNoMarker,
         kProtocolMismatch,
         Then(FileRowsPassed(kUnknownName), {{kFirmwareText, kPassed}, {kUnknownName, kFailed}}),
         {inquiry}},
    };
}

// Every failed check ends the attempt at once: the panel is ready for another attempt
// with the failure picture, no worker, no box, no shut-down request, and the drive never
// sees a write.
TEST(DownloadChecks, FailedChecksEndTheAttempt)
{
    for (const CheckCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        DownloadRig rig;
        ASSERT_EQ("", rig.Open(c.discovery, c.driveAddress));
        FirmwareFileBuilder file = Build(c.file);
        std::string path;
        if (c.file == kMissing)
            path = rig.MissingFile();
        else if (c.file != kNoName)
            path = rig.WriteFirmware(file);
        ASSERT_TRUE(c.file == kNoName || !path.empty());
        rig.TypeFileName(path);
        if (c.machine != nullptr) {
            ASSERT_EQ("", rig.Reconfigure(c.machine));
        }

        rig.Press();

        EXPECT_EQ(c.status, rig.Status());
        EXPECT_EQ(RowsText(WithSum(c.rows, file)), RowsText(rig));
        EXPECT_EQ(c.commands, rig.CommandTexts());
        EXPECT_EQ(106, rig.Picture());
        EXPECT_TRUE(rig.panel.IsEnabled(1)) << "\"&Download\"";
        EXPECT_TRUE(rig.panel.IsEnabled(1004)) << "open-file button";
        EXPECT_TRUE(rig.HostEnabled());
        EXPECT_EQ(nullptr, rig.ProgressBar());
        EXPECT_TRUE(rig.threads.empty()) << "a worker was started";
        EXPECT_TRUE(rig.calls->calls.empty()) << "first call: " << rig.calls->calls[0].function;
        ASSERT_FALSE(rig.statusLog.empty());
        EXPECT_EQ(kReading, rig.statusLog[0].text);
    }
}

// The worker thread cannot be created: the attempt ends with its own report and no
// restart, nothing keeps running, and the next press starts a download that works.
TEST(DownloadChecks, WorkerThreadCannotBeCreated)
{
    DownloadRig rig;
    ASSERT_EQ("", rig.Open(kOneDrive));
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    ASSERT_NE("", rig.ChooseFirmware(file));
    rig.failThreadCreation = true;
    rig.Press();

    ASSERT_EQ(1u, rig.threads.size()) << "the library asked for one thread";
    EXPECT_EQ(kThreadFailed, rig.Status());
    EXPECT_EQ(RowsText(WithSum(Then(FileRowsPassed(), {{kDriveText, kPassed},
                                                       {kProtocolName, kPassed},
                                                       {"Done", kPassed},
                                                       {"", kFailed}}),
                               file)),
              RowsText(rig));
    EXPECT_EQ(nullptr, rig.ProgressBar());
    EXPECT_EQ(106, rig.Picture());
    EXPECT_TRUE(rig.panel.IsEnabled(1));
    EXPECT_TRUE(rig.panel.IsEnabled(1004));
    EXPECT_TRUE(rig.HostEnabled());
    EXPECT_TRUE(rig.calls->calls.empty()) << "no box and no restart: nothing was sent";
    EXPECT_EQ(Join({At("0:1", kInquiry)}, Preparations("0:1", 3)), rig.CommandTexts());

    // No transfer timer: three would-be ticks change nothing.
    size_t texts = rig.statusLog.size();
    PanelHost::Pump(1600);
    EXPECT_EQ(texts, rig.statusLog.size());
    EXPECT_EQ(kThreadFailed, rig.Status());
    EXPECT_EQ(106, rig.Picture()) << "the picture would blink under a running timer";
    EXPECT_EQ(10u, rig.Commands().size());

    rig.failThreadCreation = false;
    rig.sim.ClearLog();
    rig.Press();
    ASSERT_TRUE(rig.WaitForEnd());
    EXPECT_EQ(kSucceeded, rig.Status());
    EXPECT_EQ(1u, rig.sim.Device(0, 1).flashCount);
}

// A panel whose instance has no drive connection (its transfer buffer could not be had):
// the attempt ends where the drive would have to answer, silently, and nothing reaches
// any drive. Built in-process, since the exports cannot produce such an instance.
TEST(DownloadChecks, NoDeviceEndsAtTheDrivePresence)
{
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kOneDrive)) << sim.LastError();
    PanelHost panel; // the host window, and kdll.dll for the panel's resources
    TestInstance instance(panel.kdll.Module(), panel.host);
    Downloader& downloader = instance.downloader;
    downloader.SetHostParams(panel.Params(0x0100));
    LibraryInternals::DropDevice(downloader);
    downloader.OpenDialog();
    ASSERT_NE(nullptr, panel.Dialog());

    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    std::string path = file.WriteTo(temp, "kdll-nodevice.zqx");
    ASSERT_NE("", path);
    SetDlgItemTextA(panel.Dialog(), 1002, path.c_str());
    sim.ClearLog();

    EXPECT_EQ(0, LibraryInternals::StartDownload(downloader));
    EXPECT_EQ(kReading, panel.Text(1001));
    Rows shown;
    for (int row = 0; row < 7; ++row)
        shown.push_back({panel.Cell(row, 1), panel.RowImage(row)});
    EXPECT_EQ(RowsText(WithSum(Then(FileRowsPassed(), {}), file)), RowsText(shown));
    FirmwareImage& firmware = instance.handoff.Drive()->Firmware();
    EXPECT_EQ(0, DownloadProcedure(nullptr, firmware).PrepareDrive());
    EXPECT_EQ(0, firmware.driveDescriptor.protocolType40);
    EXPECT_EQ(0u, sim.Requests().size());

    downloader.CloseDialog();
    DeleteFileA(path.c_str());
}

} // namespace

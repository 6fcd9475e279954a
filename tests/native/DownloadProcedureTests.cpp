// The download procedure without a window: run natively against the drive model, as the
// panel would run it, and judged by what the panel shows and the drive receives.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DownloadProcedureRig.h"
#include "DownloadTexts.h"

namespace {

using namespace download;

const char kOneDrive[] = "adapters 1\ndevice 0 1 rvx\n";
const char kTwoDrives[] =
    "adapters 2\ndevice 0 1 rvx revision 1.00\ndevice 1 0 rvx revision 0.99\n";
const char kTwoDrivesHostRefuses[] = "adapters 2\ndevice 0 1 rvx revision 1.00\n"
                                     "device 1 0 rvx revision 0.99\nfault 1 0 probe reject\n";

// commands, then times preparations (probe, lock, unload) of the drive at at.
std::vector<std::string> Preparations(std::vector<std::string> commands, const char* at, int times)
{
    for (int i = 0; i < times; ++i) {
        commands.push_back(At(at, kProbe));
        commands.push_back(At(at, kPrevent));
        commands.push_back(At(at, kUnload));
    }
    return commands;
}

// The INQUIRY of the selected drive, then two preparations of every drive that takes the
// probe and a third of the one chosen.
std::vector<std::string> ChecksOfOneDrive()
{
    return Preparations({At("0:1", kInquiry)}, "0:1", 3);
}

std::string FileRow(const char* product, const char* revision)
{
    return std::string("NEMBRIKA") + product + " " + revision + "  ";
}

TEST(DownloadProcedure, ChecksBeforeTheTransfer)
{
    FirmwareFileBuilder standard = FirmwareFileBuilder::Standard("2.00");
    char sum[8];
    std::snprintf(sum, sizeof sum, "%04X", standard.FileSum());
    const std::string model = FileRow("CD-ROM RVX-4417K", "2.00");
    const std::string taken =
        "0: '" + model + "' passed\n1: 'VEXO Type 4.0' passed\n2: '" + sum + "' passed\n";
    struct {
        const char* name;
        const char* scenario;
        FirmwareFileBuilder file;
        bool named;
        bool withDevice;
        int result;
        std::vector<std::string> statuses;
        std::vector<std::string> commands;
        std::string rows;
        int hostAdapter = -1; // the host's choice of drive, if any
        int hostTarget = -1;
    } cases[] = {
        {"the drive takes the download",
         kOneDrive,
         standard,
         true,
         true,
         1,
         {kReading, kCheckProtocol, kTransferCode, kDownloading},
         ChecksOfOneDrive(),
         taken + "3: 'NEMBRIKACD-ROM RVX-4417K 1.00  ' passed\n4: 'VEXO Type 4.0' passed\n"
                 "5: 'Done' passed\n6: '' in progress\n"},
        {"firmware of another drive",
         kOneDrive,
         FirmwareFileBuilder().Marker(0x100).Record(0x1000, "NEMBRIKA", "CD-ROM RVX-9999X", "2.00"),
         true,
         true,
         0,
         {kReading},
         {},
         "0: '" + FileRow("CD-ROM RVX-9999X", "2.00") +
             "' in progress\n1: '' idle\n2: '' idle\n3: '' idle\n4: '' idle\n5: '' idle\n"
             "6: '' idle\n"},
        {"no file named",
         kOneDrive,
         standard,
         false,
         true,
         0,
         {kReading},
         {},
         "0: '' failed\n1: '' idle\n2: '' idle\n3: '' idle\n4: '' idle\n5: '' idle\n6: '' idle\n"},
        {"no drive connection",
         kOneDrive,
         standard,
         true,
         false,
         0,
         {kReading},
         {},
         taken + "3: '' idle\n4: '' idle\n5: '' idle\n6: '' idle\n"},
        {"no drive at the address",
         "adapters 1\n",
         standard,
         true,
         true,
         0,
         {kReading},
         {At("0:0", kInquiry)},
         taken + "3: '' idle\n4: '' idle\n5: '' idle\n6: '' idle\n"},
        // With no drive prepared the row shows the file's model; the protocol decides.
        {"a drive without the protocol",
         "adapters 1\ndevice 0 1 cdrom ACME CD-123 1.0\n",
         standard,
         true,
         true,
         0,
         {kReading, kCheckProtocol, kProtocolMismatch},
         {At("0:1", kInquiry), At("0:1", kProbe), At("0:1", kProbe)},
         taken + "3: '" + model + "' passed\n4: 'Unkown' failed\n5: '' idle\n6: '' idle\n"},
        // Two RVX-4417K: the host's choice is written, not the first one found.
        {"the host's choice of two",
         kTwoDrives,
         standard,
         true,
         true,
         1,
         {kReading, kCheckProtocol, kTransferCode, kDownloading},
         Preparations(Preparations(Preparations({At("1:0", kInquiry)}, "0:1", 2), "1:0", 2), "1:0",
                      1),
         taken + "3: '" + model +
             "' passed\n4: 'VEXO Type 4.0' passed\n5: 'Done' passed\n"
             "6: '' in progress\n",
         1,
         0},
        // The host's choice does not take the download: no other drive is written instead.
        {"the host's choice refuses the probe",
         kTwoDrivesHostRefuses,
         standard,
         true,
         true,
         0,
         {kReading, kDriveMismatch},
         {At("1:0", kInquiry), At("0:1", kProbe), At("0:1", kPrevent), At("0:1", kUnload),
          At("0:1", kProbe), At("0:1", kPrevent), At("0:1", kUnload), At("1:0", kProbe),
          At("1:0", kProbe)},
         taken + "3: '' idle\n4: '' idle\n5: '' idle\n6: '' idle\n",
         1,
         0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadProcedureRig rig(c.scenario);
        ASSERT_EQ("", rig.configureError);
        if (c.named)
            rig.NameFile(c.file);
        DownloadProcedure procedure = rig.Procedure(c.withDevice);
        if (c.hostAdapter >= 0) {
            // As the library opens its panel: the presence check goes to the host's drive.
            rig.device->SetAdapter(static_cast<uint8_t>(c.hostAdapter))
                .SetTarget(static_cast<uint8_t>(c.hostTarget));
            procedure.SetHostChoice(static_cast<uint8_t>(c.hostAdapter),
                                    static_cast<uint8_t>(c.hostTarget));
        }
        EXPECT_EQ(c.result, procedure.CheckBeforeTransfer(rig));
        EXPECT_EQ(c.statuses, rig.statuses);
        EXPECT_EQ(c.commands, rig.Commands());
        EXPECT_EQ(c.rows, rig.RowsText());
        EXPECT_EQ(c.result ? std::vector<std::string>{"bar 6"} : std::vector<std::string>{},
                  rig.events);
    }
}

// The write carries the code part and its sum; the drive takes the file's revision.
TEST(DownloadProcedure, TransferSendsTheCodeAndItsSum)
{
    struct {
        const char* name;
        int verify;
        bool prepared;
        int result;
        uint32_t flashes;
    } cases[] = {
        {"verified", 1, true, DownloadProcedure::kTransferDone, 1},
        {"unverified: success is for the caller to assume", 0, true,
         DownloadProcedure::kTransferUnverified, 1},
        {"no drive with the protocol: nothing is sent", 1, false,
         DownloadProcedure::kTransferFailed, 0},
    };
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    std::vector<uint8_t> payload = file.Payload();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadProcedureRig rig(kOneDrive);
        rig.NameFile(file);
        ASSERT_EQ(1, rig.Procedure().CheckBeforeTransfer(rig));
        if (!c.prepared)
            rig.firmware->driveDescriptor.protocolType40 = 0;
        size_t before = rig.Commands().size();

        EXPECT_EQ(c.result, rig.Procedure().Transfer(c.verify));
        EXPECT_EQ(file.CodeSum(), rig.firmware->transferCheckSum);
        SimDeviceInfo drive = {};
        ASSERT_TRUE(rig.model.GetDeviceInfo(0, 1, drive));
        EXPECT_EQ(c.flashes, drive.flashCount);
        std::vector<std::string> commands = rig.Commands();
        ASSERT_EQ(before + c.flashes, commands.size());
        if (c.flashes == 0)
            continue;
        EXPECT_EQ(At("0:1", kWrite), commands.back());
        EXPECT_EQ(DriveModel::Fnv1a(payload.data(), static_cast<uint32_t>(payload.size())),
                  rig.LastDataOutDigest());
        EXPECT_STREQ("2.00", drive.revision);
    }
}

// After the worker: the report, the warning and restart after a failure, the load and
// two TEST UNIT READY after a success.
TEST(DownloadProcedure, CompletionReportsTheTransfer)
{
    const std::vector<std::string> checks = {At("0:1", kLoad), At("0:1", kTestUnitReady),
                                             At("0:1", kTestUnitReady)};
    const std::string warn = std::string("warn '") + kWarningText + "' 'Warning'";
    struct {
        const char* name;
        const char* faults;
        int32_t state;
        int verify;
        int result;
        std::vector<std::string> statuses;
        std::vector<std::string> events;
        std::vector<std::string> commands;
        std::string lastRow;
    } cases[] = {
        {"still running",
         "",
         DownloadProcedure::kTransferRunning,
         1,
         0,
         {},
         {"no bar"},
         {},
         "'' idle"},
        {"succeeded", "", 1, 1, 1, {kSucceeded}, {"no bar"}, checks, "'Done' passed"},
        {"failed", "", 0, 1, 0, {kWriteFailed}, {"no bar", warn, "restart"}, {}, "'' failed"},
        {"the new firmware does not load",
         "fault 0 1 load reject\n",
         1,
         1,
         0,
         {kSucceeded, kNoAnswer},
         {"no bar"},
         {At("0:1", kLoad)},
         "'Done' passed"},
        {"unverified: restart at once",
         "",
         1,
         0,
         1,
         {kSucceeded},
         {"no bar", "restart"},
         checks,
         "'Done' passed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadProcedureRig rig((std::string(kOneDrive) + c.faults).c_str());
        ASSERT_EQ("", rig.configureError);
        rig.device->SelectDrive(0);
        EXPECT_EQ(c.result, rig.Procedure().CompleteDownload(rig, rig, c.state, c.verify));
        EXPECT_EQ(c.statuses, rig.statuses);
        EXPECT_EQ(c.events, rig.events);
        EXPECT_EQ(c.commands, rig.Commands());
        EXPECT_NE(std::string::npos, rig.RowsText().find("6: " + c.lastRow + "\n"))
            << rig.RowsText();
    }
}

} // namespace

// Drive discovery as KDLL_Create runs it: which probes reach the layer, which devices
// are recorded, with which names and drive letters, and which drive is current after.
// The test prefix has D: and F: as CD-ROM drives and E: as a hard disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LibraryInternals.h"
#include "SimLink.h"
#include "scsi/ScsiDevice.h"

namespace {

const uint8_t kInquiryProbe[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};

class DiscoveryTest : public testing::Test {
protected:
    void Use(const std::string& scenario)
    {
        ASSERT_TRUE(sim.IsBound()) << "the simulated WNASPI32.dll is not loaded";
        ASSERT_TRUE(sim.Configure(scenario.c_str())) << sim.LastError();
    }
    void TearDown() override { sim.ReleaseHeld(); }

    SimLink sim;
};

std::string Entry(const DriveEntry& e)
{
    char text[128];
    wsprintfA(text, "%u:%u \"%s\" \"%s\" '%c'", e.adapterId, e.targetId, e.modelName, e.revision,
              e.driveLetter);
    return text;
}

// Every target 0 to 7 of every adapter, in ascending order, with the one INQUIRY block,
// and nothing else.
TEST_F(DiscoveryTest, ProbesEveryTargetOfEveryAdapterOnce)
{
    Use("adapters 3\n"
        "device 1 4 rvx\n");
    ScsiDevice device(65545);
    sim.ClearLog();
    device.DiscoverDrives();

    std::vector<SimRequestRecord> requests = sim.Requests();
    ASSERT_EQ(24u, requests.size());
    for (int i = 0; i < 24; ++i) {
        const SimRequestRecord& r = requests[i];
        std::string name = "probe " + std::to_string(i);
        EXPECT_EQ(SC_EXEC_SCSI_CMD, r.command) << name;
        EXPECT_EQ(i / 8, r.adapter) << name;
        EXPECT_EQ(i % 8, r.target) << name;
        EXPECT_EQ(0, r.lun) << name;
        EXPECT_EQ(0x48, r.flags) << name;
        EXPECT_EQ(12, r.cdbLength) << name;
        EXPECT_EQ(0, memcmp(kInquiryProbe, r.cdb, 12)) << name;
        EXPECT_EQ(36u, r.bufLen) << name;
    }
    EXPECT_EQ(1, device.DriveCount());
    EXPECT_EQ(SS_COMP, device.RequestBlock().SRB_Status) << "status is reset after discovery";
}

TEST_F(DiscoveryTest, RecordsOnlyCdromDevices)
{
    Use("adapters 2\n"
        "device 0 0 disk \"ACME    \" \"HARD DISK       \" \"0001\"\n"
        "device 0 5 type 0x25 \"ACME    \" \"OFFLINE CDROM   \" \"0001\"\n"
        "device 1 2 rvx revision 1.00\n");
    ScsiDevice device(65545);
    device.DiscoverDrives();
    ASSERT_EQ(1, device.DriveCount());
    EXPECT_EQ("1:2 \"NEMBRIKACD-ROM RVX-4417K\" \"1.00\" 'D'", Entry(device.Drive(0)));
    EXPECT_EQ(1, device.AdapterId());
    EXPECT_EQ(2, device.TargetId());
}

TEST_F(DiscoveryTest, NoDriveLeavesTheAddressAtZero)
{
    Use("adapters 2\n"
        "device 1 3 disk \"ACME    \" \"HARD DISK       \" \"0001\"\n");
    ScsiDevice device(65545);
    device.DiscoverDrives();
    EXPECT_EQ(0, device.DriveCount());
    EXPECT_EQ(0, device.AdapterId());
    EXPECT_EQ(0, device.TargetId());
}

// Eight entries at most; later devices in discovery order are left out.
TEST_F(DiscoveryTest, NineDrivesGiveEight)
{
    std::string scenario = "adapters 2\n";
    for (int t = 0; t < 8; ++t)
        scenario +=
            "device 0 " + std::to_string(t) + " rvx revision 1.0" + std::to_string(t) + "\n";
    scenario += "device 1 0 rvx revision 9.99\n";
    Use(scenario);
    ScsiDevice device(65545);
    device.DiscoverDrives();
    ASSERT_EQ(8, device.DriveCount());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(0, device.Drive(i).adapterId) << "entry " << i;
        EXPECT_EQ(i, device.Drive(i).targetId) << "entry " << i;
    }
}

TEST_F(DiscoveryTest, NulPaddingBecomesBlanks)
{
    Use("adapters 1\n"
        "device 0 0 cdrom \"ACME\\0\\0\\0\\0\" \"DRIVE\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\" "
        "\"1.0\\0\"\n");
    ScsiDevice device(65545);
    device.DiscoverDrives();
    ASSERT_EQ(1, device.DriveCount());
    EXPECT_STREQ("ACME    DRIVE           ", device.Drive(0).modelName);
    EXPECT_STREQ("1.0 ", device.Drive(0).revision);
}

// A probe that fails or never completes is passed over; discovery goes on.
TEST_F(DiscoveryTest, FailedProbesAreSkipped)
{
    Use("adapters 1\n"
        "device 0 0 rvx\n"
        "fault 0 0 inquiry check 2 4 1\n"
        "device 0 1 rvx\n"
        "fault 0 1 inquiry hang\n"
        "device 0 2 rvx revision 2.00\n");
    ScsiDevice device(65545);
    SetPendingTimeout(device, 300);
    device.DiscoverDrives();
    ASSERT_EQ(1, device.DriveCount());
    EXPECT_EQ(2, device.Drive(0).targetId);
    EXPECT_STREQ("2.00", device.Drive(0).revision);
    EXPECT_EQ(0, sim.PendingCount()) << "the probe that hung was aborted";
}

// The n-th CD-ROM device gets the n-th CD-ROM drive letter: D, then F (E is a hard
// disk); a third finds no letter left and keeps a blank.
TEST_F(DiscoveryTest, DriveLettersFromWindows)
{
    Use("adapters 2\n"
        "device 0 6 rvx\n"
        "device 1 0 cdrom \"OTHER   \" \"CD DRIVE        \" \"1.00\"\n"
        "device 1 1 cdrom \"OTHER   \" \"CD DRIVE        \" \"1.01\"\n");
    ScsiDevice device(65545);
    device.DiscoverDrives();
    ASSERT_EQ(3, device.DriveCount());
    EXPECT_EQ('D', device.Drive(0).driveLetter);
    EXPECT_EQ('F', device.Drive(1).driveLetter);
    EXPECT_EQ(' ', device.Drive(2).driveLetter);
}

TEST_F(DiscoveryTest, SelectionByAddressAndByIndex)
{
    Use("adapters 2\n"
        "device 0 1 rvx\n"
        "device 1 3 rvx\n");
    ScsiDevice device(65545);
    device.DiscoverDrives();
    ASSERT_EQ(2, device.DriveCount());
    EXPECT_EQ(0, device.AdapterId());
    EXPECT_EQ(1, device.TargetId());

    device.SelectDrive(1);
    EXPECT_EQ(1, device.AdapterId());
    EXPECT_EQ(3, device.TargetId());
    device.SelectDrive(2); // not below driveCount: nothing changes
    EXPECT_EQ(1, device.AdapterId());
    EXPECT_EQ(3, device.TargetId());
    device.SelectDrive(200);
    EXPECT_EQ(3, device.TargetId());

    device.SetAdapter(0).SetTarget(7);
    EXPECT_EQ(0, device.AdapterId());
    EXPECT_EQ(7, device.TargetId());
}

} // namespace

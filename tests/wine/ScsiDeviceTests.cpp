// ScsiDevice against the simulated ASPI layer, in-process: what reaches the layer, and
// what the device reports back for each way a request can end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "LibraryInternals.h"
#include "SimLink.h"
#include "scsi/ScsiDevice.h"

namespace {

const uint8_t kTestUnitReady[12] = {0x00};
const uint8_t kInquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kProbe[12] = {0xCB, 0, 1, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40, 0};
const uint8_t kWrite[12] = {0xCB, 0, 4, 0, 0, 0, 0, 0xF8, 0x02, 0, 0x40, 0};

const char kOneDrive[] = "adapters 1\n"
                         "device 0 0 rvx\n";

class ScsiDeviceTest : public testing::Test {
protected:
    void Use(const char* scenario)
    {
        ASSERT_TRUE(sim.IsBound()) << "the simulated WNASPI32.dll is not loaded";
        ASSERT_TRUE(sim.Configure(scenario)) << sim.LastError();
    }
    void TearDown() override { sim.ReleaseHeld(); }

    SimLink sim;
};

TEST_F(ScsiDeviceTest, AdapterCountComesFromTheLayer)
{
    Use("adapters 3\n");
    ScsiDevice device(65545);
    EXPECT_EQ(3, device.GetAdapterCount());
    EXPECT_EQ(0u, device.IsWindows9x());
}

TEST_F(ScsiDeviceTest, AdapterNotBelowCountFailsWithoutReachingTheLayer)
{
    Use(kOneDrive);
    ScsiDevice device(65545);
    device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
    sim.ClearLog();

    device.SetAdapter(1).SetTarget(0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0u, sim.Requests().size());

    device.SetAdapter(0);
    EXPECT_EQ(1, device.ExecuteCommand());
    ASSERT_EQ(1u, sim.Requests().size());
    EXPECT_EQ(0, sim.Requests()[0].adapter);
}

// What the layer receives for each request: address, flags, command bytes, lengths.
TEST_F(ScsiDeviceTest, RequestBlockCarriesThePendingRequest)
{
    Use("adapters 1\n"
        "device 0 3 rvx\n");
    ScsiDevice device(65545);
    device.SetAdapter(0).SetTarget(3);

    struct {
        const char* name;
        const uint8_t* cdb;
        uint8_t direction;
        uint32_t length;
        uint8_t flags;
    } cases[] = {
        {"INQUIRY in", kInquiry, SRB_DIR_IN, 36, 0x48},
        {"probe, no data", kProbe, SRB_DIR_IN, 0, 0x48},
        {"write out", kWrite, SRB_DIR_OUT, 63490, 0x50},
    };
    for (const auto& c : cases) {
        sim.ClearLog();
        device.SetCommandBlock(c.cdb, c.direction, c.length);
        device.ExecuteCommand();
        std::vector<SimRequestRecord> requests = sim.Requests();
        ASSERT_EQ(1u, requests.size()) << c.name;
        const SimRequestRecord& r = requests[0];
        EXPECT_EQ(SC_EXEC_SCSI_CMD, r.command) << c.name;
        EXPECT_EQ(0, r.adapter) << c.name;
        EXPECT_EQ(3, r.target) << c.name;
        EXPECT_EQ(0, r.lun) << c.name;
        EXPECT_EQ(c.flags, r.flags) << c.name;
        EXPECT_EQ(12, r.cdbLength) << c.name;
        EXPECT_EQ(0, memcmp(c.cdb, r.cdb, 12)) << c.name;
        for (int i = 12; i < 16; ++i)
            EXPECT_EQ(0, r.cdb[i]) << c.name << ": command byte " << i;
        EXPECT_EQ(18, r.senseLength) << c.name;
        EXPECT_EQ(c.length, r.bufLen) << c.name;
        EXPECT_EQ(1u, r.bufPointerSet) << c.name << ": buffer address set even without data";
    }
}

TEST_F(ScsiDeviceTest, InquiryDataArrivesInTheBuffer)
{
    Use(kOneDrive);
    ScsiDevice device(65545);
    device.SetCommandBlock(kInquiry, SRB_DIR_IN, 36);
    ASSERT_EQ(1, device.ExecuteCommand());
    EXPECT_EQ(0x05, device.DataBuffer()[0]);
    EXPECT_EQ(0, memcmp("NEMBRIKACD-ROM RVX-4417K", device.DataBuffer() + 8, 24));
    EXPECT_EQ(0, device.SenseKey());
    EXPECT_EQ(0, device.IsTimedOut());
}

TEST_F(ScsiDeviceTest, WritePayloadReachesTheDrive)
{
    Use(kOneDrive);
    ScsiDevice device(65545);
    uint16_t sum = 0;
    for (int i = 0; i < 63488; ++i) {
        device.DataBuffer()[i] = static_cast<uint8_t>(i * 7);
        sum = static_cast<uint16_t>(sum + device.DataBuffer()[i]);
    }
    device.DataBuffer()[63488] = static_cast<uint8_t>(sum & 0xFF);
    device.DataBuffer()[63489] = static_cast<uint8_t>(sum >> 8);
    std::vector<uint8_t> expected(device.DataBuffer(), device.DataBuffer() + 63490);

    sim.ClearLog();
    device.SetCommandBlock(kWrite, SRB_DIR_OUT, 63490);
    EXPECT_EQ(1, device.ExecuteCommand());
    EXPECT_EQ(expected, sim.DataOut(0));
    EXPECT_EQ(1, sim.Device(0, 0).flashCount);
}

// The drive's sense data, whichever way the layer reports it, makes the command fail
// and is read back from the fixed-format sense bytes.
TEST_F(ScsiDeviceTest, SenseDataMeansFailure)
{
    struct {
        const char* name;
        const char* fault;
        uint8_t key, asc, ascq;
    } cases[] = {
        {"CHECK CONDITION", "fault 0 0 tur check 2 3a 0\n", 2, 0x3A, 0x00},
        {"unit attention", "fault 0 0 tur unit-attention\n", 6, 0x29, 0x00},
        {"SS_COMP with sense data", "fault 0 0 tur sense-with-good\n", 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string scenario = std::string(kOneDrive) + c.fault;
        Use(scenario.c_str());
        ScsiDevice device(65545);
        device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
        EXPECT_EQ(0, device.ExecuteCommand()) << c.name;
        EXPECT_EQ(0, device.CommandSucceeded()) << c.name;
        EXPECT_EQ(0, device.IsTimedOut()) << c.name;
        if (c.key != 0) {
            EXPECT_EQ(c.key, device.SenseKey()) << c.name;
            EXPECT_EQ(c.asc, device.Asc()) << c.name;
            EXPECT_EQ(c.ascq, device.Ascq()) << c.name;
        }
    }
}

TEST_F(ScsiDeviceTest, ErrorStatusWithoutSenseFails)
{
    Use("adapters 1\n"
        "device 0 0 rvx\n"
        "fault 0 0 tur status 0x04\n");
    ScsiDevice device(65545);
    device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0, device.SenseKey());
}

TEST_F(ScsiDeviceTest, EmptyTargetFails)
{
    Use(kOneDrive);
    ScsiDevice device(65545);
    device.SetTarget(5);
    device.SetCommandBlock(kInquiry, SRB_DIR_IN, 36);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(SS_NO_DEVICE, device.RequestBlock().SRB_Status);
}

TEST_F(ScsiDeviceTest, LayerThatCompletesAtOnce)
{
    Use("adapters 1\n"
        "completion sync\n"
        "device 0 0 rvx\n");
    ScsiDevice device(65545);
    device.SetCommandBlock(kInquiry, SRB_DIR_IN, 36);
    EXPECT_EQ(1, device.ExecuteCommand());
    EXPECT_EQ(0x05, device.DataBuffer()[0]);
    device.SetCommandBlock(kProbe, SRB_DIR_IN, 0);
    EXPECT_EQ(1, device.ExecuteCommand());
}

// A layer that refuses at once without writing the status must not leave the status of
// an earlier success behind.
TEST_F(ScsiDeviceTest, LayerThatRefusesEveryRequest)
{
    Use("adapters 1\n"
        "refuse-all\n"
        "device 0 0 rvx\n");
    ScsiDevice device(65545);
    ASSERT_EQ(1, device.CommandSucceeded());
    device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0, device.IsTimedOut());
    EXPECT_EQ(0, device.IsRequestHeld());
}

// A time-out: senseKey 0, ASC and ASCQ of the previous command, and the request is
// aborted so that the block can be used again.
TEST_F(ScsiDeviceTest, TimeOutAbortsAndKeepsThePreviousSense)
{
    Use("adapters 1\n"
        "device 0 0 rvx\n"
        "fault 0 0 load check 5 24 0\n"
        "fault 0 0 unload hang count 1\n");
    ScsiDevice device(65545);
    const uint8_t load[12] = {0x1B, 0, 0, 0, 3};
    const uint8_t unload[12] = {0x1B, 0, 0, 0, 2};
    device.SetCommandBlock(load, SRB_DIR_IN, 0);
    ASSERT_EQ(0, device.ExecuteCommand());
    ASSERT_EQ(5, device.SenseKey());

    sim.ClearLog();
    SetPendingTimeout(device, 300);
    device.SetCommandBlock(unload, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(1, device.IsTimedOut());
    EXPECT_EQ(0, device.SenseKey());
    EXPECT_EQ(0x24, device.Asc());
    EXPECT_EQ(0x00, device.Ascq());
    EXPECT_EQ(0, device.IsRequestHeld());
    EXPECT_EQ(0, sim.PendingCount());

    std::vector<SimRequestRecord> requests = sim.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(SC_EXEC_SCSI_CMD, requests[0].command);
    EXPECT_EQ(SS_ABORTED, requests[0].finalStatus);
    EXPECT_EQ(SC_ABORT_SRB, requests[1].command);

    // The unload fault was for one execution only: the same request now completes.
    SetPendingTimeout(device, 7200);
    EXPECT_EQ(1, device.ExecuteCommand());
    EXPECT_EQ(0, device.IsTimedOut());
}

// A layer that keeps a timed-out request even when asked to abort it: the block is left
// alone until the layer lets go, and commands fail at once meanwhile.
TEST_F(ScsiDeviceTest, LayerThatKeepsTheRequest)
{
    Use("adapters 1\n"
        "device 0 0 rvx\n"
        "fault 0 0 unload keep count 1\n");
    ScsiDevice device(65545);
    const uint8_t unload[12] = {0x1B, 0, 0, 0, 2};
    SetPendingTimeout(device, 200);
    device.SetCommandBlock(unload, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(1, device.IsRequestHeld());
    EXPECT_EQ(1, sim.PendingCount());

    SRB_ExecSCSICmd before;
    memcpy(&before, &device.RequestBlock(), sizeof before);
    size_t requestsBefore = sim.Requests().size();
    device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0, memcmp(&before, &device.RequestBlock(), sizeof before))
        << "the held block was touched";
    EXPECT_EQ(requestsBefore, sim.Requests().size()) << "a request was sent meanwhile";

    sim.ReleaseHeld();
    EXPECT_EQ(0, sim.PendingCount());
    EXPECT_EQ(1, device.ExecuteCommand());
    EXPECT_EQ(0, device.IsRequestHeld());
    ASSERT_FALSE(sim.ScsiRequests().empty());
    EXPECT_EQ(0x00, sim.ScsiRequests().back().cdb[0]);
}

TEST_F(ScsiDeviceTest, AbortAnswer)
{
    Use(kOneDrive);
    ScsiDevice device(65545);
    // Nothing is pending: the layer cannot abort anything.
    EXPECT_EQ(0, device.AbortCommand());
    std::vector<SimRequestRecord> requests = sim.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(SC_ABORT_SRB, requests.back().command);
}

TEST_F(ScsiDeviceTest, NoAdaptersMeansEveryCommandFails)
{
    Use("adapters 0\n");
    ScsiDevice device(65545);
    EXPECT_EQ(0, device.GetAdapterCount());
    device.SetCommandBlock(kTestUnitReady, SRB_DIR_IN, 0);
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0u, sim.ScsiRequests().size());
}

// Runs only where WNASPI32.dll is missing or is Wine's own stub.
TEST(NoAspiLayer, EveryCommandFailsAtOnce)
{
    ScsiDevice device(65545);
    EXPECT_EQ(0, device.GetAdapterCount());
    device.SetCommandBlock(kInquiry, SRB_DIR_IN, 36);
    DWORD start = GetTickCount();
    EXPECT_EQ(0, device.ExecuteCommand());
    EXPECT_EQ(0, device.IsTimedOut());
    EXPECT_LT(GetTickCount() - start, 7000u) << "the command waited for a completion";
    device.DiscoverDrives();
    EXPECT_EQ(0, device.DriveCount());
}

// Runs only in the copy of the test program that Wine reports as Windows 98.
TEST(Win9x, RequestsCarryNoDirectionBits)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId)
        << "this run is not on Windows 9x";

    SimLink sim;
    ASSERT_TRUE(sim.Configure(kOneDrive)) << sim.LastError();
    ScsiDevice device(65545);
    EXPECT_EQ(1u, device.IsWindows9x());

    struct {
        const char* name;
        const uint8_t* cdb;
        uint8_t direction;
        uint32_t length;
    } cases[] = {{"read", kInquiry, SRB_DIR_IN, 36}, {"write", kWrite, SRB_DIR_OUT, 63490}};
    for (const auto& c : cases) {
        sim.ClearLog();
        device.SetCommandBlock(c.cdb, c.direction, c.length);
        device.ExecuteCommand();
        ASSERT_EQ(1u, sim.Requests().size()) << c.name;
        EXPECT_EQ(0x40, sim.Requests()[0].flags) << c.name;
    }
    device.SetCommandBlock(kInquiry, SRB_DIR_IN, 36);
    EXPECT_EQ(1, device.ExecuteCommand()) << "the layer takes the direction from the command";
    EXPECT_EQ(0x05, device.DataBuffer()[0]);
}

} // namespace

// The downloader itself (kdll.dll through its exports and panel) on our WNASPI32.dll
// over pass-through stand-ins, against the same machine on the simulated layer: the
// drive must receive the same commands and payload, and the user see the same panel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "LayerRedirect.h"
#include "PassThroughMachine.h"

using namespace download;

namespace {

// What one download left behind, from the drive's side and the user's.
struct DownloadRecord {
    std::string error;                 // "" when the download ran to its end
    std::vector<std::string> commands; // "A:T cdb  length direction digest status"
    std::vector<uint8_t> payload;      // data out of the write
    std::vector<std::string> statuses;
    std::string rows;
    int picture;
    std::vector<std::string> calls; // message boxes and shut-down requests
};

std::string Describe(const SimRequestRecord& record)
{
    char tail[64];
    // Without a data phase the direction bits of the block do not reach the drive.
    int direction = record.bufLen > 0 ? record.flags & (SRB_DIR_IN | SRB_DIR_OUT) : 0;
    std::snprintf(tail, sizeof tail, "  len %u dir %02X data %08X status %02X", record.bufLen,
                  direction, record.dataOutDigest, record.finalStatus);
    return DownloadRig::CommandText(record) + tail;
}

int IndexOfWrite(const std::vector<SimRequestRecord>& requests)
{
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].cdb[0] == 0xCB && requests[i].cdb[2] == 0x04)
            return static_cast<int>(i);
    }
    return -1;
}

void Download(DownloadRig& rig, const char* scenario, DownloadRecord& record,
              const std::function<std::vector<SimRequestRecord>()>& requests,
              const std::function<std::vector<uint8_t>(int)>& dataOut,
              const std::function<void()>& clearLog)
{
    record.error = rig.Open(scenario);
    if (!record.error.empty())
        return;
    clearLog();
    if (rig.ChooseFirmware(FirmwareFileBuilder::Standard("2.00")).empty()) {
        record.error = "the firmware file could not be written";
        return;
    }
    rig.Press();
    if (!rig.WaitForEnd()) {
        record.error = "still running; status '" + rig.Status() + "'";
        return;
    }
    std::vector<SimRequestRecord> log = requests();
    for (const SimRequestRecord& r : log) {
        if (r.command == SC_EXEC_SCSI_CMD)
            record.commands.push_back(Describe(r));
    }
    int write = IndexOfWrite(log);
    if (write >= 0)
        record.payload = dataOut(write);
    record.statuses = StatusTexts(rig);
    record.rows = RowsText(rig);
    record.picture = rig.Picture();
    record.calls = rig.calls->Order();
}

DownloadRecord ThroughSimulatedLayer(const char* scenario)
{
    DownloadRecord record;
    DownloadRig rig;
    Download(
        rig, scenario, record, [&] { return rig.sim.Requests(); },
        [&](int i) { return rig.sim.DataOut(i); }, [&] { rig.sim.ClearLog(); });
    return record;
}

DownloadRecord ThroughOurLayer(const char* scenario)
{
    DownloadRecord record;
    PassThroughMachine& machine = PassThroughMachine::Get();
    record.error = machine.Ready();
    if (record.error.empty())
        record.error = machine.Configure(scenario, {CdromDrive('D', 0, 1)});
    if (!record.error.empty())
        return record;
    DownloadRig rig;
    LayerRedirect redirect(rig.panel.kdll.Module());
    if (!redirect.IsActive()) {
        record.error = "kdll.dll does not import LoadLibraryA";
        return record;
    }
    Download(
        rig, scenario, record, [&] { return machine.Requests(); },
        [&](int i) { return machine.DataOut(i); }, [&] { machine.ClearLog(); });
    return record;
}

// Success, a write the drive refuses with sense, a drive that rejects the probe, and a
// drive that reports a unit attention on the load: each the same on both layers.
TEST(PassThroughDownload, SameAsOnTheSimulatedLayer)
{
    const struct {
        const char* name;
        const char* scenario;
        const char* finalStatus;
    } cases[] = {
        {"success", "adapters 1\ndevice 0 1 rvx revision 1.00\n", kSucceeded},
        {"write refused with sense",
         "adapters 1\ndevice 0 1 rvx revision 1.00\nfault 0 1 write check 3 0C 00\n", kWriteFailed},
        {"probe rejected", "adapters 1\ndevice 0 1 rvx revision 1.00\nfault 0 1 probe reject\n",
         nullptr},
        {"unit attention after the write",
         "adapters 1\ndevice 0 1 rvx revision 1.00\nfault 0 1 tur unit-attention count 1\n",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRecord simulated = ThroughSimulatedLayer(c.scenario);
        ASSERT_EQ("", simulated.error) << "simulated layer";
        DownloadRecord ours = ThroughOurLayer(c.scenario);
        ASSERT_EQ("", ours.error) << "our layer";
        EXPECT_FALSE(ours.commands.empty());
        EXPECT_EQ(simulated.commands, ours.commands);
        EXPECT_TRUE(simulated.payload == ours.payload) << "the payloads differ";
        EXPECT_EQ(simulated.statuses, ours.statuses);
        EXPECT_EQ(simulated.rows, ours.rows);
        EXPECT_EQ(simulated.picture, ours.picture);
        EXPECT_EQ(simulated.calls, ours.calls);
        if (c.finalStatus != nullptr) {
            ASSERT_FALSE(ours.statuses.empty());
            EXPECT_EQ(c.finalStatus, ours.statuses.back());
        }
    }
    DownloadRecord ours = ThroughOurLayer(cases[0].scenario);
    EXPECT_EQ(63490u, ours.payload.size()) << "the whole payload in one command";
    EXPECT_TRUE(PassThroughMachine::Get().Complaints().empty());
}

} // namespace

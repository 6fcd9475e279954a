// Preparing one drive for the download, called directly on an instance built in-process
// over the simulated drive: what the drive receives, the answer, and the protocol that
// is left for the comparison with the file's.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "SimLink.h"
#include "download/DownloadProcedure.h"
#include "host/DriveContext.h"

using namespace download;

namespace {

TEST(DownloadPrepareDrive, AnswersAndCommands)
{
    struct {
        const char* name;
        const char* faults;
        int result;
        int protocol;
        int prevents;
        int unloads;
    } cases[] = {
        {"drive takes everything", "", 1, 1, 1, 1},
        {"probe rejected", "fault 0 1 probe reject\n", 0, 0, 0, 0},
        {"probe ends in an ASPI error", "fault 0 1 probe status 0x04\n", 0, 0, 0, 0},
        {"probe with sense data and good status", "fault 0 1 probe sense-with-good\n", 0, 0, 0, 0},
        {"PREVENT ALLOW MEDIUM REMOVAL refused", "fault 0 1 prevent reject\n", 1, 1, 1, 1},
        {"unload: UNIT ATTENTION twice", "fault 0 1 unload unit-attention count 2\n", 1, 1, 1, 3},
        {"unload: UNIT ATTENTION 31 times", "fault 0 1 unload unit-attention count 31\n", 1, 1, 1,
         32},
        {"unload: UNIT ATTENTION 32 times", "fault 0 1 unload unit-attention count 32\n", 0, 1, 1,
         32},
        {"unload: UNIT ATTENTION for ever", "fault 0 1 unload unit-attention\n", 0, 1, 1, 32},
        {"unload: NOT READY", "fault 0 1 unload check 2 04 01\n", 0, 1, 1, 1},
        {"unload: UNIT ATTENTION, then NOT READY",
         "fault 0 1 unload unit-attention count 1\n"
         "fault 0 1 unload check 2 3A 00\n",
         0, 1, 1, 2},
        {"unload ends in an ASPI error", "fault 0 1 unload status 0x04\n", 0, 1, 1, 1},
        {"unload done, reported with UNIT ATTENTION sense",
         "fault 0 1 unload sense-with-good 6 29 00 count 1\n", 1, 1, 1, 2},
    };

    SimLink sim;
    ASSERT_TRUE(sim.Configure("adapters 1\n"
                              "device 0 1 rvx\n"))
        << sim.LastError();
    DriveContext drive;
    ASSERT_NE(nullptr, drive.Device());
    ASSERT_EQ(1, drive.Device()->DriveCount());
    drive.Device()->SelectDrive(0);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string scenario = std::string("adapters 1\n"
                                           "device 0 1 rvx\n") +
                               c.faults;
        ASSERT_TRUE(sim.Configure(scenario.c_str())) << sim.LastError();
        // The probe's answer must decide the protocol afresh each time.
        drive.Firmware().driveDescriptor.protocolType40 = c.protocol ? 0 : 1;

        EXPECT_EQ(c.result, DownloadProcedure(drive.Device(), drive.Firmware()).PrepareDrive());
        EXPECT_EQ(c.protocol, drive.Firmware().driveDescriptor.protocolType40);

        std::vector<std::string> expected = {At("0:1", kProbe)};
        if (c.prevents)
            expected.push_back(At("0:1", kPrevent));
        for (int i = 0; i < c.unloads; ++i)
            expected.push_back(At("0:1", kUnload));
        std::vector<std::string> got;
        for (const SimRequestRecord& r : sim.ScsiRequests())
            got.push_back(DownloadRig::CommandText(r));
        EXPECT_EQ(expected, got);
    }
}

} // namespace

// The drive lister's listing on the simulated layer and on our layer over the same
// machine: the same drive at the same ASPI address with the same identity.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AspiLister.h"
#include "PassThroughMachine.h"
#include "SimLink.h"

namespace {

// "A:T:L type vendor product revision" of each CD-ROM drive that answered.
std::vector<std::string> Cdroms(const AspiLister& lister)
{
    std::vector<std::string> lines;
    for (const ListedDevice& d : lister.devices) {
        if (d.type != DTYPE_CDROM || d.inquiryStatus != SS_COMP)
            continue;
        lines.push_back(std::to_string(d.adapter) + ":" + std::to_string(d.target) + ":" +
                        std::to_string(d.lun) + " '" + d.vendor + "' '" + d.product + "' '" +
                        d.revision + "'");
    }
    return lines;
}

TEST(AspiLister, SameDriveOnBothLayers)
{
    const char scenario[] = "adapters 1\n"
                            "device 0 1 rvx revision 1.02\n";
    SimLink sim;
    ASSERT_TRUE(sim.Configure(scenario)) << sim.LastError();
    AspiLister simulated(GetModuleHandleA("wnaspi32.dll"));
    ASSERT_TRUE(simulated.IsBound());
    simulated.Run();

    PassThroughMachine& machine = PassThroughMachine::Get();
    ASSERT_EQ("", machine.Ready());
    ASSERT_EQ("", machine.Configure(scenario, {CdromDrive('E', 0, 1)}));
    AspiLister ours(machine.Module());
    ASSERT_TRUE(ours.IsBound());
    ours.Run();

    const std::vector<std::string> expected = {"0:1:0 'NEMBRIKA' 'CD-ROM RVX-4417K' '1.02'"};
    EXPECT_EQ(expected, Cdroms(simulated)) << simulated.Report();
    EXPECT_EQ(expected, Cdroms(ours)) << ours.Report();
    EXPECT_EQ(1, ours.CdromCount());
    ASSERT_EQ(1u, ours.devices.size()) << "the drive is its adapter's only device";
    EXPECT_EQ('E', ours.devices[0].letter) << "our layer names the drive letter";
    EXPECT_EQ(0, simulated.devices[0].letter) << "the simulated layer does not";
    EXPECT_NE(
        std::string::npos,
        ours.Report().find("  0:1:0  CD-ROM  E:  \"NEMBRIKA\" \"CD-ROM RVX-4417K\" \"1.02\"\n"))
        << ours.Report();
    EXPECT_NE(std::string::npos, ours.Report().find("1 CD-ROM drive answered\n"));
}

// A drive that never answers INQUIRY is listed as such after the lister's bound, not
// waited for without end.
TEST(AspiLister, DriveThatNeverAnswers)
{
    PassThroughMachine& machine = PassThroughMachine::Get();
    ASSERT_EQ("", machine.Ready());
    ASSERT_EQ("", machine.Configure("adapters 1\ndevice 0 0 rvx\nfault 0 0 inquiry hang\n",
                                    {CdromDrive('D', 0, 0)}));
    machine.cancelEnds = false;
    AspiLister lister(machine.Module());
    lister.inquiryTimeoutMs = 300;
    lister.Run();
    ASSERT_EQ(1u, lister.devices.size());
    EXPECT_EQ(SS_ABORTED, lister.devices[0].inquiryStatus);
    EXPECT_EQ(0, lister.CdromCount());
    EXPECT_NE(std::string::npos,
              lister.Report().find("INQUIRY failed: it was aborted, having had no answer "
                                   "in time (status 0x02)"))
        << lister.Report();
    machine.ReleaseHung(false);
}

} // namespace

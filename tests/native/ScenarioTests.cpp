// Scenario text of the simulated ASPI layer: what each directive configures, and what a
// bad line is told.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "DriveModel.h"
#include "SimScenario.h"

namespace {

std::string InquiryText(const SimDevice& device, int offset, int length)
{
    return std::string(reinterpret_cast<const char*>(device.inquiry) + offset, length);
}

std::string WriteTempFile(const std::string& name, const std::string& content)
{
    std::string path = std::string(KDLL_BINARY_DIR) + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file) << path;
    if (file != nullptr) {
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    return path;
}

} // namespace

TEST(ScenarioParse, DirectivesConfigureTheBus)
{
    SimScenario s;
    const char* text = "# two adapters, a drive and a disk\n"
                       "adapters 2\n"
                       "\n"
                       "   completion sync   # answers inside the call\n"
                       "support-status 0x01\n"
                       "device 1 2 rvx revision \"1.10\" format 0x32\n"
                       "device 0 0 disk \"ACME CO\" \"FIXED DISK 20\" 3.1\n"
                       "fault 1 2 unload unit-attention count 3\n"
                       "fault 1 2 write delay 2500\n";
    ASSERT_EQ(1, s.Parse(text)) << s.error;
    EXPECT_EQ(2, s.adapterCount);
    EXPECT_EQ(1, s.syncCompletion);
    EXPECT_EQ(0, s.refuseAll);
    EXPECT_EQ(1, s.supportStatusSet);
    ASSERT_EQ(2u, s.devices.size());

    const SimDevice* rvx = s.FindDevice(1, 2);
    ASSERT_NE(nullptr, rvx);
    EXPECT_EQ(kSimRvx, rvx->kind);
    EXPECT_EQ(0x32, rvx->inquiry[3]);
    EXPECT_EQ("NEMBRIKACD-ROM RVX-4417K", InquiryText(*rvx, 8, 24));
    EXPECT_EQ("1.10", InquiryText(*rvx, 32, 4));
    ASSERT_EQ(2u, rvx->faults.size());
    EXPECT_EQ(kCmdUnload, rvx->faults[0].command);
    EXPECT_EQ(kFaultCheck, rvx->faults[0].result);
    EXPECT_EQ(6, rvx->faults[0].senseKey);
    EXPECT_EQ(0x29, rvx->faults[0].asc);
    EXPECT_EQ(3, rvx->faults[0].remaining);
    EXPECT_EQ(kCmdWrite, rvx->faults[1].command);
    EXPECT_EQ(kTimingDelay, rvx->faults[1].timing);
    EXPECT_EQ(2500u, rvx->faults[1].delayMs);
    EXPECT_EQ(-1, rvx->faults[1].remaining);

    const SimDevice* disk = s.FindDevice(0, 0);
    ASSERT_NE(nullptr, disk);
    EXPECT_EQ("ACME CO FIXED DISK 20   3.1 ", InquiryText(*disk, 8, 28));
    EXPECT_EQ(nullptr, s.FindDevice(0, 1));
}

TEST(ScenarioParse, QuotedFieldsCarryNulsAndEscapes)
{
    SimScenario s;
    ASSERT_EQ(1, s.Parse("device 0 0 cdrom \"NEMB\\0\\0\\0\\0\" \"A \\\"B\\\" \\x41\" \"1.0\\0\"\n"
                         "device 0 1 rvx vendor \"\" product \"CD-ROM RVX\\0\"\n"))
        << s.error;
    const SimDevice* d = s.FindDevice(0, 0);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(std::string("NEMB\0\0\0\0", 8), InquiryText(*d, 8, 8));
    EXPECT_EQ(std::string("A \"B\" A") + std::string(9, ' '), InquiryText(*d, 16, 16));
    EXPECT_EQ(std::string("1.0\0", 4), InquiryText(*d, 32, 4));
    const SimDevice* r = s.FindDevice(0, 1);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ("        ", InquiryText(*r, 8, 8));
    EXPECT_EQ(std::string("CD-ROM RVX\0     ", 16), InquiryText(*r, 16, 16));
}

TEST(ScenarioParse, WindowsLineEndingsAndTabs)
{
    SimScenario s;
    ASSERT_EQ(1, s.Parse("adapters\t1\r\ndevice 0 4 rvx\r\n\r\nrefuse-all\r\n")) << s.error;
    EXPECT_EQ(1, s.adapterCount);
    EXPECT_EQ(1, s.refuseAll);
    EXPECT_NE(nullptr, s.FindDevice(0, 4));
}

TEST(ScenarioParse, AdapterCountFollowsTheDevicesWhenNotGiven)
{
    struct {
        const char* text;
        int adapters;
    } cases[] = {
        {"", 0},
        {"# nothing\n", 0},
        {"device 0 0 rvx", 1},
        {"device 2 7 rvx\ndevice 0 1 disk A B C", 3},
        {"adapters 4\ndevice 1 0 rvx", 4},
    };
    for (const auto& c : cases) {
        SimScenario s;
        ASSERT_EQ(1, s.Parse(c.text)) << c.text << ": " << s.error;
        EXPECT_EQ(c.adapters, s.adapterCount) << c.text;
    }
}

TEST(ScenarioParse, ErrorsNameTheLine)
{
    struct {
        const char* text;
        const char* message; // expected at the start of the error
    } cases[] = {
        {"adapters 1\nbogus 3\n", "line 2: unknown directive 'bogus'"},
        {"adapters\n", "line 1: adapters takes a count"},
        {"adapters 17\n", "line 1: adapters takes a count"},
        {"adapters -1\n", "line 1: adapters takes a count"},
        {"adapters 99999999999999999999\n", "line 1: adapters takes a count"},
        {"adapters 1\nadapters 2\n", "line 2: adapters already given on line 1"},
        {"adapters 1\n\n# c\ndevice 1 0 rvx\n", "line 4: adapter 1 not below the adapter count 1"},
        {"device 0 16 rvx\n", "line 1: device needs a target"},
        {"device x 0 rvx\n", "line 1: device needs an adapter"},
        {"device 0 0\n", "line 1: device needs a kind"},
        {"device 0 0 tape A B C\n", "line 1: unknown device kind 'tape'"},
        {"device 0 0 rvx\ndevice 0 0 disk A B C\n",
         "line 2: adapter 0 target 0 already has a device (line 1)"},
        {"device 0 0 rvx revision 1.000\n", "line 1: revision '1.000' longer than 4"},
        {"device 0 0 rvx revision\n", "line 1: rvx option 'revision' needs a value"},
        {"device 0 0 rvx format 0x20\n", "line 1: format takes 0x21 or 0x32"},
        {"device 0 0 rvx speed 4\n", "line 1: unknown rvx option 'speed'"},
        {"device 0 0 cdrom VENDORXYZ P R\n", "line 1: vendor 'VENDORXYZ' longer than 8"},
        {"device 0 0 cdrom V \"PRODUCT 17 CHARS!\" R\n", "line 1: product"},
        {"device 0 0 cdrom V P\n", "line 1: cdrom needs exactly VENDOR PRODUCT REVISION"},
        {"device 0 0 type 0x123 V P R\n", "line 1: type needs the peripheral byte"},
        {"device 0 0 cdrom \"V P R\n", "line 1: quoted string not closed"},
        {"device 0 0 cdrom \"V\\q\" P R\n", "line 1: unknown escape"},
        {"device 0 0 cdrom \"V\\x4\" P R\n", "line 1: unknown escape"},
        {"device 0 0 cdrom V\"X\" P R\n", "line 1: quote inside a word"},
        {"device 0 0 cdrom \"V\"X P R\n", "line 1: quoted string must be followed by a blank"},
        {"fault 0 0 tur hang\n", "line 1: no device at adapter 0 target 0"},
        {"device 0 0 rvx\nfault 0 0\n", "line 2: fault needs a command"},
        {"device 0 0 rvx\nfault 0 0 eject hang\n", "line 2: unknown command 'eject'"},
        {"device 0 0 rvx\nfault 0 0 tur\n", "line 2: fault needs an action"},
        {"device 0 0 rvx\nfault 0 0 tur count 2\n", "line 2: fault needs an action"},
        {"device 0 0 rvx\nfault 0 0 tur explode\n", "line 2: unknown fault action 'explode'"},
        {"device 0 0 rvx\nfault 0 0 tur check 2 3A\n", "line 2: check needs KEY ASC ASCQ"},
        {"device 0 0 rvx\nfault 0 0 tur check 12 3A 0\n", "line 2: check needs KEY ASC ASCQ"},
        {"device 0 0 rvx\nfault 0 0 tur check 2 3A0 0\n", "line 2: check needs KEY ASC ASCQ"},
        {"device 0 0 rvx\nfault 0 0 tur status\n", "line 2: status needs an SRB_Status"},
        {"device 0 0 rvx\nfault 0 0 tur status 0\n", "line 2: status 0 is SS_PENDING"},
        {"device 0 0 rvx\nfault 0 0 tur delay -5\n", "line 2: delay needs milliseconds"},
        {"device 0 0 rvx\nfault 0 0 tur delay 86400001\n", "line 2: delay needs milliseconds"},
        {"device 0 0 rvx\nfault 0 0 tur reject count 0\n", "line 2: count needs a number"},
        {"device 0 0 rvx\nfault 0 0 tur reject count 1 count 2\n", "line 2: count given twice"},
        {"device 0 0 rvx\nfault 0 0 tur reject unit-attention\n",
         "line 2: more than one result for one fault"},
        {"device 0 0 rvx\nfault 0 0 tur hang delay 5\n", "line 2: more than one of delay"},
        {"device 0 0 rvx\nfault 0 0 tur keep reject\n",
         "line 2: a request that never completes has no result"},
        {"device 0 0 rvx\nfault 0 0 tur sense-with-good 6 29\n",
         "line 2: sense-with-good takes no sense or KEY ASC ASCQ"},
        {"completion later\n", "line 1: completion takes async or sync"},
        {"refuse-all now\n", "line 1: refuse-all takes nothing, got 'now'"},
        {"support-status\n", "line 1: support-status takes one hexadecimal byte"},
    };
    for (const auto& c : cases) {
        SimScenario s;
        EXPECT_EQ(0, s.Parse(c.text)) << c.text;
        EXPECT_EQ(0u, s.error.find(c.message))
            << "scenario:\n"
            << c.text << "got:      " << s.error << "\nexpected: " << c.message;
    }
}

TEST(ScenarioParse, SizeLimitsAreErrorsNotCrashes)
{
    SimScenario s;
    std::string longLine = "device 0 0 cdrom \"" + std::string(5000, 'x') + "\" P R\n";
    EXPECT_EQ(0, s.Parse(longLine.c_str()));
    EXPECT_EQ(0u, s.error.find("line 1: line longer than 4096")) << s.error;

    std::string huge(SimScenario::kMaxTextLength + 1, '\n');
    EXPECT_EQ(0, s.Parse(huge.c_str()));
    EXPECT_EQ(0u, s.error.find("scenario text longer than")) << s.error;

    EXPECT_EQ(0, s.Parse(nullptr));
    EXPECT_EQ("no scenario text", s.error);

    std::string manyFaults = "device 0 0 rvx\n";
    for (int i = 0; i < 65; ++i)
        manyFaults += "fault 0 0 tur delay 1\n";
    EXPECT_EQ(0, s.Parse(manyFaults.c_str()));
    EXPECT_EQ(0u, s.error.find("line 66: more than 64 faults")) << s.error;

    std::string binary = "device 0 0 cdrom \"\x01\xFF\" P R\nfoo\x7F\n";
    EXPECT_EQ(0, s.Parse(binary.c_str()));
    EXPECT_EQ("line 2: unknown directive 'foo\\x7F'", s.error);
}

TEST(ScenarioModel, FailedConfigureChangesNothing)
{
    DriveModel model;
    ASSERT_EQ(1, model.Configure("adapters 2\ndevice 0 0 rvx\n"));
    EXPECT_STREQ("", model.LastError());
    EXPECT_EQ(0, model.Configure("adapters 3\nnonsense\n"));
    EXPECT_STREQ("line 2: unknown directive 'nonsense'", model.LastError());
    EXPECT_EQ(0x0102u, model.SupportInfo());
    SimDeviceInfo info;
    EXPECT_EQ(1, model.GetDeviceInfo(0, 0, info));
}

TEST(ScenarioModel, ScenarioFile)
{
    DriveModel model;
    std::string good = WriteTempFile("sim-scenario-good.txt", "adapters 1\r\ndevice 0 1 rvx\r\n");
    EXPECT_EQ(1, model.ConfigureFromFile(good.c_str())) << model.LastError();
    EXPECT_EQ(0x0101u, model.SupportInfo());

    std::string bad = WriteTempFile("sim-scenario-bad.txt", "adapters 1\ndevice 0 1 rvx\nx\n");
    EXPECT_EQ(0, model.ConfigureFromFile(bad.c_str()));
    EXPECT_EQ(bad + ": line 3: unknown directive 'x'", model.LastError());
    EXPECT_EQ(0xE800u, model.SupportInfo()) << "a bad file leaves no adapters";

    std::string missing = std::string(KDLL_BINARY_DIR) + "/no-such-scenario.txt";
    EXPECT_EQ(0, model.ConfigureFromFile(missing.c_str()));
    EXPECT_EQ("cannot open scenario file '" + missing + "'", model.LastError());
    EXPECT_EQ(0xE800u, model.SupportInfo());

    std::string nul = WriteTempFile("sim-scenario-nul.txt", std::string("adapters 1\n\0x\n", 14));
    EXPECT_EQ(0, model.ConfigureFromFile(nul.c_str()));
    EXPECT_EQ(nul + ": contains a NUL byte", model.LastError());
}

TEST(ScenarioModel, ShippedScenariosParse)
{
    std::string folder = std::string(KDLL_SOURCE_DIR) + "/sim/scenarios";
    DIR* dir = opendir(folder.c_str());
    ASSERT_NE(nullptr, dir) << folder;
    int files = 0;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".txt") != 0)
            continue;
        ++files;
        DriveModel model;
        EXPECT_EQ(1, model.ConfigureFromFile((folder + "/" + name).c_str())) << model.LastError();
    }
    closedir(dir);
    EXPECT_GE(files, 1);

    DriveModel demo;
    ASSERT_EQ(1, demo.ConfigureFromFile((folder + "/demo.txt").c_str())) << demo.LastError();
    int drives = 0;
    int disks = 0;
    for (int a = 0; a < SimScenario::kMaxAdapters; ++a) {
        for (int t = 0; t < SimScenario::kMaxTargets; ++t) {
            SimDeviceInfo info;
            if (!demo.GetDeviceInfo(a, t, info))
                continue;
            drives += info.peripheral == 0x05;
            disks += info.peripheral == 0x00;
        }
    }
    EXPECT_EQ(1, drives);
    EXPECT_EQ(1, disks);
}

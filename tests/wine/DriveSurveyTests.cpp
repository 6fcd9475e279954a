// What rvxflash finds before it opens the panel, on the simulated layer's machines, with
// Wine's own layer and with none: the drives it lists, the one it proposes, the address
// the user gives, and the plain words when there is nothing to flash.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriveSurvey.h"
#include "LayerOrigin.h"
#include "SimLink.h"

namespace {

const char kTwoDrives[] = "adapters 2\n"
                          "device 0 0 disk ACME \"FIXED DISK 2000\" 1.0\n"
                          "device 0 2 cdrom OTHERCO \"CD-ROM DRIVE 52X\" 2.10\n"
                          "device 1 0 rvx revision 1.00\n";

std::vector<std::string> Names(const DriveSurvey& survey)
{
    std::vector<std::string> names;
    for (const SurveyedDrive& drive : survey.drives)
        names.push_back(drive.name);
    return names;
}

TEST(DriveSurvey, ListsTheCdromDrivesThatAnswered)
{
    struct {
        const char* name;
        const char* scenario;
        DriveSurvey::Outcome outcome;
        std::vector<std::string> drives;
        size_t proposed;
        const char* problem; // in Problem()
    } cases[] = {
        {"the demo machine",
         "adapters 1\ndevice 0 0 disk ACME DISK 1.0\ndevice 0 1 rvx revision 1.00\n",
         DriveSurvey::kDrives,
         {"0:1:0  NEMBRIKA CD-ROM RVX-4417K 1.00"},
         0,
         ""},
        {"another make first",
         kTwoDrives,
         DriveSurvey::kDrives,
         {"0:2:0  OTHERCO CD-ROM DRIVE 52X 2.10", "1:0:0  NEMBRIKA CD-ROM RVX-4417K 1.00"},
         1,
         ""},
        {"no RVX-4417K: the first is proposed",
         "adapters 1\ndevice 0 3 cdrom OTHERCO \"CD-ROM DRIVE 52X\" 2.10\n",
         DriveSurvey::kDrives,
         {"0:3:0  OTHERCO CD-ROM DRIVE 52X 2.10"},
         0,
         ""},
        {"no host adapters",
         "adapters 0\n",
         DriveSurvey::kNoDrive,
         {},
         0,
         "The layer reports no host adapters."},
        {"a disk only",
         "adapters 1\ndevice 0 0 disk ACME DISK 1.0\n",
         DriveSurvey::kNoDrive,
         {},
         0,
         "No CD-ROM drive answered through the ASPI layer "},
        {"every request refused",
         "refuse-all\nadapters 1\ndevice 0 1 rvx\n",
         DriveSurvey::kNoDrive,
         {},
         0,
         "(winecfg, Drives)"},
    };
    SimLink sim;
    ASSERT_TRUE(sim.IsBound());
    for (const auto& c : cases) {
        ASSERT_TRUE(sim.Configure(c.scenario)) << c.name << ": " << sim.LastError();
        DriveSurvey survey;
        survey.Run();
        EXPECT_EQ(c.outcome, survey.outcome) << c.name;
        EXPECT_EQ(c.drives, Names(survey)) << c.name;
        EXPECT_EQ(c.proposed, survey.Proposed()) << c.name;
        EXPECT_NE(std::string::npos, survey.Problem().find(c.problem))
            << c.name << ": " << survey.Problem();
        EXPECT_EQ(c.outcome == DriveSurvey::kDrives, survey.Problem().empty()) << c.name;
    }
}

TEST(DriveSurvey, FindsTheDriveAtTheAddressGiven)
{
    struct {
        const char* text;
        int found;
        size_t index;
        const char* error; // in errorText
    } cases[] = {
        {"1:0:0", 1, 1, ""},
        {"0:2:0", 1, 0, ""},
        {"1:0", 1, 1, ""},
        {" \"1:0:0\" ", 1, 1, ""},
        {"0x0001", 1, 1, ""},
        {"512", 1, 0, ""},
        {"0:1:0", 0, 0, "No CD-ROM drive answered at 0:1:0. The drives found:\n0:2:0  OTHERCO"},
        {"0:2:1", 0, 0, "names LUN 1: the downloader reaches LUN 0 only"},
        {"256:0:0", 0, 0, "is not a drive address"},
        {"0:2:0:0", 0, 0, "is not a drive address"},
        {"x:0:0", 0, 0, "is not a drive address"},
        {"0x10000", 0, 0, "is not a drive address"},
        {"-1", 0, 0, "is not a drive address"},
        {"", 0, 0, "is not a drive address"},
    };
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kTwoDrives)) << sim.LastError();
    DriveSurvey survey;
    survey.Run();
    ASSERT_EQ(2u, survey.drives.size());
    for (const auto& c : cases) {
        size_t index = 99;
        survey.errorText.clear();
        EXPECT_EQ(c.found, survey.Find(c.text, &index)) << "'" << c.text << "'";
        EXPECT_EQ(c.found ? c.index : 99u, index) << "'" << c.text << "'";
        EXPECT_NE(std::string::npos, survey.errorText.find(c.error))
            << "'" << c.text << "': " << survey.errorText;
    }
}

// Wine puts its builtin modules where a program asked for a file; only their header
// tells them apart.
TEST(LayerOrigin, TellsWinesBuiltinModulesFromFiles)
{
    struct {
        const char* module; // null: the program itself
        bool builtin;
    } cases[] = {
        {"ntdll.dll", true},
        {"user32.dll", true},
        {"wnaspi32.dll", false}, // the simulated layer beside the program
        {nullptr, false},
    };
    ASSERT_TRUE(LayerOrigin::RunsOnWine());
    for (const auto& c : cases) {
        HMODULE module = c.module != nullptr ? LoadLibraryA(c.module) : GetModuleHandleA(nullptr);
        ASSERT_NE(nullptr, module) << (c.module ? c.module : "the program");
        LayerOrigin origin(module);
        EXPECT_EQ(c.builtin, origin.IsWineBuiltin()) << (c.module ? c.module : "the program");
        EXPECT_FALSE(origin.Path().empty());
        if (c.module != nullptr)
            FreeLibrary(module);
    }
    EXPECT_FALSE(LayerOrigin(nullptr).IsWineBuiltin());
}

// Runs only where WNASPI32.dll is missing or is Wine's own stub: the survey says which.
TEST(NoAspiLayer, SurveySaysWhichLayerIsMissing)
{
    HMODULE found = LoadLibraryA("WNASPI32.dll");
    DriveSurvey survey;
    survey.Run();
    if (found == nullptr) {
        EXPECT_EQ(DriveSurvey::kNoLayer, survey.outcome);
        EXPECT_NE(std::string::npos, survey.Problem().find("No ASPI layer was found"));
        return;
    }
    FreeLibrary(found);
    EXPECT_EQ(DriveSurvey::kWineStub, survey.outcome);
    EXPECT_NE(std::string::npos, survey.Problem().find("Wine loaded is its own built-in stub"))
        << survey.Problem();
    EXPECT_NE(std::string::npos, survey.Problem().find("WINEDLLOVERRIDES=wnaspi32=n"));
}

} // namespace

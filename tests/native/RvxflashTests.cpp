// rvxflash's terminal front end against the drive model: what the user reads (rows,
// status texts, the progress line, the question), the exit code, and what the drive
// receives; the CD-ROM devices as sysfs lists them, and a mounted medium as the user is
// told to unmount it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CdromDevices.h"
#include "DownloadProcedureRig.h"
#include "FlashSession.h"
#include "MountTable.h"

namespace {

class ScriptedAnswers : public AnswerSource {
public:
    explicit ScriptedAnswers(bool answers) : answers(answers) {}
    bool Answer() override
    {
        ++asked;
        return answers;
    }
    bool answers;
    int asked = 0;
};

// A stop asked for from the start, or while the checks run (seen from the second look on).
enum StopAt { kNoStop, kStopAtStart, kStopInChecks };

class StopFlag : public StopRequests {
public:
    explicit StopFlag(StopAt at) : at(at) {}
    bool Requested() const override
    {
        return at == kStopAtStart || (at == kStopInChecks && looks++ > 0);
    }
    bool BeginWrite() override { return at == kNoStop; }
    void EndWrite() override {}
    StopAt at;
    mutable int looks = 0;
};

// What one run of the front end left: the lines, the code, the panel's question.
struct FrontEndRun {
    ExitCode code;
    std::string output;
    int warningAnswer;
    int asked;
    std::vector<std::string> commands;
};

// How a run is set up: a stop, --yes, what the user answers, a terminal.
struct RunSetup {
    StopAt stopAt;
    bool yes, answers, live;
};

FrontEndRun RunFrontEnd(const char* scenario, const RunSetup& setup)
{
    DownloadProcedureRig rig(scenario);
    rig.NameFile(FirmwareFileBuilder::Standard("2.00"));
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ScriptedAnswers source(setup.answers);
    StopFlag stop(setup.stopAt);
    TerminalPanel panel(out, setup.live, rig.fileName, setup.yes, source);
    FlashSession session(*rig.device, panel, out, stop);
    FrontEndRun run;
    run.code = session.Run();
    std::fclose(out);
    run.output.assign(text, size);
    std::free(text);
    run.warningAnswer = panel.Rows().warningAnswer;
    run.asked = source.asked;
    run.commands = rig.Commands();
    return run;
}

// The lines that must appear, in this order, and those that must not.
void ExpectLines(const std::string& name, const std::string& output,
                 const std::vector<std::string>& lines, const std::vector<std::string>& absent)
{
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = output.find(line, at);
        EXPECT_NE(std::string::npos, found)
            << name << ": missing after offset " << at << ": '" << line << "'\nin:\n"
            << output;
        if (found != std::string::npos)
            at = found + line.size();
    }
    for (const std::string& line : absent)
        EXPECT_EQ(std::string::npos, output.find(line)) << name << ": '" << line << "' in:\n"
                                                        << output;
}

const char kRvx[] = "adapters 1\ndevice 0 1 rvx\n";
const char kWriteCommand[] = " CB 00 04 ";

TEST(Rvxflash, FrontEndAgainstTheDriveModel)
{
    const std::string drive = std::string(kRvx);
    const std::vector<std::string> checks = {
        "Reading F/W file...\n",
        "  FW Model Name      NEMBRIKACD-ROM RVX-4417K 2.00    [passed]\n",
        "  FW Protocol        VEXO Type 4.0  [passed]\n",
        "  Drive Model Name   NEMBRIKACD-ROM RVX-4417K 1.00    [passed]\n",
        "Check download protocol...\n",
        "  Drive Protocol     VEXO Type 4.0  [passed]\n",
        "Transfer F/W Code...\n",
        "  F/W Transfer       Done  [passed]\n",
        "Downloading... (Do NOT turn off!)\n",
    };
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> lines = checks;
        lines.insert(lines.end(), tail.begin(), tail.end());
        return lines;
    };
    const std::string warning =
        "Warning: You should better to restart right now and try again !\nOK? [Enter] ";
    const std::string powerOff = "rvxflash: the drive cannot go on with the firmware it has now. "
                                 "Power the computer off and on";
    // What the run must come to besides the lines.
    struct Outcome {
        ExitCode code;
        int warningAnswer, asked;
        bool written;
    };
    const struct {
        const char* name;
        std::string scenario;
        RunSetup setup;
        std::vector<std::string> lines;
        std::vector<std::string> absent;
        Outcome outcome;
    } cases[] = {
        {"flashed, a line per step of the bar",
         drive + "fault 0 1 write delay 1300\n",
         {kNoStop, false, true, false},
         with({"  Flash Writing       12%  0.5 s\n", "  Flash Writing       24%  1.0 s\n",
               "  Flash Writing      Done  [passed]\n", "Download has done successfully!\n",
               "F/W Settings Change: you must shut down your computer before the new F/W will "
               "take effect.\n"}),
         {"Warning", "Power the computer"},
         {kExitFlashed, -1, 0, true}},
        {"flashed, the bar live on a terminal",
         drive + "fault 0 1 write delay 700\n",
         {kNoStop, false, true, true},
         with({"\r  Flash Writing      [###...........................]  12%  0.5 s",
               "\n  Flash Writing      Done  [passed]\n"}),
         {},
         {kExitFlashed, -1, 0, true}},
        {"the write fails: the question, answered",
         drive + "fault 0 1 write check 3 0C 00\n",
         {kNoStop, false, true, false},
         with({"  Flash Writing        [failed]\n", "Fail to Download, Restart Now!\n", warning,
               powerOff}),
         {"(no answer)", "Download has done"},
         {kExitRestartNeeded, 1, 1, true}},
        {"the write fails: nobody to answer",
         drive + "fault 0 1 write check 3 0C 00\n",
         {kNoStop, false, false, false},
         with({"Fail to Download, Restart Now!\n", warning + "(no answer)\n", powerOff}),
         {},
         {kExitRestartNeeded, 0, 1, true}},
        {"the write fails: --yes answers",
         drive + "fault 0 1 write check 3 0C 00\n",
         {kNoStop, true, false, false},
         with({warning + "yes (--yes)\n", powerOff}),
         {},
         {kExitRestartNeeded, 1, 0, true}},
        {"written, but the load is not answered",
         drive + "fault 0 1 load check 2 3A 00\n",
         {kNoStop, false, true, false},
         with({"Download has done successfully!\n",
               "New F/W is something wrong. no response to Inquiry !\n",
               "rvxflash: the firmware was written, but the drive did not answer after it.\n"}),
         {"Warning", "F/W Settings Change"},
         {kExitRestartNeeded, -1, 0, true}},
        {"stopped before the download began",
         drive,
         {kStopAtStart, false, true, false},
         {"rvxflash: stopped; nothing was sent to the drive.\n"},
         {"Reading"},
         {kExitNotWritten, -1, 0, false}},
        {"stopped while the checks ran",
         drive,
         {kStopInChecks, false, true, false},
         {"Downloading... (Do NOT turn off!)\n", "Fail to transfer!\n",
          "rvxflash: stopped before the write; the drive keeps its firmware.\n"},
         {"Download has done"},
         {kExitNotWritten, -1, 0, false}},
        {"a drive without the protocol",
         "adapters 1\ndevice 0 1 cdrom \"OTHERCO\" \"CD-ROM DRIVE 52X\" \"2.10\"\n",
         {kNoStop, false, true, false},
         {"Mismatch protocol between F/W and drive!\n", "  Drive Protocol     Unkown  [failed]\n",
          "rvxflash: nothing was written; the drive keeps its firmware.\n"},
         {"Downloading"},
         {kExitNotWritten, -1, 0, false}},
        {"a drive that does not answer",
         drive + "fault 0 1 inquiry check 2 04 00\n",
         {kNoStop, false, true, false},
         {"Reading F/W file...\n", "rvxflash: the drive did not answer.\n"},
         {"Drive Model Name"},
         {kExitNotWritten, -1, 0, false}},
    };
    for (const auto& c : cases) {
        FrontEndRun run = RunFrontEnd(c.scenario.c_str(), c.setup);
        EXPECT_EQ(c.outcome.code, run.code) << c.name;
        ExpectLines(c.name, run.output, c.lines, c.absent);
        EXPECT_EQ(c.outcome.warningAnswer, run.warningAnswer) << c.name;
        EXPECT_EQ(c.outcome.asked, run.asked) << c.name;
        int writes = 0;
        for (const std::string& command : run.commands)
            writes += command.find(kWriteCommand) != std::string::npos;
        EXPECT_EQ(c.outcome.written ? 1 : 0, writes) << c.name;
        if (c.setup.stopAt == kStopInChecks && !run.commands.empty())
            EXPECT_EQ(0u, run.commands.back().find("0:1 1E 00 00 00 00"))
                << c.name << ": the tray unlocked last, got " << run.commands.back();
        if (c.setup.stopAt == kStopAtStart)
            EXPECT_EQ(0u, run.commands.size()) << c.name << ": nothing sent";
    }
}

// The CD-ROM devices of a sysfs tree: type 5 with a block device, in the order of their
// names, with their generic devices and numbers; others left out.
TEST(Rvxflash, CdromDevicesFromSysfs)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(KDLL_BINARY_DIR) / "test-files" / "sysfs";
    fs::remove_all(root);
    const struct {
        const char* address;
        const char* type;
        const char* block;   // "sr10 11:10", or empty
        const char* generic; // "sg3 21:3", or empty
    } devices[] = {
        {"3:0:0:0", "5", "sr10 11:10", "sg3 21:3"}, {"2:0:1:0", "5", "sr0 11:0", "sg1 21:1"},
        {"1:0:0:0", "0", "sda 8:0", "sg0 21:0"},    {"4:0:0:0", "5", "sr2 11:2", ""},
        {"5:0:0:0", "5", "", "sg5 21:5"},
    };
    for (const auto& d : devices) {
        fs::path device = root / "class" / "scsi_device" / d.address / "device";
        fs::create_directories(device);
        std::ofstream(device / "type") << d.type << "\n";
        std::ofstream(device / "vendor") << "NEMBRIKA\n";
        std::ofstream(device / "model") << "CD-ROM RVX-4417K\n";
        std::ofstream(device / "rev") << "1.00\n";
        for (auto entry :
             {std::make_pair("block", d.block), std::make_pair("scsi_generic", d.generic)}) {
            std::string text = entry.second;
            if (text.empty())
                continue;
            fs::path node = device / entry.first / text.substr(0, text.find(' '));
            fs::create_directories(node);
            std::ofstream(node / "dev") << text.substr(text.find(' ') + 1) << "\n";
        }
    }
    std::vector<CdromDevice> found = CdromDevices::Find(root.string());
    std::vector<std::string> listed;
    for (const CdromDevice& d : found)
        listed.push_back(d.Path() + " " + d.GenericPath() + " " + d.address + " target " +
                         std::to_string(d.target) + " " + d.vendor + "|" + d.product + "|" +
                         d.revision);
    EXPECT_EQ((std::vector<std::string>{
                  "/dev/sr0 /dev/sg1 2:0:1:0 target 1 NEMBRIKA|CD-ROM RVX-4417K|1.00",
                  "/dev/sr2  4:0:0:0 target 0 NEMBRIKA|CD-ROM RVX-4417K|1.00",
                  "/dev/sr10 /dev/sg3 3:0:0:0 target 0 NEMBRIKA|CD-ROM RVX-4417K|1.00",
              }),
              listed);
    const struct {
        bool block;
        const char* numbers;
        const char* path; // of the device matched, empty for none
    } matches[] = {
        {true, "11:10", "/dev/sr10"},
        {false, "21:1", "/dev/sr0"},
        {true, "8:0", ""},
        {false, "11:0", ""},
    };
    for (const auto& m : matches) {
        const CdromDevice* device = CdromDevices::Match(found, m.block, m.numbers);
        EXPECT_EQ(std::string(m.path), device != nullptr ? device->Path() : "") << m.numbers;
    }
}

// A drive whose medium is mounted is refused; the user reads where, and a command to paste.
TEST(Rvxflash, AMountedMediumIsNamedAsAShellTakesIt)
{
    const std::filesystem::path folder = std::filesystem::path(KDLL_BINARY_DIR) / "test-files";
    std::filesystem::create_directories(folder);
    const std::string mountinfo = (folder / "mountinfo").string();
    std::ofstream(mountinfo) << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                "40 22 11:0 / /media/user/DISC ro - iso9660 /dev/sr0 ro\n"
                                "41 22 11:1 / /media/user/My\\040Disc's ro - udf /dev/sr1 ro\n";
    const struct {
        const char* numbers;
        const char* told; // empty: not mounted
    } cases[] = {
        {"11:0", "its medium is mounted at /media/user/DISC; the download ejects it: unmount it "
                 "first (umount /media/user/DISC)"},
        {"11:1", "its medium is mounted at /media/user/My Disc's; the download ejects it: "
                 "unmount it first (umount '/media/user/My Disc'\\''s')"},
        {"11:2", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.told, MountTable::MountedMedium(c.numbers, mountinfo.c_str())) << c.numbers;
}

} // namespace

// rvxflash's terminal front end against the drive model: what the user reads (rows,
// status texts, the progress line, the question), the exit code, and what the drive
// receives, stops among it; the CD-ROM devices as sysfs lists them, the drive a flash goes
// to, a mounted medium as the user is told to unmount it, the command line, the firmware
// file as read and judged, and one writer per drive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CdromDevices.h"
#include "DeviceLock.h"
#include "DriveChooser.h"
#include "FirmwareFileCheck.h"
#include "DownloadProcedureRig.h"
#include "FirmwareFileReader.h"
#include "FlashSession.h"
#include "StopGate.h"
#include "MountTable.h"
#include "RvxArguments.h"

namespace {

class ScriptedAnswers : public AnswerSource {
public:
    explicit ScriptedAnswers(bool answers) : answers(answers) {}
    bool Answer(std::string& line) override
    {
        ++asked;
        line = answers ? "y" : "";
        return answers;
    }
    bool answers;
    int asked = 0;
};

// A user's stop as the download meets it: refused during the write, as StopSignals does.
class StopFlag : public StopRequests {
public:
    bool Requested() const override { return requested; }
    bool EndedBeforeWrite() const override { return requested && !writing; }
    bool BeginWrite() override
    {
        requested = requested || stopAtWrite;
        writing = !requested;
        return writing;
    }
    void EndWrite() override { writing = false; }
    const char* SignalName() const override { return requested ? "SIGINT" : nullptr; }
    bool requested = false;
    bool stopAtWrite = false;
    bool writing = false;
};

// The user who presses Ctrl-C once the drive has received so many commands.
class StopAfterCommands : public LinkedAspiLayer {
public:
    StopAfterCommands(LinkedAspiLayer& drive, StopFlag& stop, int count)
        : drive(drive), stop(stop), left(count)
    {
    }
    uint32_t SupportInfo() override { return drive.SupportInfo(); }
    uint32_t Send(void* request) override
    {
        uint32_t status = drive.Send(request);
        if (left > 0 && --left == 0)
            stop.requested = true;
        return status;
    }

private:
    LinkedAspiLayer& drive;
    StopFlag& stop;
    int left;
};

// What one run of the front end left: the lines, the code, the panel's question.
struct FrontEndRun {
    ExitCode code;
    std::string output;
    int warningAnswer;
    int asked;
    std::vector<std::string> commands;
};

// How a run is set up: a stop after so many commands (-1: none; 0: before any), or as the
// write is to begin; --yes; what the user answers; a terminal; the file on disk replaced
// by another once it was read.
struct RunSetup {
    int stopAfter;
    bool stopAtWrite, yes, answers, live, replacedAfterRead;
};

FrontEndRun RunFrontEnd(const char* scenario, const RunSetup& setup)
{
    DownloadProcedureRig rig(scenario);
    rig.NameFile(FirmwareFileBuilder::Standard("2.00"));
    FirmwareFileReader reader;
    EXPECT_EQ(FirmwareFileReader::kRead, reader.Read(rig.fileName, -1, nullptr));
    if (setup.replacedAfterRead)
        rig.NameFile(FirmwareFileBuilder::Standard("3.00"));
    StopFlag stop;
    stop.requested = setup.stopAfter == 0;
    stop.stopAtWrite = setup.stopAtWrite;
    StopAfterCommands user(rig, stop, setup.stopAfter);
    StopGate gate(user, stop);
    rig.device->AttachLayer(gate);
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ScriptedAnswers source(setup.answers);
    TerminalPanel panel(out, setup.live, rig.fileName, setup.yes, source, stop);
    FlashSession session(*rig.device, panel, out, stop);
    FrontEndRun run;
    run.code = session.Run(reader.Bytes());
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
         {-1, false, false, true, false, false},
         with({"  Flash Writing       12%  0.5 s\n", "  Flash Writing       24%  1.0 s\n",
               "  Flash Writing      Done  [passed]\n", "Download has done successfully!\n",
               "F/W Settings Change: you must shut down your computer before the new F/W will "
               "take effect.\n"}),
         {"Warning", "Power the computer"},
         {kExitFlashed, -1, 0, true}},
        {"flashed, the bar live on a terminal",
         drive + "fault 0 1 write delay 700\n",
         {-1, false, false, true, true, false},
         with({"\r  Flash Writing      [###...........................]  12%  0.5 s",
               "\n  Flash Writing      Done  [passed]\n"}),
         {},
         {kExitFlashed, -1, 0, true}},
        {"the write fails: the question, answered",
         drive + "fault 0 1 write check 3 0C 00\n",
         {-1, false, false, true, false, false},
         with({"  Flash Writing        [failed]\n", "Fail to Download, Restart Now!\n", warning,
               powerOff}),
         {"(no answer)", "Download has done"},
         {kExitRestartNeeded, 1, 1, true}},
        {"the write fails: nobody to answer",
         drive + "fault 0 1 write check 3 0C 00\n",
         {-1, false, false, false, false, false},
         with({"Fail to Download, Restart Now!\n", warning + "(no answer)\n", powerOff}),
         {},
         {kExitRestartNeeded, 0, 1, true}},
        {"the write fails: --yes answers",
         drive + "fault 0 1 write check 3 0C 00\n",
         {-1, false, true, false, false, false},
         with({warning + "yes (--yes)\n", powerOff}),
         {},
         {kExitRestartNeeded, 1, 0, true}},
        {"written, but the load is not answered",
         drive + "fault 0 1 load check 2 3A 00\n",
         {-1, false, false, true, false, false},
         with({"Download has done successfully!\n",
               "New F/W is something wrong. no response to Inquiry !\n",
               "rvxflash: the firmware was written, but the drive did not answer after it.\n"}),
         {"Warning", "F/W Settings Change"},
         {kExitRestartNeeded, -1, 0, true}},
        {"stopped before the download began",
         drive,
         {0, false, false, true, false, false},
         {"rvxflash: stopped; nothing was sent to the drive.\n"},
         {"Reading"},
         {kExitCancelled, -1, 0, false}},
        // The commands after the stop come to nothing: the panel shows none of their ends.
        {"stopped while the checks ran",
         drive,
         {3, false, false, true, false, false},
         {"rvxflash: stopped by SIGINT before the write; the drive keeps its firmware.\n"},
         {"Mismatch", "Downloading", "Download has done"},
         {kExitCancelled, -1, 0, false}},
        {"stopped as the write was to begin",
         drive,
         {-1, true, false, true, false, false},
         {"Downloading... (Do NOT turn off!)\n",
          "rvxflash: stopped by SIGINT before the write; the drive keeps its firmware.\n"},
         {"Flash Writing", "Download has done"},
         {kExitCancelled, -1, 0, false}},
        {"the bytes read are the bytes written",
         drive,
         {-1, false, false, true, false, true},
         with({"Download has done successfully!\n"}),
         {"3.00"},
         {kExitFlashed, -1, 0, true}},
        {"a drive without the protocol",
         "adapters 1\ndevice 0 1 cdrom \"OTHERCO\" \"CD-ROM DRIVE 52X\" \"2.10\"\n",
         {-1, false, false, true, false, false},
         {"Mismatch protocol between F/W and drive!\n", "  Drive Protocol     Unkown  [failed]\n",
          "rvxflash: nothing was written; the drive keeps its firmware.\n"},
         {"Downloading"},
         {kExitNotWritten, -1, 0, false}},
        {"a drive that does not answer",
         drive + "fault 0 1 inquiry check 2 04 00\n",
         {-1, false, false, true, false, false},
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
        // After a stop the drive receives nothing but the tray's unlock.
        bool stopped = c.setup.stopAfter >= 0 || c.setup.stopAtWrite;
        size_t before = c.setup.stopAfter >= 0 ? c.setup.stopAfter : run.commands.size() - 1;
        for (size_t i = before; stopped && i < run.commands.size(); ++i)
            EXPECT_EQ(0u, run.commands[i].find("0:1 1E 00 00 00 00"))
                << c.name << ": command " << i << " after the stop: " << run.commands[i];
        if (stopped && c.setup.stopAfter != 0)
            EXPECT_LT(before, run.commands.size()) << c.name << ": the tray was not unlocked";
    }
}

// The CD-ROM devices of a sysfs tree: type 5 with a block device, in the order of their
// names, with their generic devices and numbers; others, and one gone, left out.
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
    // A device deleted while the list is read: its entry leads nowhere.
    fs::create_directory_symlink(root / "deleted", root / "class" / "scsi_device" / "6:0:0:0");
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

namespace {

CdromDevice Drive(const char* block, const char* numbers, const char* generic, bool product)
{
    CdromDevice device;
    device.blockName = block;
    device.blockNumbers = numbers;
    device.genericName = generic;
    device.genericNumbers = std::string("21:") + (block + 2);
    device.vendor = product ? "NEMBRIKA" : "OTHERCO ";
    device.product = product ? "CD-ROM RVX-4417K" : "CD-ROM DRIVE 52X";
    return device;
}

} // namespace

// The drive a flash goes to: the one named by any of its device files, or the one
// RVX-4417K; never a guess.
TEST(Rvxflash, TheDriveToFlash)
{
    const std::vector<CdromDevice> one = {Drive("sr0", "11:0", "sg0", false),
                                          Drive("sr1", "11:1", "sg1", true)};
    std::vector<CdromDevice> two = one;
    two.push_back(Drive("sr2", "11:2", "sg2", true));
    const NamedDevice other = {"/dev/sr0", true, true, "11:0"};
    const NamedDevice generic = {"/dev/sg2", true, false, "21:2"};
    const NamedDevice disk = {"/dev/sda", true, true, "8:0"};
    const NamedDevice file = {"/tmp/x", false, false, ""};
    const struct {
        const char* name;
        const std::vector<CdromDevice>& devices;
        const NamedDevice* named;
        const char* chosen; // or the message
    } cases[] = {
        {"the one RVX-4417K", one, nullptr, "/dev/sr1"},
        {"two RVX-4417K", two, nullptr,
         "more than one RVX-4417K: name the one to flash with --device"},
        {"none",
         {},
         nullptr,
         "no RVX-4417K found; rvxflash list shows the CD-ROM drives, and "
         "--device names one"},
        {"another make, named", two, &other, "/dev/sr0"},
        {"named by its generic device", two, &generic, "/dev/sr2"},
        {"a disk", two, &disk, "/dev/sda: not a CD-ROM drive"},
        {"no device file", two, &file, "/tmp/x: no such device"},
    };
    for (const auto& c : cases) {
        std::string message;
        const CdromDevice* device = DriveChooser::Choose(c.devices, c.named, message);
        EXPECT_EQ(c.chosen, device != nullptr ? device->Path() : message) << c.name;
    }
}

// The command line: what each is taken for, and what is refused (exit 4, a document).
TEST(Rvxflash, CommandLines)
{
    const struct {
        std::vector<const char*> words;
        RvxArguments::Outcome outcome;
        const char* read; // "command file device yes json", or what is wrong
    } cases[] = {
        {{"flash", "fw.zqx"}, RvxArguments::kRun, "3 fw.zqx  0 0"},
        {{"--json", "flash", "fw.zqx", "--device", "/dev/sg1", "--yes"},
         RvxArguments::kRun,
         "3 fw.zqx /dev/sg1 1 1"},
        {{"info", "-"}, RvxArguments::kRun, "2 -  0 0"},
        {{"list", "--probe", "--json"}, RvxArguments::kRun, "1   0 1"},
        {{"flash", "fw.zqx", "--device", ""}, RvxArguments::kRefused, "--device: an empty name"},
        {{"flash"}, RvxArguments::kRefused, "FILE is required"},
        {{}, RvxArguments::kRefused, "A subcommand is required"},
        {{"list", "--bogus"}, RvxArguments::kRefused, "--bogus"},
        {{"--version"}, RvxArguments::kShown, ""},
        {{"flash", "--help"}, RvxArguments::kShown, ""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"rvxflash"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        RvxArguments arguments;
        std::ostringstream out, err;
        RvxArguments::Outcome outcome =
            arguments.Parse(static_cast<int>(argv.size()), argv.data(), out, err);
        std::string name = argv.size() > 1 ? argv[1] : "(none)";
        EXPECT_EQ(c.outcome, outcome) << name << err.str();
        std::string read = std::to_string(arguments.command) + " " + arguments.file + " " +
                           arguments.device + " " + std::to_string(arguments.yes) + " " +
                           std::to_string(arguments.json);
        if (outcome == RvxArguments::kRun)
            EXPECT_EQ(c.read, read) << name;
        if (outcome == RvxArguments::kRefused)
            EXPECT_NE(std::string::npos, arguments.error.find(c.read))
                << name << ": " << arguments.error;
        EXPECT_EQ(arguments.json || std::string(name) == "--json",
                  RvxArguments::AsksForJson(static_cast<int>(argv.size()), argv.data()))
            << name;
    }
}

// A firmware file as the program reads it once and judges it, before any drive is
// touched: what it is, and what the user is told.
TEST(Rvxflash, TheFileAsReadAndJudged)
{
    namespace fs = std::filesystem;
    const std::string folder = std::string(KDLL_BINARY_DIR) + "/test-files/rvxflash-files";
    fs::remove_all(folder);
    fs::create_directories(folder);
    FirmwareFileBuilder other = FirmwareFileBuilder::Standard();
    other.Record(0x1000, "OTHERCO", "CD-ROM DRIVE 52X", "2.00");
    FirmwareFileBuilder unmarked;
    unmarked.Record(0x1000, "NEMBRIKA", "CD-ROM RVX-4417K", "2.00");
    const std::string fit = FirmwareFileBuilder::Standard().WriteTo(folder, "fit.zqx");
    const std::string pipe = folder + "/pipe";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    const struct {
        const char* name;
        std::string path;
        bool written;    // a writer sends the fitting file into the pipe
        const char* was; // the reader's refusal or the check's message; empty: taken
        long size;
    } cases[] = {
        {"fit", fit, false, "", 65536},
        {"longer than the image",
         FirmwareFileBuilder::Standard().Resize(70000).WriteTo(folder, "l"), false, "", 70000},
        {"short", FirmwareFileBuilder::Standard().Resize(65535).WriteTo(folder, "s"), false,
         "Damaged F/W file!", 65535},
        {"for another drive", other.WriteTo(folder, "o.zqx"), false,
         "not firmware for the RVX-4417K", 65536},
        {"no marker", unmarked.WriteTo(folder, "u.zqx"), false, "no download protocol marker",
         65536},
        {"a pipe", pipe, true, "", 65536},
        {"a directory", folder, false, "is a directory", -1},
        {"a device", "/dev/null", false, "is a character device", -1},
        {"missing", folder + "/none.zqx", false, "cannot be opened: No such file or directory", -1},
    };
    for (const auto& c : cases) {
        std::thread writer;
        if (c.written)
            writer = std::thread([&] {
                std::ofstream(pipe, std::ios::binary)
                    << std::ifstream(fit, std::ios::binary).rdbuf();
            });
        FirmwareFileReader reader;
        FirmwareFileReader::Result result = reader.Read(c.path, -1, nullptr);
        if (writer.joinable())
            writer.join();
        std::string was = reader.Reason();
        long size = -1;
        if (result == FirmwareFileReader::kRead) {
            FirmwareFileCheck check;
            char* text = nullptr;
            size_t length = 0;
            std::FILE* human = open_memstream(&text, &length);
            check.Check(c.name, reader.Bytes(), human);
            std::fclose(human);
            std::free(text);
            was = check.Message();
            size = reader.Bytes().size;
        }
        EXPECT_EQ(c.was, was) << c.name;
        EXPECT_EQ(c.size, size) << c.name;
    }
}

// A pipe nobody writes keeps the program waiting until a stop ends the wait; the user is
// told what it waits for.
TEST(Rvxflash, AStopEndsTheWaitForAPipe)
{
    const std::string pipe = std::string(KDLL_BINARY_DIR) + "/test-files/unwritten-pipe";
    std::remove(pipe.c_str());
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    int wake[2];
    ASSERT_EQ(0, ::pipe(wake));
    std::thread stopper([&] {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(FirmwareFileReader::kNoteAfterMs + 200));
        ssize_t written = write(wake[1], "x", 1);
        (void)written;
    });
    char* text = nullptr;
    size_t length = 0;
    std::FILE* note = open_memstream(&text, &length);
    FirmwareFileReader reader;
    EXPECT_EQ(FirmwareFileReader::kStopped, reader.Read(pipe, wake[0], note));
    stopper.join();
    std::fclose(note);
    EXPECT_EQ("rvxflash: waiting for " + pipe + ", a pipe, to be written; Ctrl-C stops.\n",
              std::string(text, length));
    std::free(text);
    close(wake[0]);
    close(wake[1]);
}

// One writer per drive: a second claim of the lock is refused at once, naming the holder.
TEST(Rvxflash, OneWriterPerDrive)
{
    const std::string folder = std::string(KDLL_BINARY_DIR) + "/test-files";
    DeviceLock first, second, other;
    ASSERT_TRUE(first.Take(folder, "sr0")) << first.Reason();
    EXPECT_FALSE(second.Take(folder, "sr0"));
    EXPECT_EQ("another rvxflash (process " + std::to_string(getpid()) + ") is using this drive",
              second.Reason());
    EXPECT_TRUE(other.Take(folder, "sr1")) << other.Reason();
}

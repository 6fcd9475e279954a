// The command trace seen from a host and a drive: the download's commands as the drive
// received them, the failing command with its decoded sense, the end of a request that
// timed out, and the trace switched off or pointed at a file that cannot be written.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "LibraryInternals.h"
#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "ImportPatch.h"
#include "SimLink.h"
#include "scsi/ScsiDevice.h"
#include "base/ProductInfo.h"
#include "trace/Trace.h"

using namespace download;

namespace {

const char kOneDrive[] = "adapters 1\n"
                         "device 0 1 rvx revision 1.00\n";

std::string TempPath(const char* name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    char unique[96];
    std::snprintf(unique, sizeof unique, "kdll-trace-%lu-%lu-%s", GetCurrentProcessId(),
                  GetTickCount(), name);
    return std::string(temp) + unique;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The event of a line: what follows the time and the thread.
std::string Event(const std::string& line)
{
    return line.size() > 15 ? line.substr(15) : "";
}

std::string Thread(const std::string& line)
{
    return line.size() > 15 ? line.substr(8, 6) : "";
}

// The lines from the first one whose event is marker on.
std::vector<std::string> From(const std::vector<std::string>& lines, const std::string& marker)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Event(lines[i]) == marker)
            return std::vector<std::string>(lines.begin() + i, lines.end());
    }
    return {};
}

// "A:T" and the command bytes of every request line, as DownloadRig::CommandTexts.
std::vector<std::string> RequestTexts(const std::vector<std::string>& lines)
{
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
        std::string event = Event(line);
        size_t arrow = event.find(" > ");
        size_t bar = event.find(" | ");
        if (event.compare(0, 5, "scsi ") != 0 || arrow == std::string::npos ||
            bar == std::string::npos)
            continue;
        texts.push_back(event.substr(5, arrow - 5) + " " +
                        event.substr(arrow + 3, bar - arrow - 3));
    }
    return texts;
}

bool HasEvent(const std::vector<std::string>& lines, const std::string& event)
{
    for (const std::string& line : lines) {
        if (Event(line) == event)
            return true;
    }
    return false;
}

// The line after the request line of the command whose bytes start with prefix.
std::string EndOf(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (Event(lines[i]).find("> " + prefix) != std::string::npos)
            return lines[i + 1];
    }
    return "";
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// KDLL_TRACE for the library while the test runs.
class TraceTest : public testing::Test {
protected:
    void SetUp() override { path = TempPath("trace.txt"); }
    void TearDown() override
    {
        SetEnvironmentVariableA("KDLL_TRACE", nullptr);
        DeleteFileA(path.c_str());
        DeleteFileA((path + ".1").c_str());
    }

    // Opens the panel on the machine with the trace going to file, and downloads.
    void Download(const char* scenario, const char* trace)
    {
        SetEnvironmentVariableA("KDLL_TRACE", trace);
        ASSERT_EQ("", rig.Open(scenario));
        firmware = rig.ChooseFirmware(file);
        ASSERT_NE("", firmware);
        rig.Press();
        ASSERT_TRUE(rig.WaitForEnd()) << "still running; status '" << rig.Status() << "'";
    }

    std::string path;
    std::string firmware;
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    DownloadRig rig;
};

// One request line per command the drive received, in the same order and with the same
// bytes; every request has its end; the write runs on the worker; the outcome is there.
TEST_F(TraceTest, SuccessfulDownloadTracesEveryCommandTheDriveReceived)
{
    ASSERT_NO_FATAL_FAILURE(Download(kOneDrive, path.c_str()));
    ASSERT_EQ(kSucceeded, rig.Status());
    std::vector<std::string> lines = ReadLines(path);
    ASSERT_FALSE(lines.empty()) << "no trace at " << path;
    SCOPED_TRACE(Joined(lines));

    // Discovery came before the panel: its commands are not in the drive's log any more.
    std::vector<std::string> download = From(lines, "status \"Reading F/W file...\"");
    ASSERT_FALSE(download.empty());
    std::vector<std::string> sent = rig.CommandTexts();
    EXPECT_EQ(sent, RequestTexts(download));
    EXPECT_EQ(14u, sent.size()) << "inquiry, three preparations, write, load, two TUR";

    for (const std::string& request : sent) {
        std::string end = EndOf(download, request.substr(4));
        EXPECT_NE(std::string::npos, end.find("SS_COMP, host 00, target 00, no sense"))
            << request << " ended: " << end;
    }
    std::string write = EndOf(download, kWrite);
    EXPECT_EQ("worker", Thread(write)) << write;
    EXPECT_NE(std::string::npos, write.find(": good")) << write;
    EXPECT_TRUE(HasEvent(download, "transfer: result 1, payload sum " + Hex4(file.CodeSum())));
    EXPECT_TRUE(HasEvent(download, "completion: transfer state 1"));
    EXPECT_TRUE(HasEvent(download, "status \"Download has done successfully!\""));
    EXPECT_TRUE(HasEvent(download, "row 6 'Flash Writing' passed"));
    EXPECT_TRUE(HasEvent(download, "shut-down notice: answered 1"));
    EXPECT_TRUE(HasEvent(download, "shut-down requested: accepted"));

    // Before the panel: the product, Windows, the layer and what discovery found.
    EXPECT_EQ(0u, Event(lines[0]).find("start: RVX-4417K Downloader 1.01 (2005-03-03), built "))
        << lines[0];
    EXPECT_TRUE(HasEvent(lines, "aspi: support word 0101, 1 host adapter(s)"));
    EXPECT_TRUE(HasEvent(
        lines, "discovery 0:1: type 05 'NEMBRIKACD-ROM RVX-4417K' '1.00', drive 0, letter D:"));
    EXPECT_TRUE(HasEvent(lines, "discovery 0:2: no answer"));
    EXPECT_TRUE(HasEvent(download, "firmware '" + firmware +
                                       "', 65536 bytes: model 'NEMBRIKACD-ROM RVX-4417K', "
                                       "revision '2.00', protocol marker found, check sum " +
                                       Hex4(file.FileSum())));

    // Milliseconds since the start, in file order, whichever thread wrote the line.
    unsigned long previous = 0;
    for (const std::string& line : lines) {
        unsigned long ms = std::strtoul(line.c_str(), nullptr, 10);
        EXPECT_LE(previous, ms) << line;
        previous = ms;
    }
    EXPECT_LT(previous, 60000ul);
}

// The write fails with sense: the trace names the command and what the sense means.
TEST_F(TraceTest, FailingWriteNamesTheCommandAndItsSense)
{
    ASSERT_NO_FATAL_FAILURE(Download("adapters 1\n"
                                     "device 0 1 rvx revision 1.00\n"
                                     "fault 0 1 write delay 300 check 3 0C 00\n",
                                     path.c_str()));
    ASSERT_EQ(kWriteFailed, rig.Status());
    std::vector<std::string> lines = ReadLines(path);
    SCOPED_TRACE(Joined(lines));
    std::string write = EndOf(lines, kWrite);
    EXPECT_EQ("worker", Thread(write));
    EXPECT_EQ(0u, Event(write).find("scsi 0:1 < SS_ERR, host 00, target 02, sense 3/0C/00 "
                                    "MEDIUM ERROR: write error, "))
        << write;
    EXPECT_NE(std::string::npos, write.find(" ms: failed")) << write;
    EXPECT_TRUE(HasEvent(lines, "transfer: result 0, payload sum " + Hex4(file.CodeSum())));
    EXPECT_TRUE(HasEvent(lines, "row 6 'Flash Writing' failed"));
    EXPECT_TRUE(HasEvent(lines, "warning box: answered 1"));
    EXPECT_TRUE(HasEvent(lines, "restart requested: accepted"));
}

// Off, the library opens no file but the firmware; pointed at a folder that does not
// exist, it downloads as ever and leaves no file behind (opening the panel tries the
// file once more, and the first line that fails turns the trace off again).
TEST_F(TraceTest, OffOrUnwritableChangesNothing)
{
    struct {
        const char* name;
        std::string variable;
    } cases[] = {
        {"off", ""},
        {"unwritable", TempPath("no-such-folder") + "\\trace.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig run;
        SetEnvironmentVariableA("KDLL_TRACE", c.variable.empty() ? nullptr : c.variable.c_str());
        ASSERT_EQ("", run.Open(kOneDrive));
        static std::vector<std::string>* opened;
        std::vector<std::string> names;
        opened = &names;
        struct Recorder {
            static FILE* __cdecl Open(const char* name, const char* mode)
            {
                opened->push_back(name);
                return fopen(name, mode);
            }
        };
        ImportPatch patch(run.panel.kdll.Module(), "msvcrt.dll", "fopen",
                          reinterpret_cast<void*>(&Recorder::Open));
        ASSERT_TRUE(patch.IsActive()) << "kdll.dll does not open files with fopen";
        std::string fw = run.ChooseFirmware(file);
        run.Press();
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(kSucceeded, run.Status());
        if (c.variable.empty()) {
            EXPECT_EQ(std::vector<std::string>{fw}, names) << "the files the library opened";
        } else {
            EXPECT_FALSE(Exists(c.variable));
            EXPECT_EQ(fw, names.empty() ? "" : names.back()) << "the firmware was read";
        }
        SetEnvironmentVariableA("KDLL_TRACE", nullptr);
    }
}

// The setting names the file when the environment does not: the lines of discovery,
// which ran before the panel opened and read it, are in the file too.
TEST_F(TraceTest, SettingTurnsTheTraceOnWhenThePanelOpens)
{
    const char kKey[] = "SOFTWARE\\Brindlex";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "TraceFile", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(path.c_str()),
                                            static_cast<DWORD>(path.size() + 1)));
    RegCloseKey(key);
    std::string opened = rig.Open(kOneDrive);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    ASSERT_EQ("", opened);

    std::vector<std::string> lines = ReadLines(path);
    SCOPED_TRACE(Joined(lines));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(0u, Event(lines[0]).find("start: ")) << lines[0];
    EXPECT_TRUE(HasEvent(
        lines, "discovery 0:1: type 05 'NEMBRIKACD-ROM RVX-4417K' '1.00', drive 0, letter D:"));
    EXPECT_TRUE(HasEvent(lines, "status \"Ready.\""));
}

// A request that gets no completion: the trace says so, whether the abort was answered
// and whether the layer gave the request block back. (The library's own classes, linked
// into the tests, with their own trace.)
TEST_F(TraceTest, TimeOutTellsWhetherTheLayerGaveTheRequestBack)
{
    SimLink sim;
    ASSERT_TRUE(sim.IsBound());
    const uint8_t unload[12] = {0x1B, 0, 0, 0, 2};
    struct {
        const char* fault;
        const char* expected;
    } cases[] = {
        {"hang", "abort answered SS_COMP, the layer gave the request back"},
        {"keep", "abort refused, the layer keeps the request: the block stays out of use"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::string scenario =
            std::string("adapters 1\ndevice 0 0 rvx\nfault 0 0 unload ") + c.fault + " count 1\n";
        ASSERT_TRUE(sim.Configure(scenario.c_str())) << sim.LastError();
        DeleteFileA(path.c_str());
        SetEnvironmentVariableA("KDLL_TRACE", path.c_str());
        Trace::Begin(KDLL_PRODUCT_TITLE);
        {
            ScsiDevice device(65545);
            SetPendingTimeout(device, 200);
            device.SetCommandBlock(unload, SRB_DIR_IN, 0);
            EXPECT_EQ(0, device.ExecuteCommand());
            sim.ReleaseHeld();
            EXPECT_EQ(1, device.ExecuteCommand()) << "given back by now";
        }
        SetEnvironmentVariableA("KDLL_TRACE", nullptr);
        Trace::Begin(KDLL_PRODUCT_TITLE);
        Trace::Settle(nullptr);
        std::vector<std::string> lines = ReadLines(path);
        std::string end = EndOf(lines, "1B 00 00 00 02");
        EXPECT_EQ(0u, Event(end).find("scsi 0:0 < no completion after ")) << Joined(lines);
        EXPECT_NE(std::string::npos,
                  end.find("(time-out 200 ms): failed; " + std::string(c.expected)))
            << end;
    }
}

} // namespace

namespace {

// KDLL_Open records the drive address it was given. A module handle that holds no panel
// (the host's own, or null for its program) is named with its file, and the library's own
// panel opens in its place; the stored setting alone may name the trace's file.
TEST_F(TraceTest, OpeningThePanelTellsTheAddressAndTheModule)
{
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kOneDrive)) << sim.LastError();
    const char kKey[] = "SOFTWARE\\Brindlex";
    struct {
        const char* name;
        bool libraryModule;
        HMODULE module; // given to KDLL_Create otherwise
        DWORD address;
        bool bySetting; // the stored setting names the file, not KDLL_TRACE
        std::string opened;
    } cases[] = {
        {"the library's module", true, nullptr, 0x00020301, false,
         "open: drive address 00020301: adapter 1, target 3"},
        {"the host's own module", false, GetModuleHandleA(nullptr), 0x0100, false,
         "open: drive address 00000100: adapter 0, target 1"},
        {"no module, the file named by the setting", false, nullptr, 0x0100, true,
         "open: drive address 00000100: adapter 0, target 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(path.c_str());
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &key));
        if (c.bySetting)
            RegSetValueExA(key, "TraceFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
        SetEnvironmentVariableA("KDLL_TRACE", c.bySetting ? nullptr : path.c_str());
        {
            PanelHost host;
            KdllParams params = host.Params(c.address);
            if (!c.libraryModule)
                params.moduleInstance = c.module;
            ASSERT_NE(0, host.kdll.create(params));
            host.kdll.open(params);
            EXPECT_NE(nullptr, host.Dialog());
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        std::vector<std::string> lines = ReadLines(path);
        SCOPED_TRACE(Joined(lines));
        EXPECT_TRUE(HasEvent(lines, c.opened));

        std::string replaced;
        for (const std::string& line : lines) {
            if (Event(line).compare(0, 30, "panel: dialog 101 is not in mo") == 0)
                replaced = Event(line);
        }
        if (c.libraryModule) {
            EXPECT_EQ("", replaced);
            continue;
        }
        char file[MAX_PATH] = "";
        GetModuleFileNameA(c.module, file, sizeof file);
        EXPECT_NE(std::string::npos,
                  replaced.find(std::string(" ('") + file + "'): the library's own taken"))
            << replaced;
    }
}

} // namespace

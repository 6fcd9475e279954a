// The panel's dialog procedure driven through the exports, as a host and its user drive
// it: the file-name box and "&Download", closing the panel from inside, foreign timers,
// and a whole download on the simulated drive with its transfer ticks and the shut-down
// notice at the end.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PanelExpectations.h"
#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"

namespace {

using namespace panel;

class PanelDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.kdll.IsBound()) << "kdll.dll or one of its exports is missing";
        ASSERT_TRUE(sim.IsBound()) << "the simulated WNASPI32.dll is not loaded";
        ASSERT_TRUE(sim.Configure("adapters 1\n"
                                  "device 0 1 rvx\n"
                                  "fault 0 1 write delay 3000\n"))
            << sim.LastError();
        ASSERT_TRUE(recorder.IsActive()) << "kdll.dll's shut-down calls cannot be intercepted";
        host.EnterFolder();
    }
    void TearDown() override { sim.ReleaseHeld(); }

    void OpenPanel()
    {
        ASSERT_NE(0, host.Create(0x0100));
        host.Open(0x0100);
        ASSERT_NE(nullptr, host.Dialog());
    }

    // What the user can see of the panel, all in one text.
    std::string Snapshot()
    {
        return "status \"" + host.Text(kStatusText) + "\" picture " +
               std::to_string(host.StatePicture()) + " download " +
               (host.IsEnabled(kDownload) ? "on" : "off") + " open-file " +
               (host.IsEnabled(kOpenFile) ? "on" : "off") + " file \"" + host.Text(1002) + "\"\n" +
               host.ListSnapshot();
    }

    int Position(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)); }

    SimLink sim;
    PanelHost host;
    SystemCallRecorder recorder{host.kdll.Module()};
};

// "&Download" is usable exactly when the box's text has a first character.
TEST_F(PanelDialogTest, FileNameBoxDecidesWhetherDownloadIsUsable)
{
    OpenPanel();
    ASSERT_FALSE(host.IsEnabled(kDownload)) << "opened with an empty box";

    const std::string longName = "C:\\" + std::string(296, 'x') + ".zqx";
    struct {
        const char* step;
        std::function<void()> act;
        bool enabled;
    } steps[] = {
        {"type one character", [&] { host.TypeIntoFileName('a'); }, true},
        {"clear the box", [&] { host.ClearFileName(); }, false},
        {"type one character again", [&] { host.TypeIntoFileName('F'); }, true},
        {"a second character", [&] { host.TypeIntoFileName('W'); }, true},
        {"set an empty text", [&] { host.SetFileName(""); }, false},
        {"a blank", [&] { host.SetFileName(" "); }, true},
        {"a name of 300 characters", [&] { host.SetFileName(longName.c_str()); }, true},
        {"clear it", [&] { host.ClearFileName(); }, false},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(s.enabled, host.IsEnabled(kDownload))
            << s.step << ": box \"" << host.Text(1002).substr(0, 20) << "\"";
        EXPECT_TRUE(host.IsEnabled(kOpenFile)) << s.step;
    }
}

// The panel closes itself on WM_CLOSE and on the close command; the host's Close then
// finds the window gone and says so, and the next Open brings a new panel.
TEST_F(PanelDialogTest, ClosingFromInsideLeavesCloseNothingToDestroy)
{
    struct {
        const char* name;
        UINT message;
        WPARAM wParam;
    } cases[] = {
        {"WM_CLOSE", WM_CLOSE, 0},
        {"command 8 (IDCLOSE)", WM_COMMAND, MAKEWPARAM(IDCLOSE, BN_CLICKED)},
    };
    ASSERT_NE(0, host.Create(0x0100));
    for (const auto& c : cases) {
        host.Open(0x0100);
        HWND dialog = host.Dialog();
        ASSERT_NE(nullptr, dialog) << c.name;
        SendMessageA(dialog, c.message, c.wParam, 0);
        EXPECT_FALSE(IsWindow(dialog)) << c.name << " leaves the panel in place";
        EXPECT_NE(0, host.kdll.close())
            << c.name << ": the panel that closed itself is none to close";
        EXPECT_NE(0, host.kdll.close()) << c.name << ": a second Close has no panel";

        host.Open(0x0100);
        ASSERT_NE(nullptr, host.Dialog()) << c.name << ": Open after Close";
        EXPECT_EQ("Ready.", host.Text(kStatusText)) << c.name;
        EXPECT_NE(0, host.kdll.close()) << c.name;
        EXPECT_EQ(nullptr, host.Dialog()) << c.name;
    }
}

TEST_F(PanelDialogTest, ForeignTimersAndCommandsChangeNothing)
{
    OpenPanel();
    host.SetFileName("x.zqx");
    sim.ClearLog();
    const std::string before = Snapshot();
    const UINT_PTR timers[] = {7, 0, 99, 101, 1000};
    for (UINT_PTR timer : timers) {
        SendMessageA(host.Dialog(), WM_TIMER, timer, 0);
        EXPECT_EQ(before, Snapshot()) << "timer " << timer;
    }
    const WORD commands[] = {2, 1001, 1006, 1017, 9999};
    for (WORD command : commands) {
        SendMessageA(host.Dialog(), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        EXPECT_EQ(before, Snapshot()) << "command " << command;
    }
    EXPECT_TRUE(sim.ScsiRequests().empty()) << "a command reached the drive";
    EXPECT_TRUE(recorder.calls.empty()) << "a box or a shut-down request";
}

// A whole download on the simulated drive. The ticks are sent by the test, before the
// transfer worker can finish: it first disables the host window, which is this thread's
// and so waits until the test processes messages again.
TEST_F(PanelDialogTest, DownloadTicksThenAsksToShutDown)
{
    HWND decoy = CreateWindowA("STATIC", "decoy", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    KdllParams atCreate = host.Params(0x0100);
    atCreate.hostWindow = decoy; // Open's host window is the one the worker disables
    ASSERT_NE(0, host.kdll.create(atCreate));
    host.Open(0x0100);
    std::string path = host.WriteFirmwareFile("new.zqx");
    host.SetFileName(path.c_str());
    ASSERT_TRUE(host.IsEnabled(kDownload));

    host.Click(kDownload);
    ASSERT_EQ("Downloading... (Do NOT turn off!)", host.Text(kStatusText));
    EXPECT_FALSE(host.IsEnabled(kDownload));
    EXPECT_FALSE(host.IsEnabled(kOpenFile));
    HWND bar = host.ProgressBar();
    ASSERT_NE(nullptr, bar) << "no progress bar in the list";
    EXPECT_EQ(0, Position(bar));

    const int positions[9] = {12, 24, 36, 48, 61, 73, 85, 97, 110};
    int previousPicture = 0;
    for (int tick = 0; tick < 9; ++tick) {
        SendMessageA(host.Dialog(), WM_TIMER, 100, 0);
        int expected = positions[tick] < 100 ? positions[tick] : 100; // the bar's range ends at 100
        EXPECT_EQ(expected, Position(bar)) << "tick " << tick + 1;
        int picture = host.StatePicture();
        EXPECT_TRUE(picture == kWait || picture == kLogo) << "tick " << tick + 1 << ": " << picture;
        EXPECT_NE(previousPicture, picture)
            << "tick " << tick + 1 << ": the picture did not change";
        previousPicture = picture;

        if (tick == 3) {
            SendMessageA(host.Dialog(), WM_TIMER, 7, 0);
            EXPECT_EQ(48, Position(bar)) << "timer 7 moved the bar";
            EXPECT_EQ(picture, host.StatePicture()) << "timer 7 changed the picture";
        }
    }

    // While the transfer runs, neither the box nor a press can start another download.
    sim.ClearLog();
    host.SetFileName("another.zqx");
    EXPECT_FALSE(host.IsEnabled(kDownload)) << "\"&Download\" usable during a transfer";
    host.Click(kDownload);
    for (const SimRequestRecord& r : sim.ScsiRequests())
        EXPECT_NE(0x12, r.cdb[0]) << "a second download sent its INQUIRY";
    EXPECT_EQ(bar, host.ProgressBar());
    host.SetFileName(path.c_str());

    EXPECT_TRUE(PanelHost::PumpUntil([&] { return !IsWindowEnabled(host.host); }, 5000))
        << "the host window was not disabled for the transfer";
    EXPECT_TRUE(IsWindowEnabled(decoy)) << "Create's host window was disabled";
    ASSERT_TRUE(PanelHost::PumpUntil([&] { return !recorder.Calls("MessageBoxA").empty(); }, 20000))
        << "no shut-down notice; status \"" << host.Text(kStatusText) << "\"";

    EXPECT_EQ("Download has done successfully!", host.Text(kStatusText));
    EXPECT_EQ(kOk, host.StatePicture());
    EXPECT_FALSE(host.IsEnabled(kDownload));
    EXPECT_FALSE(host.IsEnabled(kOpenFile));
    EXPECT_EQ(nullptr, host.ProgressBar());
    EXPECT_TRUE(IsWindowEnabled(host.host));

    std::vector<RecordedCall> boxes = recorder.Calls("MessageBoxA");
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kShutDownNotice, boxes[0].text);
    EXPECT_EQ("Notice", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
    EXPECT_EQ(host.Dialog(), boxes[0].owner);
    EXPECT_EQ((std::vector<std::string>{"MessageBoxA", "AdjustTokenPrivileges", "ExitWindowsEx"}),
              recorder.Order());
    std::vector<RecordedCall> shutDowns = recorder.Calls("ExitWindowsEx");
    ASSERT_EQ(1u, shutDowns.size());
    EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), shutDowns[0].type);

    // Only a change of the box makes "&Download" usable after a success.
    PanelHost::Pump(700);
    EXPECT_FALSE(host.IsEnabled(kDownload)) << "the timer still runs, or something re-enabled it";
    host.SetFileName(path.c_str());
    EXPECT_TRUE(host.IsEnabled(kDownload));
    EXPECT_EQ(1u, recorder.Calls("ExitWindowsEx").size());
    DestroyWindow(decoy);
}

// Run by the copy of the test program that Wine presents as Windows 98: there the
// shut-down needs no privilege, and none is asked for.
class Win9xPanelTest : public PanelDialogTest {};

TEST_F(Win9xPanelTest, ShutDownAsksForNoPrivilege)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId)
        << "not running as Windows 9x";
    OpenPanel();
    host.SetFileName(host.WriteFirmwareFile("new.zqx").c_str());
    host.Click(kDownload);
    ASSERT_TRUE(PanelHost::PumpUntil([&] { return !recorder.Calls("MessageBoxA").empty(); }, 20000))
        << "no shut-down notice; status \"" << host.Text(kStatusText) << "\"";
    EXPECT_EQ(kOk, host.StatePicture());
    EXPECT_EQ((std::vector<std::string>{"MessageBoxA", "ExitWindowsEx"}), recorder.Order());
    std::vector<RecordedCall> shutDowns = recorder.Calls("ExitWindowsEx");
    ASSERT_EQ(1u, shutDowns.size());
    EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), shutDowns[0].type);
}

} // namespace

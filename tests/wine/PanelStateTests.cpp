// The panel's transfer tick, state picture and shut-down prompt, on a Downloader that the
// test builds itself from the library's classes (linked into this program), with the
// panel's resources from the loaded kdll.dll. That gives the test the instance's fields
// and the module's counters to set and read; they are this program's copies, separate
// from the DLL's. The Windows calls that would show a box or end the session are
// answered by stand-ins in this program's own import table.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ImportPatch.h"
#include "PanelExpectations.h"
#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"
#include "LibraryInternals.h"

namespace {

using namespace panel;

class PanelStateTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.kdll.IsBound()) << "kdll.dll or one of its exports is missing";
        ASSERT_TRUE(sim.IsBound()) << "the simulated WNASPI32.dll is not loaded";
        ASSERT_TRUE(sim.Configure("adapters 1\n"
                                  "device 0 1 rvx\n"))
            << sim.LastError();
        ASSERT_TRUE(recorder.IsActive()) << "this program's shut-down calls cannot be intercepted";
        host.EnterFolder();
        instance.reset(new TestInstance(host.kdll.Module(), host.host));
        downloader = &instance->downloader;
        downloader->SetHostParams(host.Params(0x0100));
    }
    void TearDown() override
    {
        instance.reset();
        sim.ReleaseHeld();
    }

    void OpenPanel()
    {
        downloader->OpenDialog();
        ASSERT_NE(nullptr, LibraryInternals::Panel(*downloader).Window());
        ASSERT_EQ(LibraryInternals::Panel(*downloader).Window(), host.Dialog());
    }

    // The panel as the download start leaves it when the worker runs: both buttons off,
    // the bar over the last row, the worker's state "running".
    void BeginTransfer()
    {
        EnableWindow(host.Item(kDownload), FALSE);
        EnableWindow(host.Item(kOpenFile), FALSE);
        LibraryInternals::Panel(*downloader).CreateProgressBar(6);
        ASSERT_NE(nullptr, LibraryInternals::ProgressBar(LibraryInternals::Panel(*downloader)));
        LibraryInternals::SetTransferState(*downloader, DownloadProcedure::kTransferRunning);
    }

    INT_PTR Tick()
    {
        return DownloaderDialogProc(LibraryInternals::Panel(*downloader).Window(), WM_TIMER, 100,
                                    0);
    }

    int Position() const
    {
        return static_cast<int>(SendMessageA(host.ProgressBar(), PBM_GETPOS, 0, 0));
    }

    SimLink sim;
    PanelHost host;
    SystemCallRecorder recorder{GetModuleHandleA(nullptr)};
    std::unique_ptr<TestInstance> instance;
    Downloader* downloader = nullptr;
};

int PictureForBlink(LONG count)
{
    return count % 2 == 0 ? kWait : kLogo;
}

TEST_F(PanelStateTest, TicksMoveTheBarByTimeAndAlternateThePicture)
{
    OpenPanel();
    BeginTransfer();
    ASSERT_EQ(0u, LibraryInternals::ProgressTicks(LibraryInternals::Panel(*downloader)))
        << "a previous transfer left its ticks";
    const LONG first = LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader));
    const int positions[12] = {12, 24, 36, 48, 61, 73, 85, 97, 110, 122, 134, 146};
    for (int tick = 0; tick < 12; ++tick) {
        EXPECT_EQ(TRUE, Tick()) << "tick " << tick + 1;
        int expected = positions[tick] < 100 ? positions[tick] : 100; // the bar's range ends at 100
        EXPECT_EQ(expected, Position()) << "tick " << tick + 1;
        EXPECT_EQ(static_cast<ULONG>(1100 * (tick + 1)),
                  LibraryInternals::ProgressTicks(LibraryInternals::Panel(*downloader)))
            << "tick " << tick + 1;
        EXPECT_EQ(PictureForBlink(first + tick), host.StatePicture()) << "tick " << tick + 1;
        EXPECT_EQ(first + tick + 1,
                  LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader)))
            << "tick " << tick + 1;
        EXPECT_FALSE(host.IsEnabled(kDownload)) << "tick " << tick + 1;
    }

    // The worker has failed: the last tick still blinks, then ends the transfer.
    LibraryInternals::SetTransferState(*downloader, 0);
    EXPECT_EQ(TRUE, Tick());
    EXPECT_EQ(first + 13, LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader)))
        << "the last tick blinks too";
    EXPECT_EQ(0u, LibraryInternals::ProgressTicks(LibraryInternals::Panel(*downloader)))
        << "the counter starts afresh with the next transfer";
    EXPECT_EQ(nullptr, host.ProgressBar());
    EXPECT_EQ(nullptr, LibraryInternals::ProgressBar(LibraryInternals::Panel(*downloader)));
    EXPECT_EQ(kNg, host.StatePicture());
    EXPECT_TRUE(host.IsEnabled(kDownload));
    EXPECT_TRUE(host.IsEnabled(kOpenFile));
    EXPECT_EQ(FALSE, KillTimer(LibraryInternals::Panel(*downloader).Window(), 100))
        << "the transfer timer still runs";
}

// blinkCount runs on over downloads: the first picture of a transfer depends on how many
// ticks all earlier transfers had.
TEST_F(PanelStateTest, BlinkCountIsNeverReset)
{
    OpenPanel();
    const LONG start = LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader));
    // Enough ticks to leave the count odd: a count restarted at 0 would begin with Wait !.
    const int ticks = start % 2 == 0 ? 2 : 1;
    BeginTransfer();
    for (int i = 0; i < ticks; ++i)
        Tick();
    LibraryInternals::SetTransferState(*downloader, 0);
    Tick();
    ASSERT_EQ(start + ticks + 1,
              LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader)));
    ASSERT_EQ(1, LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader)) % 2);

    BeginTransfer();
    Tick();
    EXPECT_EQ(kLogo, host.StatePicture()) << "the second transfer began with Wait !";
    EXPECT_EQ(12, Position());
    LibraryInternals::SetTransferState(*downloader, 0);
    Tick();
}

TEST_F(PanelStateTest, ForeignTimerDuringTransferChangesNothing)
{
    OpenPanel();
    BeginTransfer();
    Tick();
    const LONG blinks = LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader));
    const ULONG ticks = LibraryInternals::ProgressTicks(LibraryInternals::Panel(*downloader));
    const int picture = host.StatePicture();
    for (UINT_PTR timer : {7, 0, 99, 101}) {
        EXPECT_EQ(TRUE, DownloaderDialogProc(LibraryInternals::Panel(*downloader).Window(),
                                             WM_TIMER, timer, 0))
            << "timer " << timer;
        SendMessageA(LibraryInternals::Panel(*downloader).Window(), WM_TIMER, timer, 0);
        EXPECT_EQ(blinks, LibraryInternals::BlinkCount(LibraryInternals::Panel(*downloader)))
            << "timer " << timer;
        EXPECT_EQ(ticks, LibraryInternals::ProgressTicks(LibraryInternals::Panel(*downloader)))
            << "timer " << timer;
        EXPECT_EQ(12, Position()) << "timer " << timer;
        EXPECT_EQ(picture, host.StatePicture()) << "timer " << timer;
    }
    LibraryInternals::SetTransferState(*downloader, 0);
    Tick();
}

// After a successful transfer: the success picture, the notice, and the shut-down only
// when the notice was answered with OK. The tick reports FALSE when the notice could
// not be shown.
TEST_F(PanelStateTest, SuccessEndsInTheShutDownNotice)
{
    struct {
        const char* name;
        int answer;
        INT_PTR tickResult;
        std::vector<std::string> calls;
    } cases[] = {
        {"OK", IDOK, TRUE, {"MessageBoxA", "AdjustTokenPrivileges", "ExitWindowsEx"}},
        {"box not shown", 0, FALSE, {"MessageBoxA"}},
    };
    OpenPanel();
    for (const auto& c : cases) {
        recorder.calls.clear();
        recorder.messageBoxAnswer = c.answer;
        BeginTransfer();
        Tick();
        LibraryInternals::SetTransferState(*downloader, 1);
        EXPECT_EQ(c.tickResult, Tick()) << c.name;

        EXPECT_EQ("Download has done successfully!", host.Text(kStatusText)) << c.name;
        EXPECT_EQ(kOk, host.StatePicture()) << c.name;
        EXPECT_FALSE(host.IsEnabled(kDownload)) << c.name;
        EXPECT_FALSE(host.IsEnabled(kOpenFile)) << c.name;
        EXPECT_EQ(c.calls, recorder.Order()) << c.name;
        std::vector<RecordedCall> boxes = recorder.Calls("MessageBoxA");
        ASSERT_EQ(1u, boxes.size()) << c.name;
        EXPECT_EQ(kShutDownNotice, boxes[0].text) << c.name;
        EXPECT_EQ("Notice", boxes[0].caption) << c.name;
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[0].type) << c.name;
        EXPECT_EQ(LibraryInternals::Panel(*downloader).Window(), boxes[0].owner) << c.name;
        for (const RecordedCall& call : recorder.Calls("ExitWindowsEx"))
            EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), call.type) << c.name;
    }
}

// The privilege is asked for on Windows NT only, and without it nothing is shut down.
BOOL WINAPI FailingOpenProcessToken(HANDLE, DWORD, PHANDLE)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI FailingLookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID)
{
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}

// Succeeds without granting anything, as Windows does for an unprivileged account.
BOOL WINAPI GrantingNothingAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD,
                                                 PTOKEN_PRIVILEGES, PDWORD)
{
    SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

TEST_F(PanelStateTest, ShutDownNeedsThePrivilegeOnWindowsNt)
{
    struct {
        const char* name;
        uint32_t windows9x;
        const char* refused; // the advapi32 call that fails, or null
        void* standIn;
        std::vector<std::string> calls;
    } cases[] = {
        {"NT", 0, nullptr, nullptr, {"MessageBoxA", "AdjustTokenPrivileges", "ExitWindowsEx"}},
        {"9x", 1, nullptr, nullptr, {"MessageBoxA", "ExitWindowsEx"}},
        {"NT, token refused",
         0,
         "OpenProcessToken",
         reinterpret_cast<void*>(&FailingOpenProcessToken),
         {"MessageBoxA"}},
        {"NT, no such privilege",
         0,
         "LookupPrivilegeValueA",
         reinterpret_cast<void*>(&FailingLookupPrivilegeValueA),
         {"MessageBoxA"}},
        {"NT, privilege not granted",
         0,
         "AdjustTokenPrivileges",
         reinterpret_cast<void*>(&GrantingNothingAdjustTokenPrivileges),
         {"MessageBoxA"}},
        {"9x, no such privilege",
         1,
         "LookupPrivilegeValueA",
         reinterpret_cast<void*>(&FailingLookupPrivilegeValueA),
         {"MessageBoxA", "ExitWindowsEx"}},
    };
    OpenPanel();
    ASSERT_NE(nullptr, LibraryInternals::Device(*downloader));
    for (const auto& c : cases) {
        recorder.calls.clear();
        recorder.messageBoxAnswer = IDOK;
        LibraryInternals::SetWindows9x(*LibraryInternals::Device(*downloader), c.windows9x);
        std::unique_ptr<ImportPatch> refusal;
        if (c.refused != nullptr) {
            refusal.reset(
                new ImportPatch(GetModuleHandleA(nullptr), "advapi32.dll", c.refused, c.standIn));
            ASSERT_TRUE(refusal->IsActive()) << c.name;
        }
        LibraryInternals::ShutDownPrompt(*downloader);
        EXPECT_EQ(c.calls, recorder.Order()) << c.name;
        for (const RecordedCall& call : recorder.Calls("ExitWindowsEx"))
            EXPECT_EQ(static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE), call.type) << c.name;
    }
}

// A panel closed from inside during a transfer never sees the transfer's last tick; the
// next transfer's bar still starts from the beginning.
TEST_F(PanelStateTest, BarStartsAfreshAfterAPanelClosedMidTransfer)
{
    OpenPanel();
    BeginTransfer();
    for (int i = 0; i < 3; ++i)
        Tick();
    SendMessageA(LibraryInternals::Panel(*downloader).Window(), WM_CLOSE, 0, 0);
    EXPECT_NE(0, downloader->CloseDialog()) << "the panel that closed itself is none to close";
    LibraryInternals::SetTransferState(*downloader, 1); // the worker has ended meanwhile

    OpenPanel();
    host.SetFileName(host.WriteFirmwareFile("new.zqx").c_str());
    host.Click(kDownload);
    ASSERT_NE(nullptr, host.ProgressBar()) << "status \"" << host.Text(kStatusText) << "\"";
    // The worker waits for this thread before it writes: the host window it disables
    // belongs to this thread, which processes no messages until the tick has run.
    Tick();
    EXPECT_EQ(12, Position());
    EXPECT_TRUE(PanelHost::PumpUntil([&] { return !recorder.Calls("MessageBoxA").empty(); }, 20000))
        << "the download did not end; status \"" << host.Text(kStatusText) << "\"";
}

// Without a device the panel still opens; a download then stops before any command.
TEST_F(PanelStateTest, OpensWithoutADevice)
{
    LibraryInternals::DropDevice(*downloader);
    OpenPanel();
    EXPECT_EQ(7, host.RowCount());
    EXPECT_EQ("Flash Writing", host.Cell(6, 0));
    EXPECT_EQ("Ready.", host.Text(kStatusText));
    EXPECT_EQ("RVX-4417K Downloader 1.01 (2005-03-03)", host.WindowText(host.caption));
    EXPECT_EQ(kLogo, host.StatePicture());

    host.SetFileName(host.WriteFirmwareFile("new.zqx").c_str());
    ASSERT_TRUE(host.IsEnabled(kDownload));
    sim.ClearLog();
    host.Click(kDownload);
    EXPECT_TRUE(sim.Requests().empty()) << "a request reached the ASPI layer";
    EXPECT_EQ(kNg, host.StatePicture());
    EXPECT_TRUE(host.IsEnabled(kDownload));
    EXPECT_TRUE(host.IsEnabled(kOpenFile));
    EXPECT_EQ(nullptr, host.ProgressBar());
}

} // namespace

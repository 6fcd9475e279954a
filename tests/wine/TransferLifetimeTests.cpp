// A host that misbehaves while the drive writes its flash: it destroys the instance,
// unloads the library, closes and reopens the panel, calls from another thread, or
// destroys the instance from inside one of the panel's message boxes. The write is held
// at the drive ("pause") and the drive takes its payload only when it completes, so a
// buffer freed or reused meanwhile shows in what the drive receives. These tests also run
// with Wine's heap checking on.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"
#include "ImportPatch.h"

using namespace download;

namespace {

const char kPausedWrite[] = "data-out at-completion\n"
                            "adapters 1\n"
                            "device 0 1 rvx\n"
                            "fault 0 1 write pause count 1\n";

// Blocks of the size of the transfer buffer, written over: whatever the library freed is
// taken and overwritten before the drive reads the payload.
void ChurnHeap()
{
    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < 16; ++i)
        blocks.emplace_back(65545 + 16 * i, static_cast<uint8_t>(0xA5 + i));
}

// The payload the drive took with the write request, or empty.
std::vector<uint8_t> WritePayload(SimLink& sim)
{
    std::vector<SimRequestRecord> requests = sim.Requests();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].command == 0x02 && requests[i].cdb[0] == 0xCB && requests[i].cdb[2] == 4)
            return sim.DataOut(static_cast<int>(i));
    }
    return {};
}

class TransferLifetimeTest : public testing::Test {
protected:
    // Presses "&Download" and returns once the write waits at the drive.
    void StartHeldWrite()
    {
        ASSERT_EQ("", rig.Open(kPausedWrite));
        ASSERT_NE("", rig.ChooseFirmware(file));
        rig.Press();
        ASSERT_TRUE(rig.WaitUntil([this] { return rig.sim.PendingCount() == 1; }, 5000))
            << "the write never reached the drive; status '" << rig.Status() << "'";
        ASSERT_EQ(At("0:1", kWrite), rig.CommandTexts().back());
        ASSERT_FALSE(rig.HostEnabled()) << "the host enabled while the drive writes";
    }

    // Lets the drive complete the write; true once the worker has ended.
    bool ReleaseWrite()
    {
        rig.sim.Resume();
        return rig.WaitUntil([this] { return rig.WorkersEnded(); }, 5000);
    }

    void ExpectFlashed()
    {
        EXPECT_TRUE(file.Payload() == WritePayload(rig.sim))
            << "the drive did not receive the firmware's payload";
        EXPECT_EQ(1u, rig.sim.Device(0, 1).flashCount);
        EXPECT_STREQ("2.00", rig.sim.Device(0, 1).revision);
    }

    // A Destroy between the worker's last steps, the worker stopped at function.
    void DestroyWhileTheWorkerIsStopped(const char* function, void* standIn, bool resultStored);

    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    DownloadRig rig;
};

// The instance goes with the panel, but what the write uses stays until it has ended;
// nothing is sent to the drive meanwhile, and no completion check follows.
TEST_F(TransferLifetimeTest, DestroyDuringTheWrite)
{
    StartHeldWrite();
    size_t sent = rig.Commands().size();
    EXPECT_EQ(1, rig.panel.kdll.destroy());
    EXPECT_EQ(nullptr, rig.panel.Dialog()) << "the panel closes at once";
    EXPECT_EQ(0, rig.panel.Create(0x0100)) << "a new instance while the drive writes its flash";
    EXPECT_EQ(0, rig.panel.kdll.destroy()) << "the destroyed instance is gone for the host";
    ChurnHeap();

    ASSERT_TRUE(ReleaseWrite());
    ExpectFlashed();
    EXPECT_EQ(sent, rig.Commands().size()) << "commands after the write of a destroyed instance";
    EXPECT_TRUE(rig.calls->Order().empty()) << "a box or a shut-down without a panel";
    EXPECT_TRUE(rig.HostEnabled());

    EXPECT_NE(0, rig.panel.Create(0x0100)) << "no new instance after the write";
    EXPECT_LT(sent, rig.Commands().size()) << "the new instance discovers the drives";
    EXPECT_EQ(1, rig.panel.kdll.destroy());
}

// A Destroy stopped at its panel's WM_DESTROY, the instance going and its drive not yet
// freed, while the test does what it must do there.
WNDPROC panelProcedure;
std::function<void()> duringPanelDestroy;

LRESULT CALLBACK DestroyingPanel(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY && duringPanelDestroy) {
        std::function<void()> during = duringPanelDestroy;
        duringPanelDestroy = nullptr;
        during();
    }
    return CallWindowProcA(panelProcedure, window, message, wParam, lParam);
}

void DuringPanelDestroy(HWND panel, const std::function<void()>& during)
{
    panelProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DestroyingPanel)));
    duringPanelDestroy = during;
}

DWORD WINAPI RunCalls(LPVOID calls)
{
    (*static_cast<std::function<void()>*>(calls))();
    return 0;
}

// Runs calls on a thread of their own; true when it ended within five seconds. This
// thread processes no message meanwhile: the exports need none from it.
bool OnAnotherThread(std::function<void()> calls)
{
    HANDLE thread = CreateThread(nullptr, 0, RunCalls, &calls, 0, nullptr);
    if (thread == nullptr)
        return false;
    bool ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

// The drive answers the write while the panel is being destroyed, from inside the panel's
// WM_DESTROY: the worker ends there, and nothing of the instance is used after it went.
TEST_F(TransferLifetimeTest, WriteEndsWhileThePanelIsDestroyed)
{
    StartHeldWrite();
    HWND panel = rig.panel.Dialog();
    bool ended = false;
    DuringPanelDestroy(panel, [&] { ended = ReleaseWrite(); });
    EXPECT_EQ(1, rig.panel.kdll.destroy());
    EXPECT_TRUE(ended) << "the worker did not end while the panel was being destroyed";
    EXPECT_FALSE(IsWindow(panel));
    ChurnHeap();
    ExpectFlashed();
    EXPECT_TRUE(rig.calls->Order().empty()) << "a box or a shut-down without a panel";
    EXPECT_TRUE(rig.HostEnabled());
    EXPECT_NE(0, rig.panel.Create(0x0100)) << "no new instance after the write";
    EXPECT_EQ(1, rig.panel.kdll.destroy());
}

// The worker stopped on its way out at an imported call, until the test lets it go.
struct WorkerStop {
    DWORD worker;
    bool armed;
    HANDLE reached;
    HANDLE release;
    void* original;
} workerStop;

void StopTheWorker()
{
    if (!workerStop.armed || GetCurrentThreadId() != workerStop.worker)
        return;
    workerStop.armed = false;
    SetEvent(workerStop.reached);
    WaitForSingleObject(workerStop.release, 10000);
}

// The worker's first lock after the drive's answer: the one that stores its result.
void WINAPI StoppingEnterCriticalSection(LPCRITICAL_SECTION section)
{
    StopTheWorker();
    reinterpret_cast<decltype(&EnterCriticalSection)>(workerStop.original)(section);
}

// The worker leaving that lock: its result must be stored by then.
void WINAPI StoppingLeaveCriticalSection(LPCRITICAL_SECTION section)
{
    reinterpret_cast<decltype(&LeaveCriticalSection)>(workerStop.original)(section);
    StopTheWorker();
}

// How often the library let go of the ASPI layer's module.
HMODULE layerModule;
int layerReleases;
void* realFreeLibrary;

BOOL WINAPI CountingFreeLibrary(HMODULE module)
{
    if (module == layerModule)
        ++layerReleases;
    return reinterpret_cast<decltype(&FreeLibrary)>(realFreeLibrary)(module);
}

// A Destroy between the worker's last steps, the worker stopped at function: the
// destroyed instance's drive is freed exactly once (its ASPI layer let go), and a new
// instance can be built as soon as the result is stored.
void TransferLifetimeTest::DestroyWhileTheWorkerIsStopped(const char* function, void* standIn,
                                                          bool resultStored)
{
    ASSERT_NO_FATAL_FAILURE(StartHeldWrite());
    HMODULE kdll = rig.panel.kdll.Module();
    layerModule = GetModuleHandleA("wnaspi32.dll");
    layerReleases = 0;
    ImportPatch counting(kdll, "kernel32.dll", "FreeLibrary",
                         reinterpret_cast<void*>(&CountingFreeLibrary));
    realFreeLibrary = counting.Original();
    ImportPatch stopping(kdll, "kernel32.dll", function, standIn);
    ASSERT_TRUE(counting.IsActive());
    ASSERT_TRUE(stopping.IsActive()) << function;
    workerStop = {rig.threads.back().id, true, CreateEventA(nullptr, TRUE, FALSE, nullptr),
                  CreateEventA(nullptr, TRUE, FALSE, nullptr), stopping.Original()};

    rig.sim.Resume();
    ASSERT_TRUE(rig.WaitUntil(
        [] { return WaitForSingleObject(workerStop.reached, 0) == WAIT_OBJECT_0; }, 5000))
        << "the worker never reached " << function;
    EXPECT_EQ(1, rig.panel.kdll.destroy());
    int created = rig.panel.Create(0x0100);
    EXPECT_EQ(resultStored, created != 0) << "a new instance while the worker leaves";
    EXPECT_EQ(resultStored ? 1 : 0, layerReleases) << "the drive freed before the result";
    SetEvent(workerStop.release);
    EXPECT_TRUE(rig.WaitUntil([this] { return rig.WorkersEnded(); }, 5000));
    CloseHandle(workerStop.reached);
    CloseHandle(workerStop.release);

    ExpectFlashed();
    EXPECT_EQ(1, layerReleases) << "the destroyed instance's drive was not freed once";
    EXPECT_TRUE(rig.HostEnabled());
    if (created == 0) {
        EXPECT_NE(0, rig.panel.Create(0x0100)) << "no new instance after the write";
    }
    EXPECT_EQ(1, rig.panel.kdll.destroy());
}

// The drive has answered the write; the worker has not yet stored the result.
TEST_F(TransferLifetimeTest, DestroyBeforeTheResultIsStored)
{
    DestroyWhileTheWorkerIsStopped("EnterCriticalSection",
                                   reinterpret_cast<void*>(&StoppingEnterCriticalSection), false);
}

// The worker has left the lock that stores its result, and is still in the library.
TEST_F(TransferLifetimeTest, DestroyAfterTheResultIsStored)
{
    DestroyWhileTheWorkerIsStopped("LeaveCriticalSection",
                                   reinterpret_cast<void*>(&StoppingLeaveCriticalSection), true);
}

// Closing and reopening the panel during the write: the new panel shows the transfer,
// sends nothing until the write has ended, then runs the completion check and reports.
TEST_F(TransferLifetimeTest, CloseAndOpenDuringTheWrite)
{
    StartHeldWrite();
    HWND firstHost = rig.panel.host;
    HWND otherHost = CreateWindowExA(0, "STATIC", "other host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, otherHost);
    std::string rows = rig.panel.ListSnapshot();
    EXPECT_NE(0, rig.panel.kdll.close());
    KdllParams params = rig.panel.Params(0x0300);
    params.hostWindow = otherHost;
    rig.panel.kdll.open(params);
    ASSERT_NE(nullptr, rig.panel.Dialog());

    EXPECT_EQ(kDownloading, rig.Status());
    EXPECT_EQ(rows, rig.panel.ListSnapshot()) << "the new panel shows the rows as they are";
    EXPECT_FALSE(rig.panel.IsEnabled(1)) << "\"&Download\" during the write";
    EXPECT_FALSE(rig.panel.IsEnabled(1004)) << "open-file button during the write";
    EXPECT_EQ(kInProgress, rig.panel.RowImage(6));
    EXPECT_NE(nullptr, rig.ProgressBar());

    size_t sent = rig.Commands().size();
    rig.panel.SetFileName("C:\\other.zqx");
    EXPECT_FALSE(rig.panel.IsEnabled(1)) << "typing a file name enabled \"&Download\"";
    rig.Press();
    PanelHost::Pump(600);
    EXPECT_EQ(sent, rig.Commands().size()) << "a command went out during the write";

    ASSERT_TRUE(ReleaseWrite());
    ASSERT_TRUE(rig.WaitForEnd());
    ExpectFlashed();
    EXPECT_EQ(kSucceeded, rig.Status());
    std::vector<std::string> texts = rig.CommandTexts();
    std::vector<std::string> completion(texts.begin() + sent, texts.end());
    EXPECT_EQ((std::vector<std::string>{At("0:1", kLoad), At("0:1", kTestUnitReady),
                                        At("0:1", kTestUnitReady)}),
              completion)
        << "the completion goes to the drive that was written";
    EXPECT_EQ((std::vector<std::string>{"MessageBoxA", "AdjustTokenPrivileges", "ExitWindowsEx"}),
              rig.calls->Order());
    EXPECT_TRUE(IsWindowEnabled(firstHost)) << "the window the worker disabled";
    EXPECT_TRUE(IsWindowEnabled(otherHost));
    DestroyWindow(otherHost);
}

struct ExportCall {
    const char* name;
    int expected;
    int got;
};

// The exports belong to the thread that built the instance: from any other they change
// nothing, and the panel goes on working.
TEST(TransferLifetime, ExportsFromAnotherThread)
{
    DownloadRig rig;
    ASSERT_EQ("", rig.Open("adapters 1\n"
                           "device 0 1 rvx\n"));
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    ASSERT_NE("", rig.ChooseFirmware(file));
    HWND panel = rig.panel.Dialog();

    ExportCall calls[] = {{"KDLL_Close", 0, -1},
                          {"KDLL_Destroy", 0, -1},
                          {"KDLL_Open", 0, -1},
                          {"KDLL_Create", 0, -1}};
    ASSERT_TRUE(OnAnotherThread([&] {
        calls[0].got = rig.panel.kdll.close();
        calls[1].got = rig.panel.kdll.destroy();
        calls[2].got = rig.panel.kdll.open(rig.panel.Params(0x0100));
        calls[3].got = rig.panel.kdll.create(rig.panel.Params(0x0100));
    }));
    for (const ExportCall& call : calls)
        EXPECT_EQ(call.expected, call.got) << call.name << " from another thread";
    EXPECT_EQ(0u, rig.Commands().size()) << "discovery from another thread";

    EXPECT_EQ(panel, rig.panel.Dialog());
    rig.Press();
    ASSERT_TRUE(rig.WaitForEnd());
    EXPECT_EQ(kSucceeded, rig.Status());
    EXPECT_EQ(1u, rig.sim.Device(0, 1).flashCount);
}

// Another thread's Create while the owner's Destroy frees the instance: refused, with
// nothing sent to the drive. Once the Destroy has returned, any thread may build the next.
TEST(TransferLifetime, CreateFromAnotherThreadDuringTheDestroy)
{
    DownloadRig rig;
    ASSERT_EQ("", rig.Open("adapters 1\n"
                           "device 0 1 rvx\n"));
    int during = -1;
    DuringPanelDestroy(rig.panel.Dialog(), [&] {
        EXPECT_TRUE(OnAnotherThread([&] { during = rig.panel.Create(0x0100); }));
    });
    EXPECT_EQ(1, rig.panel.kdll.destroy());
    EXPECT_EQ(0, during) << "a new instance while the old one was being freed";
    EXPECT_TRUE(rig.Commands().empty()) << "drive discovery while the instance was being freed";

    int created = 0;
    int destroyed = 0;
    ASSERT_TRUE(OnAnotherThread([&] {
        created = rig.panel.Create(0x0100);
        destroyed = rig.panel.kdll.destroy();
    }));
    EXPECT_NE(0, created) << "no new instance after the Destroy";
    EXPECT_EQ(1, destroyed);
}

// A close that the host finds queued as soon as "&Download" has been handled, before the
// worker has run at all: the host's window is disabled by then, the host refuses the
// close, and the write goes on to its end.
TEST_F(TransferLifetimeTest, CloseQueuedAsTheWriteStarts)
{
    ASSERT_EQ("", rig.Open("adapters 1\n"
                           "device 0 1 rvx\n"));
    ASSERT_NE("", rig.ChooseFirmware(file));
    rig.holdWorkers = true;
    rig.Press();
    PostMessageA(rig.panel.host, WM_CLOSE, 0, 0);
    PanelHost::Pump(0);
    EXPECT_TRUE(IsWindow(rig.panel.host)) << "the host closed as the write started";
    EXPECT_FALSE(rig.HostEnabled());

    rig.ReleaseWorkers();
    ASSERT_TRUE(rig.WaitForEnd());
    EXPECT_EQ(kSucceeded, rig.Status());
    ExpectFlashed();
    EXPECT_TRUE(rig.HostEnabled());
}

// A Destroy from inside the panel's own message box waits until the panel's code has
// returned; that code runs to its end.
TEST(TransferLifetime, DestroyFromTheMessageBoxes)
{
    struct {
        const char* name;
        const char* fault;
        const char* box;
        UINT exitFlags;
    } cases[] = {
        {"shut-down notice", "", "Notice", EWX_SHUTDOWN | EWX_FORCE},
        {"failure box", "fault 0 1 write check 3 0C 00\n", "Warning", EWX_REBOOT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig rig;
        ASSERT_EQ("", rig.Open((std::string("adapters 1\ndevice 0 1 rvx\n") + c.fault).c_str()));
        ASSERT_NE("", rig.ChooseFirmware(FirmwareFileBuilder::Standard("2.00")));
        HWND panel = rig.panel.Dialog();
        int destroyed = -1;
        int created = -1;
        bool panelDuringBox = false;
        rig.calls->duringMessageBox = [&] {
            destroyed = rig.panel.kdll.destroy();
            created = rig.panel.Create(0x0100);
            panelDuringBox = IsWindow(panel) != FALSE;
        };
        rig.Press();
        ASSERT_TRUE(rig.WaitUntil([panel] { return !IsWindow(panel); }, 8000))
            << "the panel outlived the destroy";
        EXPECT_EQ(1, destroyed);
        EXPECT_EQ(0, created) << "a new instance under the panel's code";
        EXPECT_TRUE(panelDuringBox) << "the panel went under its own message box";
        std::vector<RecordedCall> boxes = rig.calls->Calls("MessageBoxA");
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.box, boxes[0].caption);
        std::vector<RecordedCall> exits = rig.calls->Calls("ExitWindowsEx");
        ASSERT_EQ(1u, exits.size()) << "the code after the box ran";
        EXPECT_EQ(c.exitFlags, exits[0].type);
        EXPECT_EQ(0, rig.panel.kdll.destroy());
        EXPECT_NE(0, rig.panel.Create(0x0100));
    }
}

// The host frees the library while the worker writes: the code stays mapped until the
// worker has left it, then the library goes.
TEST(TransferLifetime, UnloadDuringTheWrite)
{
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kPausedWrite)) << sim.LastError();
    FirmwareFileBuilder file = FirmwareFileBuilder::Standard("2.00");
    PanelHost host;
    ASSERT_TRUE(host.kdll.IsBound());
    std::string path = file.WriteTo(host.folder, "FW.ZQX");
    ASSERT_NE("", path);
    ASSERT_NE(0, host.Create(0x0100));
    host.Open(0x0100);
    host.SetFileName(path.c_str());
    host.Click(1);
    ASSERT_TRUE(PanelHost::PumpUntil([&sim] { return sim.PendingCount() == 1; }, 5000));

    HMODULE module = host.kdll.Module();
    EXPECT_EQ(1, host.kdll.destroy());
    host.kdll.Release();
    EXPECT_EQ(module, GetModuleHandleA("kdll.dll")) << "unloaded under the running worker";
    ChurnHeap();
    sim.Resume();
    EXPECT_TRUE(PanelHost::PumpUntil([] { return GetModuleHandleA("kdll.dll") == nullptr; }, 8000))
        << "the worker kept the library loaded";
    EXPECT_TRUE(file.Payload() == WritePayload(sim));
    EXPECT_EQ(1u, sim.Device(0, 1).flashCount);
    EXPECT_TRUE(IsWindowEnabled(host.host));
}

} // namespace

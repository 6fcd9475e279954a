// What the panel holds of the system's resources: GDI objects, kernel handles, windows and
// the library's heap blocks stay where they were over many openings, closings, state
// changes and new instances, and the
// state pictures are loaded once per opening and released when the panel closes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "HeapBlockCounter.h"
#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"
#include "LibraryInternals.h"

namespace {

const int kStatePictures[4] = {103, 104, 106, 108};

struct Held {
    int gdi;
    int handles;
    int windows;
    long blocks; // of the C runtime's heap, allocated by kdll.dll
};

// The library's heap blocks, counted for the whole test program.
HeapBlockCounter* libraryBlocks;

Held Now()
{
    return {PanelHost::GdiObjectCount(), PanelHost::KernelHandleCount(), PanelHost::WindowCount(),
            libraryBlocks != nullptr ? libraryBlocks->Live() : 0};
}

void ExpectSame(const Held& before, const Held& after, const char* when)
{
    EXPECT_EQ(before.gdi, after.gdi) << when << ": GDI objects";
    EXPECT_EQ(before.handles, after.handles) << when << ": kernel handles";
    EXPECT_EQ(before.windows, after.windows) << when << ": windows";
    EXPECT_EQ(before.blocks, after.blocks) << when << ": the library's heap blocks";
}

class PanelResourceTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.kdll.IsBound()) << "kdll.dll or one of its exports is missing";
        ASSERT_TRUE(sim.Configure("adapters 1\n"
                                  "device 0 1 rvx\n"))
            << sim.LastError();
        host.EnterFolder();
        ASSERT_GT(PanelHost::GdiObjectCount(), 0) << "GDI objects cannot be counted here";
        ASSERT_GT(PanelHost::KernelHandleCount(), 0) << "handles cannot be counted here";
        blocks.reset(new HeapBlockCounter(host.kdll.Module()));
        ASSERT_TRUE(blocks->IsActive()) << "the library's heap cannot be counted";
        libraryBlocks = blocks.get();
    }
    void TearDown() override
    {
        libraryBlocks = nullptr;
        blocks.reset();
        sim.ReleaseHeld();
    }

    SimLink sim;
    PanelHost host;
    std::unique_ptr<HeapBlockCounter> blocks;
};

// The counters see what they are meant to see.
TEST_F(PanelResourceTest, CountersFollowCreationAndRelease)
{
    Held before = Now();
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 5, 5, host.host, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    Held during = Now();
    EXPECT_EQ(before.gdi + 1, during.gdi);
    EXPECT_EQ(before.handles + 1, during.handles);
    EXPECT_EQ(before.windows + 1, during.windows);
    DeleteObject(bitmap);
    CloseHandle(event);
    DestroyWindow(window);
    ExpectSame(before, Now(), "after release");

    ASSERT_NE(0, host.Create(0x0100));
    EXPECT_LT(before.blocks, Now().blocks) << "an instance holds no heap block";
    EXPECT_EQ(1, host.kdll.destroy());
    EXPECT_EQ(before.blocks, Now().blocks);
}

// Through the exports: opening and closing, failed downloads (which change the state
// picture twice each), building and freeing the instance.
TEST_F(PanelResourceTest, OpeningClosingAndFailedDownloadsLeaveNothingBehind)
{
    SystemCallRecorder recorder(host.kdll.Module());
    ASSERT_TRUE(recorder.IsActive());
    std::string path = host.WriteFirmwareFile("new.zqx");
    // No drive at target 5: every download ends after its INQUIRY.
    const DWORD noDrive = 0x0500;

    // The first opening fills caches of Wine and the common controls for good.
    ASSERT_NE(0, host.Create(noDrive));
    host.Open(noDrive);
    host.SetFileName(path.c_str());
    host.Click(1);
    ASSERT_NE(0, host.kdll.close());
    Held before = Now();

    for (int i = 0; i < 20; ++i) {
        host.Open(noDrive);
        ASSERT_NE(nullptr, host.Dialog()) << "opening " << i;
        host.SetFileName(path.c_str());
        for (int attempt = 0; attempt < 5; ++attempt) {
            host.Click(1);
            ASSERT_EQ(106, host.StatePicture()) << "opening " << i << " attempt " << attempt;
        }
        SendMessageA(host.Dialog(), WM_TIMER, 7, 0);
        PanelHost::Pump(0);
        ASSERT_NE(0, host.kdll.close()) << "opening " << i;
    }
    ExpectSame(before, Now(), "after 20 openings and 100 failed downloads");

    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(1, host.kdll.destroy());
        ASSERT_NE(0, host.Create(noDrive));
        host.Open(noDrive);
        ASSERT_NE(0, host.kdll.close());
    }
    ExpectSame(before, Now(), "after 5 new instances");

    // A panel that closed itself is released with its window; the host's Close finds none.
    for (int i = 0; i < 5; ++i) {
        host.Open(noDrive);
        SendMessageA(host.Dialog(), WM_CLOSE, 0, 0);
        ASSERT_NE(0, host.kdll.close());
    }
    ExpectSame(before, Now(), "after 5 panels closed from inside");
    EXPECT_TRUE(recorder.calls.empty());
}

// On the test's own Downloader: the four pictures are loaded when the panel opens, every
// change shows one of those four objects, and closing the panel deletes them. The first
// round only fills the caches that drawing the pictures and the failed transfer's
// restart request leave in the process for good; the second is measured.
TEST_F(PanelResourceTest, StatePicturesAreLoadedOnceAndReleasedAtClose)
{
    SystemCallRecorder recorder(GetModuleHandleA(nullptr));
    ASSERT_TRUE(recorder.IsActive());
    std::unique_ptr<TestInstance> instance(new TestInstance(host.kdll.Module(), host.host));
    Downloader* downloader = &instance->downloader;
    downloader->SetHostParams(host.Params(0x0100));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first round" : "second round");
        Held closed = Now();
        downloader->OpenDialog();
        ASSERT_NE(nullptr, LibraryInternals::Panel(*downloader).Window());
        std::map<int, HBITMAP> loaded;
        for (int id : kStatePictures) {
            LibraryInternals::Panel(*downloader).SetStatePicture(LibraryInternals::PictureOf(id));
            loaded[id] = host.StatePictureHandle();
            ASSERT_EQ(id, PanelHost::IdentifyPicture(host.kdll.Module(), loaded[id]))
                << "bitmap " << id;
        }
        LibraryInternals::Panel(*downloader).SetStatePicture(DownloaderDialog::kPictureLogo);
        LibraryInternals::Panel(*downloader).CreateProgressBar(6);
        LibraryInternals::SetTransferState(*downloader, DownloadProcedure::kTransferRunning);
        Held open = Now();

        for (int tick = 0; tick < 200; ++tick) {
            DownloaderDialogProc(LibraryInternals::Panel(*downloader).Window(), WM_TIMER, 100, 0);
            HBITMAP shown = host.StatePictureHandle();
            ASSERT_TRUE(shown == loaded[103] || shown == loaded[108]) << "tick " << tick;
        }
        for (int change = 0; change < 50; ++change) {
            for (int id : kStatePictures) {
                LibraryInternals::Panel(*downloader)
                    .SetStatePicture(LibraryInternals::PictureOf(id));
                ASSERT_EQ(loaded[id], host.StatePictureHandle())
                    << "change " << change << " bitmap " << id;
            }
        }
        LibraryInternals::Panel(*downloader).SetStatePicture(DownloaderDialog::kPictureLogo);
        if (round == 1)
            ExpectSame(open, Now(), "after 200 ticks and 200 changes");

        LibraryInternals::SetTransferState(*downloader, 0);
        DownloaderDialogProc(LibraryInternals::Panel(*downloader).Window(), WM_TIMER, 100, 0);
        ASSERT_EQ(loaded[106], host.StatePictureHandle());
        downloader->CloseDialog();
        for (int id : kStatePictures)
            EXPECT_EQ(0u, GetObjectType(loaded[id])) << "bitmap " << id << " still exists";
        if (round == 1)
            ExpectSame(closed, Now(), "after closing");
    }
    instance.reset();
}

} // namespace

// The four exports as a host calls them: the calling orders and their results.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportPatch.h"
#include "KdllLink.h"
#include "PanelHost.h"
#include "SimLink.h"

namespace {

const char kOneDrive[] = "adapters 1\n"
                         "device 0 1 rvx\n";

KdllParams Params()
{
    KdllParams params = {};
    params.moduleInstance = GetModuleHandleA("kdll.dll");
    return params;
}

class ExportsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kdll.IsBound()) << "kdll.dll or one of its four exports is missing";
        ASSERT_TRUE(sim.Configure(kOneDrive)) << sim.LastError();
        kdll.destroy();
        sim.ClearLog();
    }

    int InquiryCount()
    {
        int count = 0;
        for (const SimRequestRecord& r : sim.ScsiRequests())
            count += r.cdb[0] == 0x12;
        return count;
    }

    KdllLink kdll;
    SimLink sim;
};

TEST_F(ExportsTest, WithoutAnInstance)
{
    EXPECT_EQ(0, kdll.destroy()) << "Destroy before Create";
    EXPECT_NE(0, kdll.close()) << "Close without an instance";
    EXPECT_EQ(0, kdll.open(Params())) << "Open without an instance";
    EXPECT_EQ(0u, sim.Requests().size()) << "nothing may reach the drive";
}

TEST_F(ExportsTest, CreateDiscoversAndDestroyFrees)
{
    EXPECT_NE(0, kdll.create(Params()));
    EXPECT_EQ(8, InquiryCount()) << "discovery probes targets 0 to 7 of the one adapter";
    EXPECT_EQ(1, kdll.destroy());
    EXPECT_EQ(0, kdll.destroy()) << "the second Destroy finds no instance";
    EXPECT_NE(0, kdll.close());
}

TEST_F(ExportsTest, CloseTwiceWithoutPanel)
{
    ASSERT_NE(0, kdll.create(Params()));
    EXPECT_NE(0, kdll.close());
    EXPECT_NE(0, kdll.close());
    EXPECT_EQ(1, kdll.destroy());
}

TEST_F(ExportsTest, SecondCreateReplacesTheFirst)
{
    ASSERT_NE(0, kdll.create(Params()));
    ASSERT_NE(0, kdll.create(Params()));
    EXPECT_EQ(16, InquiryCount()) << "each instance discovers the drives once";
    EXPECT_EQ(1, kdll.destroy());
    EXPECT_EQ(0, kdll.destroy()) << "only one instance exists";
}

// The stand-in for the drive letters that discovery asks Windows about.
std::vector<char> askedLetters;
UINT WINAPI RecordingGetDriveTypeA(LPCSTR root)
{
    askedLetters.push_back(root[0]);
    return root[0] == 'C' ? DRIVE_CDROM : root[0] < 'C' ? DRIVE_REMOVABLE : DRIVE_NO_ROOT_DIR;
}

// The test rig replaces Windows calls of the loaded kdll.dll through its import table.
TEST_F(ExportsTest, ImportPatchReachesTheLoadedLibrary)
{
    askedLetters.clear();
    {
        ImportPatch patch(kdll.Module(), "kernel32.dll", "GetDriveTypeA",
                          reinterpret_cast<void*>(&RecordingGetDriveTypeA));
        ASSERT_TRUE(patch.IsActive());
        ASSERT_NE(0, kdll.create(Params()));
        kdll.destroy();
    }
    EXPECT_EQ((std::vector<char>{'A', 'B', 'C'}), askedLetters);
    askedLetters.clear();
    ASSERT_NE(0, kdll.create(Params()));
    kdll.destroy();
    EXPECT_TRUE(askedLetters.empty()) << "the patch outlived its scope";
}

// Runs only where WNASPI32.dll is missing or is Wine's own stub: the library still
// loads and builds its instance, with no drives.
TEST(NoAspiLayer, LibraryLoadsAndCreates)
{
    KdllLink kdll;
    ASSERT_TRUE(kdll.IsBound());
    EXPECT_NE(0, kdll.create(Params()));
    EXPECT_EQ(1, kdll.destroy());
}

} // namespace

namespace {

// What the library asked Windows to release, in order.
std::vector<std::string> releases;
HMODULE simulatedLayer;
HWND panelWindow;
decltype(&FreeLibrary) realFreeLibrary;
decltype(&DestroyWindow) realDestroyWindow;

BOOL WINAPI RecordingFreeLibrary(HMODULE module)
{
    if (module == simulatedLayer)
        releases.push_back("ASPI layer");
    return realFreeLibrary(module);
}

BOOL WINAPI RecordingDestroyWindow(HWND window)
{
    if (window == panelWindow)
        releases.push_back("panel");
    return realDestroyWindow(window);
}

TEST(ExportsPanel, OpenTwiceAndDestroyWithThePanelOpen)
{
    SimLink sim;
    ASSERT_TRUE(sim.Configure(kOneDrive)) << sim.LastError();
    PanelHost host;
    ASSERT_NE(0, host.Create(0x0100));
    EXPECT_EQ(0, host.Open(0x0100));
    HWND panel = host.Dialog();
    ASSERT_NE(nullptr, panel);

    // A second Open while the panel is open creates nothing, and leaves the parameters of
    // the open panel in force.
    KdllParams other = host.Params(0x0300);
    other.captionWindow = host.host;
    EXPECT_EQ(0, host.kdll.open(other));
    EXPECT_EQ(panel, host.Dialog());
    EXPECT_EQ(nullptr, FindWindowExA(host.host, panel, MAKEINTATOM(32770), nullptr));
    EXPECT_EQ("Test host", host.WindowText(host.host));

    // Destroy with the panel open: the panel goes first, on its own thread, then the drive
    // connection.
    releases.clear();
    simulatedLayer = GetModuleHandleA("wnaspi32.dll");
    panelWindow = panel;
    {
        ImportPatch freeLibrary(host.kdll.Module(), "kernel32.dll", "FreeLibrary",
                                reinterpret_cast<void*>(&RecordingFreeLibrary));
        ImportPatch destroyWindow(host.kdll.Module(), "user32.dll", "DestroyWindow",
                                  reinterpret_cast<void*>(&RecordingDestroyWindow));
        ASSERT_TRUE(freeLibrary.IsActive());
        ASSERT_TRUE(destroyWindow.IsActive());
        realFreeLibrary = reinterpret_cast<decltype(&FreeLibrary)>(freeLibrary.Original());
        realDestroyWindow = reinterpret_cast<decltype(&DestroyWindow)>(destroyWindow.Original());
        EXPECT_EQ(1, host.kdll.destroy());
    }
    EXPECT_EQ((std::vector<std::string>{"panel", "ASPI layer"}), releases);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(0, host.kdll.destroy());
    EXPECT_NE(0, host.kdll.close());
}

} // namespace

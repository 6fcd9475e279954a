// The wrappers of the panel's information list and status text, and the progress bar in
// the list, on the real panel: a Downloader built by the test from the library's classes
// opens it with the resources of the loaded kdll.dll. What the wrappers did is read back
// from the controls with messages of the test's own.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"
#include "LibraryInternals.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"

namespace {

// PBM_GETBKCOLOR: the headers declare it only for Vista targets; comctl32 answers it.
const UINT kGetBarBackground = WM_USER + 14;

class ListViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.kdll.IsBound()) << "kdll.dll or one of its exports is missing";
        ASSERT_TRUE(sim.Configure("adapters 1\n"
                                  "device 0 1 rvx\n"))
            << sim.LastError();
        ASSERT_TRUE(recorder.IsActive());
        host.EnterFolder();
        instance.reset(new TestInstance(host.kdll.Module(), host.host));
        instance->downloader.SetHostParams(host.Params(0x0100));
        instance->downloader.OpenDialog();
        ASSERT_NE(nullptr, panel().Window());
        list = ListViewControl(panel().Window(), 1006);
    }
    void TearDown() override
    {
        instance.reset();
        sim.ReleaseHeld();
    }

    DownloaderDialog& panel() { return LibraryInternals::Panel(instance->downloader); }
    HWND Bar() { return LibraryInternals::ProgressBar(panel()); }

    RECT ChildRect(HWND child) const
    {
        RECT rect = {};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, list.GetHandle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    RECT RowBounds(int row) const
    {
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        SendMessageA(list.GetHandle(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    SimLink sim;
    PanelHost host;
    SystemCallRecorder recorder{GetModuleHandleA(nullptr)};
    std::unique_ptr<TestInstance> instance;
    ListViewControl list;
};

TEST_F(ListViewTest, WrappersAttachToThePanelsControls)
{
    EXPECT_EQ(host.Item(1006), list.GetHandle());
    EXPECT_EQ(2, host.HeaderCount()) << "the two headers of the panel";
    EXPECT_EQ(7, host.RowCount()) << "the seven rows of the panel";

    StaticTextControl status(panel().Window(), 1001);
    EXPECT_EQ(host.Item(1001), status.GetHandle());
    char text[32] = "Transfer F/W Code...";
    status.SetText(text);
    text[0] = '\0'; // the control keeps its own copy
    EXPECT_EQ("Transfer F/W Code...", host.Text(1001));
}

TEST_F(ListViewTest, CellsTakeTextAndStateAsAsked)
{
    struct {
        const char* name;
        int row, column;
        const char* text; // null: the step sets the image
        int image;
        int rowImage; // expected image of the row afterwards
    } steps[] = {
        {"image 1 on row 2", 2, 0, nullptr, 1, 1},
        {"a value keeps the icon", 2, 1, "1A2B", 0, 1},
        {"a new key keeps the icon", 2, 0, "Check Sum", 0, 1},
        {"image 3, in progress", 5, 0, nullptr, 3, 3},
        {"image 2, failed", 5, 0, nullptr, 2, 2},
        {"back to idle", 5, 0, nullptr, 0, 0},
        {"value of the last row", 6, 1, "Done", 0, 0},
    };
    for (const auto& s : steps) {
        if (s.text != nullptr) {
            EXPECT_TRUE(list.SetCell(s.row, s.column, s.text)) << s.name;
            EXPECT_EQ(s.text, host.Cell(s.row, s.column)) << s.name;
        } else {
            EXPECT_TRUE(list.SetItemImage(s.row, s.image)) << s.name;
        }
        EXPECT_EQ(s.rowImage, host.RowImage(s.row)) << s.name;
        EXPECT_EQ(7, host.RowCount()) << s.name;
    }
    EXPECT_EQ("Drive Protocol", host.Cell(4, 0)) << "row 4 untouched";
    EXPECT_EQ("", host.Cell(3, 1)) << "column 1 of row 3 untouched";
}

TEST_F(ListViewTest, ColumnsAreInsertedAndSized)
{
    const int keyWidth = host.ColumnWidth(0);
    const int valueWidth = host.ColumnWidth(1);
    EXPECT_EQ(2, list.InsertColumn(2, "Note"));
    ASSERT_EQ(3, host.HeaderCount());
    EXPECT_EQ("Key", host.Header(0));
    EXPECT_EQ("Value", host.Header(1));
    EXPECT_EQ("Note", host.Header(2));
    EXPECT_EQ(keyWidth, host.ColumnWidth(0)) << "widths are not touched";
    EXPECT_EQ(valueWidth, host.ColumnWidth(1));

    EXPECT_TRUE(list.SetColumnWidth(1, 200));
    EXPECT_EQ(200, host.ColumnWidth(1));
    EXPECT_EQ(keyWidth, host.ColumnWidth(0));
}

TEST_F(ListViewTest, CellTextIsCutToTheCallersBuffer)
{
    const std::string hundred = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%"
                                "&()*+,-./:;<=>?@[]^_{|}~0123456789";
    ASSERT_EQ(100u, hundred.size());
    list.SetCell(4, 1, hundred.c_str());
    ASSERT_EQ(hundred, host.Cell(4, 1)) << "the control holds the whole text";

    char out[80];
    std::memset(out, '#', sizeof out);
    list.GetCellText(4, 1, out, sizeof out);
    EXPECT_EQ(hundred.substr(0, 79), std::string(out));

    struct {
        int row, column;
        const char* expected;
    } reads[] = {{0, 0, "FW Model Name"}, {6, 0, "Flash Writing"}, {2, 1, ""}};
    for (const auto& r : reads) {
        list.GetCellText(r.row, r.column, out, sizeof out);
        EXPECT_EQ(r.expected, std::string(out)) << "row " << r.row << " column " << r.column;
    }
}

TEST_F(ListViewTest, ProgressBarSitsInTheValueCellAtMost150Wide)
{
    struct {
        int columnWidth;
        int barWidth;
    } cases[] = {{400, 150}, {365, 150}, {151, 150}, {150, 150}, {90, 90}, {20, 20}};
    const int row = 6;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "value column " << c.columnWidth << " px");
        list.SetColumnWidth(1, c.columnWidth);
        panel().CreateProgressBar(row);
        HWND bar = Bar();
        ASSERT_NE(nullptr, bar);
        EXPECT_EQ(bar, host.ProgressBar());
        EXPECT_EQ(list.GetHandle(), GetParent(bar));

        RECT rect = ChildRect(bar);
        RECT bounds = RowBounds(row);
        EXPECT_EQ(bounds.left + host.ColumnWidth(0), rect.left) << "the value cell's left edge";
        EXPECT_EQ(c.barWidth, rect.right - rect.left);
        EXPECT_EQ(bounds.top, rect.top);
        EXPECT_EQ(bounds.bottom, rect.bottom);

        char className[32] = "";
        GetClassNameA(bar, className, sizeof className);
        EXPECT_STREQ(PROGRESS_CLASSA, className);
        LONG style = GetWindowLongA(bar, GWL_STYLE);
        EXPECT_EQ(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, style & (WS_CHILD | WS_VISIBLE | PBS_SMOOTH));
        EXPECT_EQ(0, style & (WS_BORDER | PBS_VERTICAL | PBS_MARQUEE));
        EXPECT_EQ(0, GetDlgCtrlID(bar));
        EXPECT_EQ(0, GetWindowTextLengthA(bar));

        PBRANGE range = {};
        SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(0, range.iLow);
        EXPECT_EQ(100, range.iHigh);
        EXPECT_EQ(RGB(255, 255, 255),
                  static_cast<COLORREF>(SendMessageA(bar, kGetBarBackground, 0, 0)));
        EXPECT_EQ(0, SendMessageA(bar, PBM_GETPOS, 0, 0));

        panel().SetProgress(61);
        EXPECT_EQ(61, SendMessageA(bar, PBM_GETPOS, 0, 0));
        panel().SetProgress(110);
        EXPECT_EQ(100, SendMessageA(bar, PBM_GETPOS, 0, 0)) << "the bar keeps to its range";

        panel().DestroyProgressBar();
        EXPECT_FALSE(IsWindow(bar));
        EXPECT_EQ(nullptr, Bar());
    }
}

TEST_F(ListViewTest, ProgressWithoutABarDoesNothing)
{
    ASSERT_EQ(nullptr, Bar());
    panel().SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());

    panel().CreateProgressBar(6);
    panel().DestroyProgressBar();
    panel().SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());
    EXPECT_EQ(nullptr, Bar());
    panel().DestroyProgressBar(); // a second removal finds nothing to remove
    EXPECT_EQ(nullptr, Bar());

    // Outside the report view the list has no cell rectangles to give: no bar.
    HWND handle = list.GetHandle();
    LONG style = GetWindowLongA(handle, GWL_STYLE);
    SetWindowLongA(handle, GWL_STYLE, (style & ~LVS_TYPEMASK) | LVS_LIST);
    panel().CreateProgressBar(6);
    EXPECT_EQ(nullptr, Bar());
    EXPECT_EQ(nullptr, host.ProgressBar());
    panel().SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());
    SetWindowLongA(handle, GWL_STYLE, style);
}

} // namespace

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
#include "host/Downloader.h"
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
        downloader.reset(new Downloader(host.kdll.Module(), host.host));
        downloader->hostParams = host.Params(0x0100);
        downloader->OpenDialog();
        ASSERT_NE(nullptr, downloader->panel.dialog);
        list = downloader->panel.infoList;
        ASSERT_NE(nullptr, list);
    }
    void TearDown() override
    {
        downloader.reset();
        sim.ReleaseHeld();
    }

    LPARAM ItemData(int row) const
    {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageA(list->GetHandle(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.lParam;
    }

    RECT ChildRect(HWND child) const
    {
        RECT rect = {};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, list->GetHandle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    RECT RowBounds(int row) const
    {
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        SendMessageA(list->GetHandle(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    SimLink sim;
    PanelHost host;
    SystemCallRecorder recorder{GetModuleHandleA(nullptr)};
    std::unique_ptr<Downloader> downloader;
    ListViewControl* list = nullptr;
};

TEST_F(ListViewTest, WrappersAttachToThePanelsControls)
{
    EXPECT_EQ(host.Item(1006), list->GetHandle());
    EXPECT_EQ(downloader->panel.dialog, list->parent);
    EXPECT_EQ(2, list->columnCount) << "the two headers of the panel";
    EXPECT_EQ(7, list->rowCount) << "the seven rows of the panel";

    ListViewControl attached(downloader->panel.dialog, 1006);
    EXPECT_EQ(host.Item(1006), attached.GetHandle());
    EXPECT_EQ(0, attached.columnCount) << "a wrapper counts only what it added itself";
    EXPECT_EQ(0, attached.rowCount);

    ASSERT_NE(nullptr, downloader->panel.statusText);
    EXPECT_EQ(host.Item(1001), downloader->panel.statusText->GetHandle());
    EXPECT_EQ(downloader->panel.dialog, downloader->panel.statusText->parent);
    char text[32] = "Transfer F/W Code...";
    downloader->panel.statusText->SetText(text);
    text[0] = '\0'; // the control keeps its own copy
    EXPECT_EQ("Transfer F/W Code...", host.Text(1001));
}

TEST_F(ListViewTest, RowBeyondTheLastIsAppendedAsTheNext)
{
    LRESULT answer = list->SetCell(9, 0, "Extra", -1);
    EXPECT_EQ(7, answer) << "the control's answer: the index of the new row";
    EXPECT_EQ(8, list->rowCount);
    ASSERT_EQ(8, host.RowCount());
    EXPECT_EQ("Extra", host.Cell(7, 0));
    EXPECT_EQ(700, ItemData(7)) << "item data 100 x row + column";
    EXPECT_EQ(300, ItemData(3)) << "the panel's own row 3";
    EXPECT_EQ("Flash Writing", host.Cell(6, 0)) << "row 6 untouched";

    // With an image the appended row shows it; an append in column 1 is refused by the
    // control (a row starts in column 0) and still counted.
    list->SetCell(20, 0, "Passed", 1);
    EXPECT_EQ(1, host.RowImage(8));
    EXPECT_EQ(9, list->rowCount);
    EXPECT_EQ(-1, list->SetCell(30, 1, "value first", -1));
    EXPECT_EQ(10, list->rowCount) << "a refused row is counted all the same";
    EXPECT_EQ(9, host.RowCount());
}

TEST_F(ListViewTest, AppendedRowsScrollIntoView)
{
    for (int i = 0; i < 30; ++i)
        list->SetCell(list->rowCount, 0, ("Row " + std::to_string(7 + i)).c_str(), -1);
    HWND handle = list->GetHandle();
    int top = static_cast<int>(SendMessageA(handle, LVM_GETTOPINDEX, 0, 0));
    int perPage = static_cast<int>(SendMessageA(handle, LVM_GETCOUNTPERPAGE, 0, 0));
    ASSERT_LT(perPage, 37) << "the list must be too short for all rows";
    EXPECT_GE(top + perPage, 37) << "the newest row (36) is not in view; top row " << top;
}

TEST_F(ListViewTest, CellsTakeTextAndStateAsAsked)
{
    struct {
        const char* name;
        int row, column;
        const char* text;
        int image;
        int readRow, readColumn;
        int rowImage; // expected image of readRow afterwards
    } steps[] = {
        {"column -5 is column 0", 3, -5, "Drive Model", -1, 3, 0, 0},
        {"image 1 on row 2", 2, 0, "Check Sum", 1, 2, 0, 1},
        {"a value with image -1 keeps the icon", 2, 1, "1A2B", -1, 2, 1, 1},
        {"the key with image -1 keeps the icon", 2, 0, "Check Sum", -1, 2, 0, 1},
        {"image 3, in progress", 5, 0, "F/W Transfer", 3, 5, 0, 3},
        {"image 2, failed", 5, 0, "F/W Transfer", 2, 5, 0, 2},
        {"a negative image other than -1 keeps it too", 5, 0, "F/W Transfer", -7, 5, 0, 2},
        {"back to idle", 5, 0, "F/W Transfer", 0, 5, 0, 0},
        {"value of the last row", 6, 1, "Done", -1, 6, 1, 0},
    };
    for (const auto& s : steps) {
        list->SetCell(s.row, s.column, s.text, s.image);
        EXPECT_EQ(s.text, host.Cell(s.readRow, s.readColumn)) << s.name;
        EXPECT_EQ(s.rowImage, host.RowImage(s.readRow)) << s.name;
        EXPECT_EQ(7, list->rowCount) << s.name;
        EXPECT_EQ(7, host.RowCount()) << s.name;
    }
    EXPECT_EQ("Drive Protocol", host.Cell(4, 0)) << "row 4 untouched";
    EXPECT_EQ("", host.Cell(3, 1)) << "column 1 of row 3 untouched";
}

TEST_F(ListViewTest, HeadersAreReplacedOrAppended)
{
    list->SetCell(-1, 7, "Note", -1);
    EXPECT_EQ(3, list->columnCount);
    ASSERT_EQ(3, host.HeaderCount());
    EXPECT_EQ("Key", host.Header(0));
    EXPECT_EQ("Value", host.Header(1));
    EXPECT_EQ("Note", host.Header(2)) << "column 7 asked, column 2 appended";
    EXPECT_EQ(115, host.ColumnWidth(0)) << "widths are not touched";
    EXPECT_EQ(365, host.ColumnWidth(1));

    list->SetCell(-1, 1, "Result", -1);
    EXPECT_EQ(3, list->columnCount);
    EXPECT_EQ(3, host.HeaderCount());
    EXPECT_EQ("Result", host.Header(1));
    EXPECT_EQ("Key", host.Header(0));

    list->SetColumnWidth(1, 200);
    EXPECT_EQ(200, host.ColumnWidth(1));
    EXPECT_EQ(115, host.ColumnWidth(0));
}

TEST_F(ListViewTest, CellTextIsReadIntoOneSharedBufferOf80Bytes)
{
    const std::string hundred = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%"
                                "&()*+,-./:;<=>?@[]^_{|}~0123456789";
    ASSERT_EQ(100u, hundred.size());
    list->SetCell(4, 1, hundred.c_str(), -1);
    ASSERT_EQ(hundred, host.Cell(4, 1)) << "the control holds the whole text";

    char out[80];
    std::memset(out, '#', sizeof out);
    const char* shared = list->GetCellText(4, 1, out);
    EXPECT_EQ(hundred.substr(0, 79), shared);
    EXPECT_EQ(hundred.substr(0, 79), std::string(out));

    struct {
        int row, column;
        const char* expected;
    } reads[] = {
        {0, 0, "FW Model Name"}, {6, 0, "Flash Writing"}, {2, 1, ""},
        {-1, 0, "Key"},          {-1, 1, "Value"},        {-1, 5, ""},
    };
    for (const auto& r : reads) {
        const char* text = list->GetCellText(r.row, r.column, nullptr);
        EXPECT_EQ(r.expected, std::string(text)) << "row " << r.row << " column " << r.column;
        EXPECT_EQ(shared, text) << "row " << r.row << " column " << r.column;
    }

    // Every list reads into the same buffer: the last read wins.
    ListViewControl other(downloader->panel.dialog, 1006);
    const char* first = list->GetCellText(1, 0, nullptr);
    const char* second = other.GetCellText(3, 0, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ("Drive Model Name", std::string(first));
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
        list->SetColumnWidth(1, c.columnWidth);
        downloader->panel.CreateProgressBar(row);
        HWND bar = downloader->panel.progressBar;
        ASSERT_NE(nullptr, bar);
        EXPECT_EQ(bar, host.ProgressBar());
        EXPECT_EQ(list->GetHandle(), GetParent(bar));

        RECT rect = ChildRect(bar);
        RECT bounds = RowBounds(row);
        EXPECT_EQ(bounds.left + 115, rect.left) << "the value cell's left edge";
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

        downloader->panel.SetProgress(61);
        EXPECT_EQ(61, SendMessageA(bar, PBM_GETPOS, 0, 0));
        downloader->panel.SetProgress(110);
        EXPECT_EQ(100, SendMessageA(bar, PBM_GETPOS, 0, 0)) << "the bar keeps to its range";

        downloader->panel.DestroyProgressBar();
        EXPECT_FALSE(IsWindow(bar));
        EXPECT_EQ(nullptr, downloader->panel.progressBar);
    }
}

TEST_F(ListViewTest, ProgressWithoutABarDoesNothing)
{
    ASSERT_EQ(nullptr, downloader->panel.progressBar);
    downloader->panel.SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());

    downloader->panel.CreateProgressBar(6);
    downloader->panel.DestroyProgressBar();
    downloader->panel.SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());
    EXPECT_EQ(nullptr, downloader->panel.progressBar);
    downloader->panel.DestroyProgressBar(); // a second removal finds nothing to remove
    EXPECT_EQ(nullptr, downloader->panel.progressBar);

    // Outside the report view the list has no cell rectangles to give: no bar.
    HWND handle = list->GetHandle();
    LONG style = GetWindowLongA(handle, GWL_STYLE);
    SetWindowLongA(handle, GWL_STYLE, (style & ~LVS_TYPEMASK) | LVS_LIST);
    downloader->panel.CreateProgressBar(6);
    EXPECT_EQ(nullptr, downloader->panel.progressBar);
    EXPECT_EQ(nullptr, host.ProgressBar());
    downloader->panel.SetProgress(50);
    EXPECT_EQ(nullptr, host.ProgressBar());
    SetWindowLongA(handle, GWL_STYLE, style);
}

} // namespace

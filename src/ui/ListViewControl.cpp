// The information list's wrapper: one message to the control per operation, each change traced.
#include "ui/ListViewControl.h"

#include <commctrl.h>

#include <cstring>

#include "trace/Trace.h"

namespace {

char cellText[ListViewControl::kCellTextSize];

// Far more than the list can ever be tall: scrolls the newest row into view.
const int kScrollToEnd = 32230;

// The row states of the panel's list, by image.
const char* const kRowStateNames[4] = {"idle", "passed", "failed", "in progress"};

// A row's key text with its new state, or a value text, as the user sees them change.
void TraceCell(int row, int column, const char* text, int image)
{
    if (!Trace::IsOn())
        return;
    if (image >= 0)
        Trace::Line("row %d '%s' %s", row, text,
                    image < 4 ? kRowStateNames[image] : "with another image");
    else
        Trace::Line("row %d %s '%s'", row, column > 0 ? "value" : "key", text);
}

} // namespace

ListViewControl::ListViewControl(HWND parentWindow, int controlId)
    : parent(parentWindow), handle(GetDlgItem(parentWindow, controlId)), columnCount(0), rowCount(0)
{
}

void ListViewControl::SetColumnWidth(int column, int width)
{
    SendMessageA(handle, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
}

LRESULT ListViewControl::SetCell(int row, int column, const char* text, int image)
{
    char* itemText = const_cast<char*>(text); // the control only reads it
    if (row == -1) {
        LVCOLUMNA header = {};
        header.mask = LVCF_TEXT;
        header.pszText = itemText;
        if (column < columnCount)
            return SendMessageA(handle, LVM_SETCOLUMNA, column, reinterpret_cast<LPARAM>(&header));
        LRESULT answer =
            SendMessageA(handle, LVM_INSERTCOLUMNA, columnCount, reinterpret_cast<LPARAM>(&header));
        ++columnCount;
        return answer;
    }

    TraceCell(row, column, text, image);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row < rowCount ? row : rowCount;
    item.iSubItem = column > 0 ? column : 0;
    item.pszText = itemText;
    if (image >= 0) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    }
    if (row < rowCount)
        return SendMessageA(handle, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));

    item.mask |= LVIF_PARAM;
    item.lParam = 100 * item.iItem + item.iSubItem;
    LRESULT answer = SendMessageA(handle, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    if (answer != -1)
        SendMessageA(handle, LVM_SCROLL, 0, kScrollToEnd);
    ++rowCount; // counted even when the control refused the row
    return answer;
}

const char* ListViewControl::GetCellText(int row, int column, char* out)
{
    if (row == -1) {
        LVCOLUMNA header = {};
        header.mask = LVCF_TEXT;
        header.pszText = cellText;
        header.cchTextMax = sizeof cellText;
        if (!SendMessageA(handle, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&header)))
            cellText[0] = '\0';
    } else {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = cellText;
        item.cchTextMax = sizeof cellText;
        SendMessageA(handle, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
    cellText[sizeof cellText - 1] = '\0';
    if (out != nullptr)
        std::memcpy(out, cellText, std::strlen(cellText) + 1);
    return cellText;
}

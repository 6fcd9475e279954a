// Wrapper of a report-view list view: each method one typed message to the control.
#pragma once

#include <windows.h>
#include <commctrl.h>

class ListViewControl {
public:
    // The longest cell text the panel keeps, its NUL included.
    enum { kCellTextSize = 80 };

    ListViewControl() : window(nullptr) {}
    ListViewControl(HWND parentWindow, int controlId) : window(GetDlgItem(parentWindow, controlId))
    {
    }

    HWND GetHandle() const { return window; }

    // LVM_INSERTCOLUMN: a column with its header text; its index, -1 when refused.
    int InsertColumn(int column, const char* text);
    // LVM_SETCOLUMNWIDTH, in pixels.
    bool SetColumnWidth(int column, int width)
    {
        return SendMessageA(window, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
    }
    // LVM_INSERTITEM: a row with the text of its first column and an image of the small
    // image list; its index, -1 when refused.
    int InsertItem(int row, const char* text, int image);
    // LVM_SETITEMTEXT: the text of one cell.
    bool SetCell(int row, int column, const char* text);
    // LVM_SETITEM with the image alone: the row's icon.
    bool SetItemImage(int row, int image);
    // LVM_GETITEMTEXT: the cell's text into text, cut to size - 1 characters and a NUL.
    int GetCellText(int row, int column, char* text, int size) const;
    // LVM_GETSUBITEMRECT: the rectangle of a cell's label, in the list's client area.
    bool GetSubItemRect(int row, int column, RECT* rect) const;
    // LVM_SETIMAGELIST for the small icons; the list owns it from then on.
    void SetSmallImageList(HIMAGELIST images)
    {
        SendMessageA(window, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    }
    // LVM_GETSTRINGWIDTH: the text's width in the list's font, without the cell's margins.
    int GetStringWidth(const char* text) const
    {
        return static_cast<int>(
            SendMessageA(window, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    }
    // LVM_SCROLL, in pixels.
    bool Scroll(int dx, int dy) { return SendMessageA(window, LVM_SCROLL, dx, dy) != 0; }

private:
    HWND window;
};

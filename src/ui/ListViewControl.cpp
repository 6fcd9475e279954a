// The list view wrapper's messages that take a structure.
#include "ui/ListViewControl.h"

int ListViewControl::InsertColumn(int column, const char* text)
{
    LVCOLUMNA header = {};
    header.mask = LVCF_TEXT;
    header.pszText = const_cast<char*>(text); // the control only reads it
    return static_cast<int>(
        SendMessageA(window, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header)));
}

int ListViewControl::InsertItem(int row, const char* text, int image)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = const_cast<char*>(text);
    item.iImage = image;
    return static_cast<int>(
        SendMessageA(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListViewControl::SetCell(int row, int column, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    return SendMessageA(window, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool ListViewControl::SetItemImage(int row, int image)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image;
    return SendMessageA(window, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

int ListViewControl::GetCellText(int row, int column, char* text, int size) const
{
    if (size <= 0)
        return 0;
    text[0] = '\0';
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = size;
    int length = static_cast<int>(
        SendMessageA(window, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
    text[size - 1] = '\0';
    return length;
}

bool ListViewControl::GetSubItemRect(int row, int column, RECT* rect) const
{
    rect->top = column;
    rect->left = LVIR_LABEL;
    return SendMessageA(window, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(rect)) != 0;
}

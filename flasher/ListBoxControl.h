// A list box of a dialog: each method one typed message.
#pragma once

#include <windows.h>

class ListBoxControl {
public:
    explicit ListBoxControl(HWND window) : window(window) {}

    int AddString(const char* text)
    {
        return static_cast<int>(
            SendMessageA(window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int SetCurSel(int index)
    {
        return static_cast<int>(SendMessageA(window, LB_SETCURSEL, index, 0));
    }
    int GetCurSel() const { return static_cast<int>(SendMessageA(window, LB_GETCURSEL, 0, 0)); }
    int GetCount() const { return static_cast<int>(SendMessageA(window, LB_GETCOUNT, 0, 0)); }
    // text: room for the item's text and its NUL (LB_GETTEXTLEN says how much).
    int GetText(int index, char* text) const
    {
        return static_cast<int>(
            SendMessageA(window, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text)));
    }

private:
    HWND window;
};

// Wrapper of the panel's status text (a static control).
#pragma once

#include <windows.h>

class StaticTextControl {
public:
    StaticTextControl() : window(nullptr) {}
    StaticTextControl(HWND parentWindow, int controlId)
        : window(GetDlgItem(parentWindow, controlId))
    {
    }

    HWND GetHandle() const { return window; }
    // WM_SETTEXT; the control copies the text, so a temporary will do.
    bool SetText(const char* text)
    {
        return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
    }

private:
    HWND window;
};

// Wrapper of the panel's status text (a static control).
#pragma once

#include <windows.h>

class StaticTextControl {
public:
    StaticTextControl(HWND parentWindow, int controlId);

    // The control copies the text: a temporary will do.
    void SetText(const char* text);
    HWND GetHandle() const { return handle; }

    HWND parent;
    HWND handle;
};

// A host for the panel tests: a top-level host window and a caption window, kdll.dll
// loaded and driven through its exports, and ways to pump messages with a bound and to
// read the panel's controls back the way a user sees them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "KdllLink.h"

class PanelHost {
public:
    PanelHost();
    ~PanelHost();
    PanelHost(const PanelHost&) = delete;
    PanelHost& operator=(const PanelHost&) = delete;

    // A parameter block for this host: the panel at 10,20 of 600 x 260 pixels.
    KdllParams Params(DWORD driveAddress) const;
    int Create(DWORD driveAddress = 0);
    int Open(DWORD driveAddress = 0);

    // The panel: the dialog window that the library created inside the host window.
    HWND Dialog() const;
    HWND Item(int id) const;
    std::string Text(int id) const;
    std::string WindowText(HWND window) const;
    bool IsEnabled(int id) const;
    // The information list as the user reads it.
    std::string Cell(int row, int column) const;
    int RowImage(int row) const;
    int RowCount() const;

    // Sends what a click sends to the panel.
    void Click(int id) const;
    // Types a text into the file-name box (the box raises EN_CHANGE).
    void SetFileName(const char* text) const;

    // Processes this thread's messages for ms milliseconds.
    static void Pump(DWORD ms);
    // Processes messages until done() holds or timeoutMs passes; true when it held.
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

    KdllLink kdll;
    HWND host;
    HWND caption;
};

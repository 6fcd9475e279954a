// A host for the panel tests: a top-level host window (which refuses WM_CLOSE while it is
// disabled) and a caption window, kdll.dll loaded and driven through its exports, and
// ways to pump messages with a bound and to read the panel's controls back the way a user
// sees them. It has a fresh folder of its own for the firmware files of a test, which it
// can make the current directory.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
    // The panel's rectangle in the host window's client area: left, top, width, height.
    RECT Placement() const;

    // The information list as the user reads it.
    std::string Cell(int row, int column) const;
    int RowImage(int row) const;
    int RowCount() const;
    std::string Header(int column) const;
    int HeaderCount() const;
    int ColumnWidth(int column) const;
    // A row's key as the list draws it: its text's width, and the room its label has.
    int KeyTextWidth(int row) const;
    int KeyLabelWidth(int row) const;
    // Every cell text and row image, for comparing the list before and after.
    std::string ListSnapshot() const;

    // The bitmap resource of kdll.dll that the state picture shows (103, 104, 106 or
    // 108), 0 when it shows none of them.
    int StatePicture() const;
    HBITMAP StatePictureHandle() const;
    // The progress bar inside the information list, null when there is none.
    HWND ProgressBar() const;

    // Sends what a click sends to the panel.
    void Click(int id) const;
    // Replaces the text of the file-name box (the box raises EN_CHANGE).
    void SetFileName(const char* text) const;
    // What the keyboard does in the box: clearing it, typing one character.
    void ClearFileName() const;
    void TypeIntoFileName(char c) const;

    // Makes the host's folder the current directory until the host ends, so that the
    // panel opens with an empty file-name box.
    void EnterFolder();
    // Writes a firmware file for the RVX-4417K into the host's folder; its full path.
    std::string WriteFirmwareFile(const char* name) const;

    // Processes this thread's messages for ms milliseconds.
    static void Pump(DWORD ms);
    // Processes messages until done() holds or timeoutMs passes; true when it held.
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

    // Which resource bitmap of module a bitmap shows, by its pixels: one of the state
    // pictures' ids, or 0.
    static int IdentifyPicture(HMODULE module, HBITMAP bitmap);
    // What the process holds: GDI objects, kernel handles, windows of this thread.
    static int GdiObjectCount();
    static int KernelHandleCount();
    static int WindowCount();

    KdllLink kdll;
    HWND host;
    HWND caption;
    std::string folder;

private:
    std::string previousFolder;
};

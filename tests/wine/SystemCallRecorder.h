// Recording stand-ins for the Windows calls that would show a modal box, end the Wine
// session or open the file chooser. They replace the entries of a module's import table
// (normally the loaded kdll.dll) for as long as the recorder lives; the library itself
// calls the real functions.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ImportPatch.h"

struct RecordedCall {
    std::string function; // "MessageBoxA", "ExitWindowsEx", "AdjustTokenPrivileges", ...
    HWND owner;           // MessageBoxA, GetOpenFileNameA
    std::string text;     // MessageBoxA text
    std::string caption;  // MessageBoxA caption
    UINT type;            // MessageBoxA type, ExitWindowsEx flags
    OPENFILENAMEA choice; // GetOpenFileNameA, as passed
    std::string filter;   // GetOpenFileNameA filter, its NULs as '|'
    std::string defaultExtension;
};

class SystemCallRecorder {
public:
    explicit SystemCallRecorder(HMODULE module);
    ~SystemCallRecorder();
    SystemCallRecorder(const SystemCallRecorder&) = delete;
    SystemCallRecorder& operator=(const SystemCallRecorder&) = delete;

    // 1 when every import that the module has among the stand-ins' functions is patched.
    int IsActive() const;
    std::vector<RecordedCall> Calls(const char* function) const;
    // The functions called, in order.
    std::vector<std::string> Order() const;

    // What the stand-ins answer.
    int messageBoxAnswer = IDOK;
    // What the host does while a message box is up: a message it handles inside the
    // box's own loop.
    std::function<void()> duringMessageBox;
    // GetOpenFileNameA: the path the user chooses, or empty for a cancel.
    std::string chosenPath;

    std::vector<RecordedCall> calls;

private:
    std::vector<std::unique_ptr<ImportPatch>> patches;
};

// What the download procedure shows and asks on the panel it runs under: a row's state and
// value, the status text, the progress bar, the file-name box and the warning box. The
// library's panel implements it, and so do whoever else runs the procedure (the native
// tests' recorder). Free of <windows.h>.
#pragma once

#include "download/InfoRow.h"

class DownloadPanel {
public:
    virtual void SetRowState(InfoRow row, RowState state) = 0;
    virtual void SetRowValue(InfoRow row, const char* text) = 0;
    virtual void SetStatus(const char* text) = 0;
    // The bar over the row's value cell, which shows time, not data.
    virtual void ShowProgressBar(InfoRow row) = 0;
    virtual void RemoveProgressBar() = 0;
    // The path in the file-name box, whole, as the panel holds it; valid until the panel's
    // next call.
    virtual const char* FileName() = 0;
    // Shows the warning box; what it was answered, 0 when it could not be shown.
    virtual int Warn(const char* text, const char* caption) = 0;

protected:
    ~DownloadPanel() = default;
};

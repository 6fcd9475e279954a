// Wrapper of the panel's information list (a report-view list view). Each operation is
// one message to the control; the wrapper counts the rows and columns it added itself.
#pragma once

#include <windows.h>

class ListViewControl {
public:
    enum { kCellTextSize = 80 };

    ListViewControl(HWND parentWindow, int controlId);

    HWND GetHandle() const { return handle; }
    void SetColumnWidth(int column, int width);
    // Row -1 addresses the column headers. A row or header beyond the last is appended
    // as the next one, whatever index was asked for; a negative column means column 0;
    // an image of -1 leaves the cell's icon as it is. Returns the control's answer.
    LRESULT SetCell(int row, int column, const char* text, int image);
    // The cell's text, at most 79 characters, in the one buffer shared by every list; it
    // stays valid until the next call. Also copied to out (80 bytes) when given.
    const char* GetCellText(int row, int column, char* out);

    HWND parent;
    HWND handle;
    int columnCount;
    int rowCount;
};

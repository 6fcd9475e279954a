// What the download procedure shows and asks on the panel it runs under: a row's state and
// value, the status text, the progress bar, the file-name box, the warning box and the
// restart that follows a failed transfer. Whoever runs the procedure fills in the
// functions: the Downloader with its panel's, the native tests with recorders of their
// own. Free of <windows.h>.
#pragma once

class DownloadPanel {
public:
    struct Functions {
        void (*setRowState)(void* owner, int row, int state);
        void (*setRowValue)(void* owner, int row, const char* text);
        void (*setStatus)(void* owner, const char* text);
        void (*showProgressBar)(void* owner, int row);
        void (*removeProgressBar)(void* owner);
        // The path in the file-name box: at most size - 1 characters and a NUL.
        void (*getFileName)(void* owner, char* path, int size);
        // Shows the warning box; what it was answered, 0 when it could not be shown.
        int (*warn)(void* owner, const char* text, const char* caption);
        // Asks Windows to restart.
        void (*restart)(void* owner);
    };

    DownloadPanel(void* panelOwner, const Functions& panelFunctions)
        : owner(panelOwner), functions(&panelFunctions)
    {
    }

    // state is a RowState, row an InfoRow (download/InfoRow.h).
    void SetRowState(int row, int state) const { functions->setRowState(owner, row, state); }
    void SetRowValue(int row, const char* text) const { functions->setRowValue(owner, row, text); }
    void SetStatus(const char* text) const { functions->setStatus(owner, text); }
    void ShowProgressBar(int row) const { functions->showProgressBar(owner, row); }
    void RemoveProgressBar() const { functions->removeProgressBar(owner); }
    void GetFileName(char* path, int size) const { functions->getFileName(owner, path, size); }
    int Warn(const char* text, const char* caption) const
    {
        return functions->warn(owner, text, caption);
    }
    void Restart() const { functions->restart(owner); }

private:
    void* owner;
    const Functions* functions;
};

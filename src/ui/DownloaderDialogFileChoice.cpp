// The panel's file-name box: what fills it (the one firmware file of the current
// directory, the open-file dialog), what it holds, and the "&Download" button that
// follows it.
#include <windows.h>
#include <commdlg.h>
#include <io.h>

#include <cstring>

#include "base/ProductInfo.h"
#include "ui/DownloaderDialog.h"
#include "ui/resources/resource.h"

void DownloaderDialog::ChooseFirmwareFile()
{
    char fileName[KDLL_PATH_SIZE] = "";
    OPENFILENAMEA choice;
    std::memset(&choice, 0, sizeof choice);
    // The size of the original structure: Windows 9x and NT 4 refuse the larger one.
    choice.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = "Firmware file (*.ZQX)\0*.ZQX\0";
    choice.lpstrFile = fileName;
    choice.nMaxFile = KDLL_PATH_SIZE;
    choice.Flags = OFN_FILEMUSTEXIST;
    choice.lpstrDefExt = "ZQX";
    if (!GetOpenFileNameA(&choice))
        return;
    // Raises EN_CHANGE, which enables "&Download".
    SetDlgItemTextA(dialog, IDC_FILE_NAME, fileName);
}

void DownloaderDialog::FindInitialFirmwareFile()
{
    char fileName[KDLL_PATH_SIZE] = "";
    int matches = 0;
    _finddata_t found;
    intptr_t search = _findfirst("*.zqx", &found);
    if (search != -1) {
        do {
            ++matches;
            std::strncpy(fileName, found.name, sizeof fileName - 1);
            fileName[sizeof fileName - 1] = '\0';
        } while (_findnext(search, &found) == 0);
        _findclose(search);
    }
    if (matches == 1)
        SetDlgItemTextA(dialog, IDC_FILE_NAME, fileName);
}

const char* DownloaderDialog::FileName()
{
    fileNameRead[0] = '\0';
    GetDlgItemTextA(dialog, IDC_FILE_NAME, fileNameRead, sizeof fileNameRead);
    return fileNameRead;
}

void DownloaderDialog::UpdateDownloadButton(HWND window)
{
    // EM_GETLINE takes the room in the buffer's first word and copies no NUL: a line that
    // fills the whole box still needs one behind it.
    char line[KDLL_PATH_SIZE + 1];
    *reinterpret_cast<WORD*>(line) = KDLL_PATH_SIZE;
    LRESULT length =
        SendDlgItemMessageA(window, IDC_FILE_NAME, EM_GETLINE, 0, reinterpret_cast<LPARAM>(line));
    line[length > 0 && length <= KDLL_PATH_SIZE ? length : 0] = '\0';
    EnableWindow(GetDlgItem(window, IDC_DOWNLOAD), line[0] != '\0');
}

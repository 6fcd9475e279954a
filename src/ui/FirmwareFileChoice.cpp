// The file-name box: what fills it (the one firmware file of the current directory, the
// open-file dialog), and the file it names being loaded.
#include <windows.h>
#include <commdlg.h>
#include <io.h>

#include <cstring>

#include "host/Downloader.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"
#include "ui/StaticTextControl.h"
#include "ui/resources/resource.h"

namespace {

const int kFileNameSize = 260; // the Windows path limit, NUL included

// What the file is, never its code.
void TraceFirmwareFile(const char* fileName, const FirmwareImage& firmware, int loaded,
                       const char* message)
{
    if (!Trace::IsOn())
        return;
    long size = TraceFile::SizeOf(fileName);
    if (!loaded) {
        Trace::Line("firmware '%s', %ld bytes: not loaded, %s", fileName, size,
                    message != nullptr ? message : "no file named");
        return;
    }
    const ProductDescriptor& file = firmware.fileDescriptor;
    Trace::Line("firmware '%s', %ld bytes: model '%s', revision '%s', %s, check sum %04X", fileName,
                size, file.modelName, file.revision,
                file.protocolType40 ? "protocol marker found" : "no protocol marker",
                static_cast<unsigned>(file.checkSum));
}

} // namespace

void Downloader::ChooseFirmwareFile()
{
    char fileName[kFileNameSize] = "";
    OPENFILENAMEA choice;
    std::memset(&choice, 0, sizeof choice);
    // The size of the original structure: Windows 9x and NT 4 refuse the larger one.
    choice.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = "Firmware file (*.ZQX)\0*.ZQX\0";
    choice.lpstrFile = fileName;
    choice.nMaxFile = kFileNameSize;
    choice.Flags = OFN_FILEMUSTEXIST;
    choice.lpstrDefExt = "ZQX";
    if (!GetOpenFileNameA(&choice))
        return;
    // Raises EN_CHANGE, which enables "&Download".
    SetDlgItemTextA(dialog, IDC_FILE_NAME, fileName);
}

void Downloader::FindInitialFirmwareFile()
{
    char fileName[kFileNameSize] = "";
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

int Downloader::LoadFirmwareFile()
{
    char fileName[kFileNameSize] = "";
    GetDlgItemTextA(dialog, IDC_FILE_NAME, fileName, sizeof fileName);
    const char* message = nullptr;
    int loaded = firmware.LoadFirmwareFile(fileName, &message);
    TraceFirmwareFile(fileName, firmware, loaded, message);
    if (message != nullptr && statusText != nullptr)
        statusText->SetText(message);
    return loaded;
}

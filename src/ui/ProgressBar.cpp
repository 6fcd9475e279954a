// The progress bar that sits over a value cell of the information list while the
// firmware is written. It is placed once and does not follow the list.
#include <windows.h>
#include <commctrl.h>

#include "host/Downloader.h"
#include "ui/ListViewControl.h"

namespace {

const int kMaxBarWidth = 150;

} // namespace

void Downloader::CreateProgressBar(int row)
{
    if (infoList == nullptr)
        return;
    RECT cell = {};
    cell.top = 1; // subitem 1, the value cell
    cell.left = LVIR_LABEL;
    if (!SendMessageA(infoList->GetHandle(), LVM_GETSUBITEMRECT, row,
                      reinterpret_cast<LPARAM>(&cell)))
        return;
    int width = cell.right - cell.left;
    if (width > kMaxBarWidth)
        width = kMaxBarWidth;
    progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                  cell.left, cell.top, width, cell.bottom - cell.top,
                                  infoList->GetHandle(), nullptr, instance, nullptr);
    if (progressBar == nullptr)
        return;
    SendMessageA(progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(progressBar, PBM_SETBKCOLOR, 0, RGB(255, 255, 255));
}

void Downloader::SetProgress(int position)
{
    if (progressBar != nullptr)
        SendMessageA(progressBar, PBM_SETPOS, position, 0);
}

void Downloader::DestroyProgressBar()
{
    if (progressBar != nullptr)
        DestroyWindow(progressBar);
    progressBar = nullptr;
}

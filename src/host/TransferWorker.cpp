// The transfer worker: the thread that sends the firmware while the panel's thread keeps
// the panel alive, and hands the result back through InstanceLifetime.
#include <windows.h>

#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "trace/Trace.h"

DWORD WINAPI TransferWorker(LPVOID)
{
    // The instance as the dialog procedure reaches it: a Destroy meanwhile leaves it in
    // place until this thread has let go of it.
    instanceLifetime.Instance()->RunTransfer();
    return 1;
}

void Downloader::RunTransfer()
{
    HWND window = disabledWindow;
    EnableWindow(window, FALSE);
    LONG result = Procedure().Transfer(verifyTransfer);
    if (result == DownloadProcedure::kTransferUnverified) {
        Sleep(DownloadProcedure::kUnverifiedFlashMs);
        result = 1;
    }
    Trace::Line("transfer: result %ld, payload sum %04X", static_cast<long>(result),
                static_cast<unsigned>(firmware.transferCheckSum));
    instanceLifetime.EndTransfer(this, result, window);
}

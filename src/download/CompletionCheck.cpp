// After the transfer worker has stored its result: the report, and the check that the
// drive answers with its new firmware, or the request to restart after a failure.
#include <windows.h>

#include "cmdtext/FormatCommand.h"
#include "host/Downloader.h"
#include "trace/Trace.h"
#include "ui/ListViewControl.h"
#include "ui/StaticTextControl.h"

int Downloader::CompleteDownload()
{
    DestroyProgressBar();
    Trace::Line("completion: transfer state %ld", static_cast<long>(transferState));
    if (transferState == kTransferRunning)
        return 0;
    if (!verifyTransfer)
        RequestExitWindows(EWX_REBOOT, "restart");

    if (transferState == 0) {
        SetRowState(6, kRowFailed);
        statusText->SetText("Fail to Download, Restart Now!");
        int answer = MessageBoxA(dialog, "You should better to restart right now and try again !",
                                 "Warning", MB_OK | MB_ICONHAND);
        Trace::Line("warning box: answered %d", answer);
        RequestExitWindows(EWX_REBOOT, "restart");
        return 0;
    }

    infoList->SetCell(6, 1, "Done", -1);
    SetRowState(6, kRowPassed);
    statusText->SetText("Download has done successfully!");
    // Loading the medium is the whole test of the new firmware: it must answer.
    FormatCommand(*device, "1b 0 0 0 3");
    if (device->ExecuteCommand() != 1) {
        statusText->SetText("New F/W is something wrong. no response to Inquiry !");
        return 0;
    }
    FormatCommand(*device, "00");
    device->ExecuteCommand();
    FormatCommand(*device, "00");
    device->ExecuteCommand();
    return 1;
}

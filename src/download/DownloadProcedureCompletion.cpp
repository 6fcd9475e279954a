// After the worker has stored its result: the report, and the check that the drive
// answers with its new firmware, or the restart after a failure.
#include "cmdtext/FormatCommand.h"
#include "download/DownloadProcedure.h"
#include "download/InfoRow.h"
#include "trace/Trace.h"

int DownloadProcedure::CompleteDownload(const DownloadPanel& panel, int32_t transferState,
                                        int verifyTransfer)
{
    panel.RemoveProgressBar();
    Trace::Line("completion: transfer state %ld", static_cast<long>(transferState));
    if (transferState == kTransferRunning)
        return 0;
    if (!verifyTransfer)
        panel.Restart();

    if (transferState == 0) {
        panel.SetRowState(kRowFlashWriting, kRowFailed);
        panel.SetStatus("Fail to Download, Restart Now!");
        int answer =
            panel.Warn("You should better to restart right now and try again !", "Warning");
        Trace::Line("warning box: answered %d", answer);
        panel.Restart();
        return 0;
    }

    panel.SetRowValue(kRowFlashWriting, "Done");
    panel.SetRowState(kRowFlashWriting, kRowPassed);
    panel.SetStatus("Download has done successfully!");
    // Loading the medium is the whole test of the new firmware: it must answer.
    FormatCommand(*device, "1b 0 0 0 3");
    if (device->ExecuteCommand() != 1) {
        panel.SetStatus("New F/W is something wrong. no response to Inquiry !");
        return 0;
    }
    FormatCommand(*device, "00");
    device->ExecuteCommand();
    FormatCommand(*device, "00");
    device->ExecuteCommand();
    return 1;
}

// After the worker has stored its result: the report, and the check that the drive
// answers with its new firmware, or the restart after a failure.
#include "download/DownloadProcedure.h"
#include "download/DriveCommands.h"
#include "download/InfoRow.h"
#include "trace/Trace.h"

bool DownloadProcedure::CompleteDownload(DownloadPanel& panel, RestartRequest& restart,
                                         int32_t transferState, bool verifyTransfer)
{
    panel.RemoveProgressBar();
    Trace::Line("completion: transfer state %ld", static_cast<long>(transferState));
    if (transferState == kTransferRunning)
        return false;
    if (!verifyTransfer)
        restart.RequestRestart();

    if (transferState == 0) {
        panel.SetRowState(kRowFlashWriting, kRowFailed);
        panel.SetStatus("Fail to Download, Restart Now!");
        int answer =
            panel.Warn("You should better to restart right now and try again !", "Warning");
        Trace::Line("warning box: answered %d", answer);
        restart.RequestRestart();
        return false;
    }

    panel.SetRowValue(kRowFlashWriting, "Done");
    panel.SetRowState(kRowFlashWriting, kRowPassed);
    panel.SetStatus("Download has done successfully!");
    // Loading the medium is the whole test of the new firmware: it must answer.
    if (!DriveCommands::LoadMedium(*device)) {
        panel.SetStatus("New F/W is something wrong. no response to Inquiry !");
        return false;
    }
    DriveCommands::TestUnitReady(*device);
    DriveCommands::TestUnitReady(*device);
    return true;
}

// The transfer worker: the thread that sends the firmware while the panel's thread keeps
// the panel alive. It has its TransferJob and nothing else.
#include <windows.h>

#include "download/DownloadProcedure.h"
#include "host/TransferHandoff.h"
#include "trace/Trace.h"

void TransferJob::Run()
{
    FirmwareImage& firmware = drive->Firmware();
    DownloadProcedure procedure(drive->Device(), firmware);
    int32_t result = procedure.Transfer(verifyTransfer);
    if (result == DownloadProcedure::kTransferUnverified) {
        Sleep(DownloadProcedure::kUnverifiedFlashMs);
        result = DownloadProcedure::kTransferDone;
    }
    Trace::Line("transfer: result %ld, payload sum %04X", static_cast<long>(result),
                static_cast<unsigned>(firmware.transferCheckSum));

    // From here on the job may be reused: only what Finish hands back is the worker's.
    LibraryReference library;
    TransferHandoff::Ending ending = handoff.Finish(result, library);
    // Nobody is left to report the result of a destroyed instance; its drive goes here.
    delete ending.orphan;
    TransferHandoff::Enable(ending.enable);
    library.ExitThread(1);
}

// The road of one download in the terminal.
#include "FlashSession.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "download/DriveCommands.h"
#include "image/FirmwareImage.h"
#include "trace/Trace.h"

namespace {

const char kReadingStatus[] = "Reading F/W file...";

// The write on its own thread: it gets the procedure, which holds the device, and hands
// back only its result.
void WriteFirmware(DownloadProcedure& procedure, FirmwareImage& firmware,
                   std::atomic<int32_t>& transferState)
{
    DownloadProcedure::TransferResult result = procedure.Transfer(true);
    int32_t state = result == DownloadProcedure::kTransferDone ? 1 : 0;
    Trace::Line("transfer: result %ld, payload sum %04X", static_cast<long>(state),
                static_cast<unsigned>(firmware.transferCheckSum));
    transferState.store(state);
}

} // namespace

FlashSession::FlashSession(ScsiDevice& device, TerminalPanel& panel, std::FILE* out,
                           StopRequests& stop)
    : device(device), panel(panel), out(out), stop(stop), restartRequested(false), writeBegan(false)
{
}

ExitCode FlashSession::Run(const FirmwareFileBytes& file)
{
    if (stop.Requested()) {
        std::fprintf(out, "rvxflash: stopped; nothing was sent to the drive.\n");
        return kExitCancelled;
    }
    std::unique_ptr<FirmwareImage> firmware(new (std::nothrow) FirmwareImage());
    if (!firmware) {
        std::fprintf(out, "rvxflash: out of memory; nothing was sent to the drive.\n");
        return kExitNotWritten;
    }
    firmware->fileDescriptor = ProductDescriptor();
    firmware->driveDescriptor = ProductDescriptor();
    firmware->transferCheckSum = 0;
    DownloadProcedure procedure(&device, *firmware);
    procedure.UseFileBytes(file);

    ExitCode ended = kExitNotWritten;
    if (!CheckBeforeWrite(procedure, ended))
        return ended;
    int32_t transferState = Write(procedure, *firmware);
    if (transferState < 0) {
        std::fprintf(out, "rvxflash: no thread for the write; nothing was written.\n");
        return kExitNotWritten;
    }
    return Complete(procedure, transferState);
}

bool FlashSession::CheckBeforeWrite(DownloadProcedure& procedure, ExitCode& ended)
{
    bool ready = procedure.CheckBeforeTransfer(panel);
    if (stop.EndedBeforeWrite()) {
        ended = StopBeforeWrite();
        return false;
    }
    panel.ShowUnshownRows();
    if (!ready) {
        // The procedure ends quietly when the drive does not answer at all.
        if (panel.Rows().lastStatus == kReadingStatus)
            std::fprintf(out, "rvxflash: the drive did not answer.\n");
        std::fprintf(out, "rvxflash: nothing was written; the drive keeps its firmware.\n");
        ended = kExitNotWritten;
        return false;
    }
    if (!stop.BeginWrite()) {
        procedure.ReportNotStarted(panel);
        ended = StopBeforeWrite();
        return false;
    }
    return true;
}

int32_t FlashSession::Write(DownloadProcedure& procedure, FirmwareImage& firmware)
{
    std::atomic<int32_t> transferState(DownloadProcedure::kTransferRunning);
    std::thread worker;
    // std::thread says with an exception that no thread could be had: the one place here
    // where one is caught.
    try {
        worker = std::thread(WriteFirmware, std::ref(procedure), std::ref(firmware),
                             std::ref(transferState));
    } catch (const std::system_error&) {
        stop.EndWrite();
        procedure.ReportNotStarted(panel);
        return -1;
    }
    writeBegan = true;
    // The panel's transfer timer: the bar grows while the worker writes; the first tick
    // that finds its result ends the transfer.
    while (transferState.load() == DownloadProcedure::kTransferRunning) {
        std::this_thread::sleep_for(std::chrono::milliseconds(TerminalPanel::kTickMs));
        if (transferState.load() == DownloadProcedure::kTransferRunning)
            panel.AdvanceProgress();
    }
    worker.join();
    stop.EndWrite();
    return transferState.load();
}

ExitCode FlashSession::Complete(DownloadProcedure& procedure, int32_t transferState)
{
    bool succeeded = procedure.CompleteDownload(panel, *this, transferState, true);
    panel.ShowUnshownRows();
    if (restartRequested)
        return kExitRestartNeeded;
    if (!succeeded) {
        std::fprintf(out,
                     "rvxflash: the firmware was written, but the drive did not answer after it.\n"
                     "rvxflash: power the computer off and on, then see whether the drive is "
                     "listed (rvxflash list).\n");
        return kExitRestartNeeded;
    }
    std::fprintf(out, "F/W Settings Change: you must shut down your computer before the new F/W "
                      "will take effect.\n"
                      "rvxflash: shut the computer down when you are ready; rvxflash does not do "
                      "it.\n");
    return kExitFlashed;
}

void FlashSession::RequestRestart()
{
    Trace::Line("restart requested: the user is told to power the computer off and on");
    if (restartRequested)
        return;
    restartRequested = true;
    std::fprintf(out, "rvxflash: the drive cannot go on with the firmware it has now. Power the "
                      "computer off and on\n"
                      "rvxflash: (switch it off, not only restart it); rvxflash does not do it "
                      "by itself.\n");
    std::fflush(out);
}

ExitCode FlashSession::StopBeforeWrite()
{
    // The preparation may have kept the tray shut: it opens again (the one command a stop
    // lets through).
    DriveCommands::AllowMediumRemoval(device);
    const char* signal = stop.SignalName();
    std::fprintf(out, "rvxflash: stopped%s%s before the write; the drive keeps its firmware.\n",
                 signal != nullptr ? " by " : "", signal != nullptr ? signal : "");
    return kExitCancelled;
}

// The download procedure on one drive connection and one firmware image: the firmware
// file named in the panel, the checks of file and drive before a transfer, the
// preparation of a drive, the transfer command and the check after it. It shows its
// steps through a DownloadPanel and knows nothing of windows, threads or the instance's
// lifetime: the library starts the worker that runs Transfer, and the native tests run
// all of it against the drive model. Free of <windows.h>.
#pragma once

#include <cstdint>

#include "cmdtext/TextBuffer.h"
#include "download/DownloadPanel.h"
#include "download/RestartRequest.h"
#include "image/FirmwareImage.h"
#include "scsi/ScsiDevice.h"

class DownloadProcedure {
public:
    // The transfer state while the worker writes; afterwards the worker's result, 1 or 0.
    enum : int32_t { kTransferRunning = 999 };
    // What Transfer returns. kTransferUnverified: the write went out without waiting for
    // its answer, and success may be assumed once the drive has had kUnverifiedFlashMs
    // to write its flash.
    enum TransferResult { kTransferFailed = 0, kTransferDone = 1, kTransferUnverified = 2 };
    enum { kUnverifiedFlashMs = 8500 };
    // How long the write may take: the drive answers once its flash is written.
    enum : uint32_t { kWriteTimeoutSeconds = 9000 };

    // device may be null (no drive connection): every download then ends at the drive
    // check.
    DownloadProcedure(ScsiDevice* device, FirmwareImage& firmware);

    // The drive the host asked for. When it is an RVX-4417K of the drive table, no other
    // drive is written: it is chosen when it takes the download, and the attempt ends
    // otherwise. Without one, or when it names no such drive, the first RVX-4417K that
    // takes the download is chosen.
    void SetHostChoice(uint8_t adapter, uint8_t target);

    // On the panel's thread, for "&Download", on rows already reset: reads the file named
    // in the panel, shows and checks file and drive, prepares the chosen drive and shows
    // the transfer as begun. True when the transfer may start; false when the attempt has
    // ended.
    bool CheckBeforeTransfer(DownloadPanel& panel);
    // The transfer could not be started: nothing was sent, and nothing needs a restart.
    void ReportNotStarted(DownloadPanel& panel) const;
    // A transfer under way, as its start shows it; also for a panel opened meanwhile.
    static void ShowTransferRunning(DownloadPanel& panel);

    // The file named in the panel as its caller read it once and checked it: the procedure
    // loads these bytes, which must outlive it, instead of opening the file again, so that
    // the bytes checked are the bytes written (rvxflash for Linux, which also takes pipes).
    // Without it the file named is read when the download begins.
    void UseFileBytes(const FirmwareFileBytes& read) { readOnce = read; }
    // Reads the file named in the panel into the image; the reason for a failure goes to
    // the status text. True when read and parsed.
    bool LoadFirmwareFile(DownloadPanel& panel);
    // The protocol probe, and for a drive that takes it the lock and the unload; leaves
    // the drive's protocol in the image's driveDescriptor. True when the drive took both.
    bool PrepareDrive();

    // On the worker: builds the payload in the device's buffer and sends the write.
    TransferResult Transfer(bool verifyTransfer);

    // On the panel's thread once the worker has stored its result: the report, the
    // restart after a failure, or the check that the drive answers with its new firmware.
    // True when the download has succeeded.
    bool CompleteDownload(DownloadPanel& panel, RestartRequest& restart, int32_t transferState,
                          bool verifyTransfer);

private:
    // The steps of CheckBeforeTransfer. Each shows what it found; false ends the attempt.
    // The file's rows; quietly false for a file that is not for this drive.
    bool ShowFirmwareFile(DownloadPanel& panel, TextBuffer& modelRow);
    // Prepares every drive found and picks the one to write; its row text into modelRow
    // when one drive answered.
    bool ChooseDrive(DownloadPanel& panel, TextBuffer& modelRow);
    // What preparing every drive of the table found.
    struct PreparedDrives {
        int answered; // drives that took the first preparation
        // The last drive whose second preparation passed while one drive had answered,
        // or -1.
        int chosen;
        bool tookProbe[ScsiDevice::kMaxDrives];
    };
    // The steps of ChooseDrive.
    PreparedDrives PrepareEveryDrive();
    // The host's choice (host, -1 without one) while some drive answered: it did not take
    // the probe, or it is not the one chosen when one drive answered.
    bool IsHostChoicePassedOver(int host, const PreparedDrives& prepared) const;
    // Selects the one drive that answered, its row text into modelRow; false when it
    // cannot be written.
    bool SelectOnlyAnswered(int chosen, TextBuffer& modelRow);
    // Selects and prepares the drive; true when it took the preparation.
    bool SelectHostChoice(int host);
    // Selects the first RVX-4417K of the table that takes the preparation; false when none.
    bool SelectFirstExpected();
    bool CheckProtocols(DownloadPanel& panel);
    // Which drive of the table was taken for the write, and why, into the trace.
    void TraceChoice(int index, const char* why) const;

    // The index in the drive table of the host's choice when it is an RVX-4417K, or -1.
    int HostChoiceIndex() const;

    ScsiDevice* device;
    FirmwareImage& firmware;
    int hostAdapter; // -1 without a choice
    int hostTarget;
    FirmwareFileBytes readOnce; // bytes null: the file is read by its name
};

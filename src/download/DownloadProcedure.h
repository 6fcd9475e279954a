// The download procedure on one drive connection and one firmware image: the firmware
// file named in the panel, the checks of file and drive before a transfer, the
// preparation of a drive, the transfer command and the check after it. It shows its
// steps through a DownloadPanel and knows nothing of windows, threads or the instance's
// lifetime: the Downloader starts the worker that runs Transfer, and the native tests
// run all of it against the drive model. Free of <windows.h>.
#pragma once

#include <cstdint>

#include "download/DownloadPanel.h"
#include "image/FirmwareImage.h"
#include "scsi/ScsiDevice.h"

class DownloadProcedure {
public:
    // The transfer state while the worker writes; afterwards the worker's result, 1 or 0.
    enum { kTransferRunning = 999 };
    // What Transfer returns. kTransferUnverified: the write went out without waiting for
    // its answer, and success may be assumed once the drive has had kUnverifiedFlashMs
    // to write its flash.
    enum { kTransferFailed = 0, kTransferDone = 1, kTransferUnverified = 2 };
    enum { kUnverifiedFlashMs = 8500 };

    // device may be null (no drive connection): every download then ends at the drive
    // check.
    DownloadProcedure(ScsiDevice* device, FirmwareImage& firmware);

    // On the panel's thread, for "&Download", on rows already reset: reads the file named
    // in the panel, shows and checks file and drive, prepares the chosen drive and shows
    // the transfer as begun. 1 when the transfer may start; 0 when the attempt has ended.
    int CheckBeforeTransfer(const DownloadPanel& panel);
    // The transfer could not be started: nothing was sent, and nothing needs a restart.
    void ReportNotStarted(const DownloadPanel& panel) const;
    // A transfer under way, as its start shows it; also for a panel opened meanwhile.
    static void ShowTransferRunning(const DownloadPanel& panel);

    // Reads the file named in the panel into the image; the reason for a failure goes to
    // the status text. 1 when read and parsed.
    int LoadFirmwareFile(const DownloadPanel& panel);
    // The protocol probe, and for a drive that takes it the lock and the unload; leaves
    // the drive's protocol in the image's driveDescriptor. 1 when the drive took both.
    int PrepareDrive();

    // On the worker: builds the payload in the device's buffer and sends the write.
    int Transfer(int verifyTransfer);

    // On the panel's thread once the worker has stored transferState: the report, the
    // restart after a failure, or the check that the drive answers with its new firmware.
    // 1 when the download has succeeded.
    int CompleteDownload(const DownloadPanel& panel, int32_t transferState, int verifyTransfer);

private:
    ScsiDevice* device;
    FirmwareImage& firmware;
};

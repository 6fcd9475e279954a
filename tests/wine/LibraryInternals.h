// The tests' view of the library's private state, for tests that build the library's
// classes themselves and must set what no host or drive can: a transfer's state, the
// Windows family, the result of a device's last command. The classes name this struct
// their friend; nothing in the library uses it.
#pragma once

#include <cstdint>

#include "scsi/ScsiDevice.h"
#ifdef _WIN32
#include "host/Downloader.h"
#endif

// The pending request with another time-out, the rest as it was.
inline void SetPendingTimeout(ScsiDevice& device, uint32_t timeoutMs)
{
    ScsiRequest request = device.PendingRequest();
    request.timeoutMs = timeoutMs;
    device.SetRequest(request);
}

struct LibraryInternals {
    // A device as a command that ended so left it.
    static void SetLastResult(ScsiDevice& device, uint8_t srbStatus, uint8_t key, uint8_t asc,
                              uint8_t ascq, bool timedOut)
    {
        device.srb.SRB_Status = srbStatus;
        device.senseKey = key;
        device.asc = asc;
        device.ascq = ascq;
        device.timedOut = timedOut;
    }
    static void SetWindows9x(ScsiDevice& device, bool windows9x) { device.isWindows9x = windows9x; }

#ifdef _WIN32
    static DownloaderDialog& Panel(Downloader& downloader)
    {
        return downloader.panel;
    }
    // The state picture that shows the bitmap resource bitmapId (103, 104, 106, 108).
    static DownloaderDialog::StatePicture PictureOf(int bitmapId)
    {
        return bitmapId == 103   ? DownloaderDialog::kPictureWait
               : bitmapId == 104 ? DownloaderDialog::kPictureOk
               : bitmapId == 106 ? DownloaderDialog::kPictureFailed
                                 : DownloaderDialog::kPictureLogo;
    }
    static HWND ProgressBar(const DownloaderDialog& panel)
    {
        return panel.progressBar;
    }
    static ULONG ProgressTicks(const DownloaderDialog& panel)
    {
        return panel.progressTicks;
    }
    static LONG BlinkCount(const DownloaderDialog& panel)
    {
        return panel.blinkCount;
    }
    // The drive of the instance, whoever holds it now.
    static ScsiDevice* Device(Downloader& downloader)
    {
        DriveContext* drive = downloader.handoff.context;
        return drive != nullptr ? drive->device : nullptr;
    }
    // An instance without a device, as when its buffer could not be had.
    static void DropDevice(Downloader& downloader)
    {
        DriveContext* drive = downloader.handoff.context;
        delete drive->device;
        drive->device = nullptr;
    }
    // The transfer state as a worker would leave it, without a worker: kTransferRunning,
    // then its result.
    static void SetTransferState(Downloader& downloader, int32_t state)
    {
        TransferHandoff& handoff = downloader.handoff;
        ScopedLock hold(handoff.lock);
        handoff.state = state;
    }
    static bool ShutDownPrompt(Downloader& downloader)
    {
        return downloader.ShutDownPrompt();
    }
    static bool StartDownload(Downloader& downloader)
    {
        return downloader.StartDownload();
    }
    static uint32_t Morphing(const Downloader& downloader)
    {
        return downloader.morphing;
    }
#endif
};

#ifdef _WIN32
// An instance that a test builds from the library's classes linked into it, as KDLL_Create
// builds one: the drive context (drive discovery runs on it) in a handoff of its own.
struct TestInstance {
    TestInstance(HINSTANCE module, HWND parent) : downloader(module, parent, handoff)
    {
        handoff.Install(new DriveContext());
    }

    TransferHandoff handoff;
    Downloader downloader;
};
#endif

// Who may build, free, unload or reuse the instance, and from which thread. The exports,
// the panel and the transfer worker ask here; nothing else frees the instance.
//
// - The exports belong to the thread that built the instance (the host's user-interface
//   thread, which owns the panel's windows); calls from other threads change nothing.
// - From the start of a transfer until the worker has stored its result, the worker owns
//   the instance's drive connection (its request block, buffer and ASPI layer module)
//   and holds a reference on this library. No new instance is built meanwhile, since its
//   drive discovery would reach a drive that is writing its flash. A Destroy then only
//   closes the panel and detaches the instance; the worker frees it when it is done.
// - While the panel's own code runs (a message box, the open-file dialog, the download
//   sequence), the instance is neither freed nor replaced: a Destroy is carried out when
//   that code has returned.
#pragma once

#include <windows.h>

class Downloader;

class InstanceLifetime {
public:
    InstanceLifetime();
    ~InstanceLifetime();
    InstanceLifetime(const InstanceLifetime&) = delete;
    InstanceLifetime& operator=(const InstanceLifetime&) = delete;

    // 1 on the thread that built the current instance, or when there is none.
    int IsOwnerThread() const;
    // 0 while a transfer runs (also one whose instance was destroyed), while the panel's
    // code runs, or from a thread other than the owner's.
    int MayCreate();
    // Makes the new instance the current one, owned by the calling thread.
    void Adopt(Downloader* created);
    // Frees the current instance now, after the panel's code has returned, or (during a
    // transfer) once the worker is done. 1 when there was an instance.
    int Destroy();

    // Around every message the panel handles.
    void EnterPanelCode();
    void LeavePanelCode();

    // On the panel's thread, before the worker is started: the worker's hold on the
    // instance and its reference on this library. 0 when the reference cannot be taken.
    int BeginTransfer(Downloader* downloader);
    // The instance of the running transfer, for its worker.
    Downloader* TransferInstance();
    // When the worker could not be started: both are given back.
    void AbandonTransfer();
    // The worker's last acts: stores its result, lets go of the instance (freeing it
    // when it was destroyed meanwhile), re-enables the window it disabled, and leaves
    // this library's code while dropping its reference. Does not return.
    void EndTransfer(Downloader* downloader, LONG result, HWND disabledWindow);
    // 1 from BeginTransfer until the worker has let go of its instance.
    int IsTransferRunning();

private:
    void Release(Downloader* downloader);

    CRITICAL_SECTION lock;
    DWORD ownerThread;
    int panelDepth;
    Downloader* deferredDestroy; // destroyed while the panel's code ran
    Downloader* transferInstance;
    int workerHolds;
    int orphaned;          // transferInstance was destroyed while the worker held it
    HMODULE workerLibrary; // the worker's reference on this library, or null
};

extern InstanceLifetime instanceLifetime;

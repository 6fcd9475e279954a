// Who may build, free, unload or reuse the instance, and from which thread; and the one
// way to the instance. The exports, the dialog procedure and the transfer worker ask
// here; nothing else frees the instance.
//
// - The exports belong to the thread that built the instance (the host's user-interface
//   thread, which owns the panel's windows); calls from other threads change nothing.
// - From the start of a transfer until the worker has stored its result, the worker owns
//   the instance's drive connection (its request block, buffer and ASPI layer module)
//   and holds a reference on this library. No new instance is built meanwhile, since its
//   drive discovery would reach a drive that is writing its flash. A Destroy then only
//   closes the panel; the worker frees the instance when it is done.
// - While the panel's own code runs (a message box, the open-file dialog, the download
//   sequence), the instance is neither freed nor replaced: a Destroy is carried out when
//   that code has returned.
//
// "A transfer runs" has one answer, the instance's transferState: this unit sets it to
// 999 when a transfer starts and stores the worker's result in it, both under its lock.
#pragma once

#include <windows.h>

class Downloader;

class InstanceLifetime {
public:
    InstanceLifetime();
    ~InstanceLifetime();
    InstanceLifetime(const InstanceLifetime&) = delete;
    InstanceLifetime& operator=(const InstanceLifetime&) = delete;

    // The instance for the dialog procedure and the transfer worker: from the start of
    // its construction until it is freed, also after a Destroy whose freeing waits for
    // the panel's code or the worker.
    Downloader* Instance();
    // The instance for the exports: none once a Destroy has been asked for.
    Downloader* HostInstance();

    // 1 on the thread that built the current instance, or when there is none.
    int IsOwnerThread();
    // 0 while a transfer runs (also one whose instance was destroyed), while the panel's
    // code runs, or from a thread other than the owner's.
    int MayCreate();
    // The Downloader's constructor, first of all: the new instance becomes the one,
    // owned by the calling thread.
    void Adopt(Downloader* created);
    // The Downloader's destructor, first of all: nothing reaches the instance any more.
    void Forget(Downloader* freed);
    // Frees the instance now, after the panel's code has returned, or (during a
    // transfer) once the worker is done. 1 when there was an instance.
    int Destroy();

    // Around every message the panel handles.
    void EnterPanelCode();
    void LeavePanelCode();

    // On the panel's thread, before the worker is started: the transfer runs from here
    // on, and the worker holds a reference on this library. 0 when the reference cannot
    // be taken; nothing runs then.
    int BeginTransfer(Downloader* downloader);
    // When the worker could not be started: the transfer ends before it began.
    void AbandonTransfer(Downloader* downloader);
    // The worker's last acts: stores its result, frees the instance when it was destroyed
    // meanwhile, re-enables the window it disabled, and leaves this library's code while
    // dropping its reference. Does not return.
    void EndTransfer(Downloader* downloader, LONG result, HWND disabledWindow);
    // 1 from BeginTransfer until the worker has stored its result.
    int IsTransferRunning();

private:
    // Frees the destroyed instance, or closes its panel while its worker still writes.
    void Release();

    CRITICAL_SECTION lock;
    DWORD ownerThread;
    int panelDepth;
    Downloader* instance;
    int destroyed;         // a Destroy was asked for: the exports see no instance
    int workerFrees;       // destroyed while its worker wrote: the worker frees it
    HMODULE workerLibrary; // the worker's reference on this library, or null
};

// The one object of this library with module-wide life.
extern InstanceLifetime instanceLifetime;

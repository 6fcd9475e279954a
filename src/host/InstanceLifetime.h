// Who may build and free the instance, and from which thread; and the one way to the
// instance for the exports. Nothing else builds or frees it.
//
// - The exports belong to the thread that built the instance (the host's user-interface
//   thread, which owns the panel's windows); calls from other threads change nothing.
// - While a transfer runs (TransferHandoff) no new instance is built, since its drive
//   discovery would reach a drive that is writing its flash. A Destroy meanwhile frees the
//   instance and leaves its drive to the worker.
// - While the panel's own code runs (a message box, the open-file dialog, the download
//   sequence), the instance is neither freed nor replaced: a Destroy is carried out when
//   that code has returned.
#pragma once

#include <windows.h>

#include "base/CriticalSection.h"
#include "host/TransferHandoff.h"
#include "kdll.h"

class Downloader;

class InstanceLifetime {
public:
    InstanceLifetime();
    InstanceLifetime(const InstanceLifetime&) = delete;
    InstanceLifetime& operator=(const InstanceLifetime&) = delete;

    // Any thread.

    // The instance for the exports: none once a Destroy has been asked for.
    Downloader* HostInstance();
    // True on the thread that built the current instance, or when there is none.
    bool IsOwnerThread();
    // False while a transfer runs (also one whose instance was destroyed), while the
    // panel's code runs, or from a thread other than the owner's.
    bool MayCreate();

    // The owner's thread.

    // KDLL_Create: frees the current instance, builds a new one (drive discovery runs) and
    // makes it the one, owned by the calling thread; null when out of memory.
    Downloader* Create(const KdllParams& params);
    // Frees the instance now, or after the panel's code has returned. True when there was
    // an instance.
    bool Destroy();
    // Around every message the panel handles.
    void EnterPanelCode();
    void LeavePanelCode();

private:
    // Closes the destroyed instance's panel, then frees it.
    void Release();

    CriticalSection lock;
    DWORD ownerThread;
    int panelDepth;
    Downloader* instance;
    bool destroyed; // a Destroy was asked for: the exports see no instance
    TransferHandoff handoff;
};

// The one object of this library with module-wide life: the exports have no other way to
// the instance.
extern InstanceLifetime instanceLifetime;

// Who may build and free the instance, and from which thread; and the one way to the
// instance for the exports. Nothing else builds or frees it.
//
// - The exports belong to the thread that built the instance (the host's user-interface
//   thread, which owns the panel's windows); calls from other threads change nothing.
// - The instance is its thread's from the moment a Create is let in until the freeing
//   that a Destroy (or a second Create) began has ended. Meanwhile the exports of every
//   thread see none, and no other thread builds one: it would install its drive context
//   while the old one is still being given up.
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

    // The instance for the exports of the calling thread: none unless it built the
    // instance, and none once a Destroy has been asked for.
    Downloader* HostInstance();
    // True on the thread that owns the instance, or when the exports see none.
    bool IsOwnerThread();
    // KDLL_Create: starts the trace, frees the calling thread's instance, builds a new one
    // (drive discovery runs) and makes it the one, owned by the calling thread. Null when
    // out of memory, and without any of this while a transfer runs (also one whose
    // instance was destroyed), while the panel's code runs, while an instance is being
    // built or freed, or when another thread owns the instance.
    Downloader* Create(const KdllParams& params);
    // KDLL_Destroy: frees the calling thread's instance now, or after the panel's code has
    // returned. True when there was one.
    bool Destroy();

    // The owner's thread: around every message the panel handles.
    void EnterPanelCode();
    void LeavePanelCode();

private:
    enum Phase {
        kNone,         // no instance
        kBuilding,     // Create runs: the instance it replaces is freed, the new one built
        kLive,         // the exports' instance
        kDestroyAsked, // Destroy waits for the panel's code to return
        kFreeing,      // the instance's panel is closed and the instance freed
    };

    // Under the lock: whether the calling thread may build an instance now.
    bool MayCreate();
    // The drive context and the Downloader over it; null when out of memory or when the
    // handoff still holds a drive.
    Downloader* Build(const KdllParams& params);
    // kFreeing: closes the instance's panel, then frees the instance, outside the lock
    // (the panel's WM_DESTROY still reaches the instance); the phase is kNone afterwards.
    void Release();
    // Closes an instance's panel, then frees the instance; nothing for null.
    static void Free(Downloader* freed);

    CriticalSection lock;
    DWORD ownerThread;
    int panelDepth;
    Downloader* instance;
    Phase phase;
    TransferHandoff handoff;
};

// The one object of this library with module-wide life: the exports have no other way to
// the instance.
extern InstanceLifetime instanceLifetime;

// Who owns what while the firmware is written, in one place: the panel's thread and the
// transfer worker meet here and nowhere else.
//
// - The drive context (the device with its request block, buffer and ASPI layer module,
//   and the firmware image) is the panel's thread's between transfers, reached through
//   Drive(). From Start until the worker has stored its result it is the worker's alone,
//   and Drive() gives none. It is installed only when the handoff holds none: never over
//   the drive of a worker, nor over one that an instance has not yet given up.
// - The transfer state: kTransferRunning from Start, then the worker's result.
// - The worker holds a reference on this library until its very last instruction.
// - The host window is disabled by Start, before the worker exists and before Start
//   returns: the host's own controls, and a close it is asked for, find it disabled from
//   the moment the write is under way. It stays disabled until the outcome has been shown
//   on a panel; when no panel is open to show it, the worker (result stored, no panel) or
//   the closing panel (result stored, panel going) enables it again.
// - An instance destroyed during the write leaves its drive context to the worker, which
//   frees it once the write has ended. The worker never touches the instance or a window
//   of the panel.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/CriticalSection.h"
#include "host/DriveContext.h"
#include "host/LibraryReference.h"

class TransferHandoff;

// What the worker is given through its thread parameter, and all that it may touch.
class TransferJob {
public:
    // The worker's whole life (TransferWorker): writes, and hands the result back. Does
    // not return: the thread ends in it.
    void Run();

private:
    friend class TransferHandoff;
    explicit TransferJob(TransferHandoff& owner)
        : handoff(owner), drive(nullptr), verifyTransfer(true)
    {
    }

    TransferHandoff& handoff;
    DriveContext* drive;
    bool verifyTransfer;
    LibraryReference library;
};

// The worker thread's routine; its parameter is the TransferJob.
DWORD WINAPI TransferWorker(LPVOID job);

class TransferHandoff {
public:
    TransferHandoff();
    ~TransferHandoff();
    TransferHandoff(const TransferHandoff&) = delete;
    TransferHandoff& operator=(const TransferHandoff&) = delete;

    // The panel's thread from here on.

    // A new instance's drive context, owned here from now on. False, and context stays
    // the caller's, while the handoff still holds a drive: a worker's, or one that Dispose
    // has not given up.
    bool Install(DriveContext* context);
    // The drive context for a command on the panel's thread: none while a transfer runs.
    DriveContext* Drive();
    // Disables hostWindow and hands the drive to a new worker, which writes. False when no
    // worker could be started: nothing was sent, the drive stays the panel's and
    // hostWindow is enabled again.
    bool Start(HWND hostWindow, bool verifyTransfer);
    // Whether a panel is open to show the outcome of a transfer (see above).
    void SetPanelOpen(bool open);
    // The outcome has been shown: the host window is enabled again.
    void ReleaseHostWindow();
    // The instance goes: its drive context is freed now, or by the worker once the write
    // has ended.
    void Dispose();

    // Any thread.

    // kTransferRunning while the worker writes, then its result (1 or 0); 0 before the
    // first transfer.
    int32_t State();
    bool IsRunning();

private:
    friend struct LibraryInternals; // the tests' view of the private state
    friend class TransferJob;
    // What the worker does after storing its result.
    struct Ending {
        DriveContext* orphan; // the drive of a destroyed instance: the worker frees it
        HWND enable;          // the host window, when no panel is open to show the outcome
    };
    // The worker: stores the result and takes its library reference into hold. The worker
    // touches nothing of the handoff after this.
    Ending Finish(int32_t result, LibraryReference& hold);
    // Enables a window held disabled, outside the lock: enabling a window of another thread
    // waits for that thread.
    static void Enable(HWND window);
    // Whether the worker has the drive: the state says so. Under the lock.
    bool Running() const;

    CriticalSection lock;
    TransferJob job;
    DriveContext* context;
    int32_t state;
    bool orphaned;
    bool panelOpen;
    HWND heldWindow;
};

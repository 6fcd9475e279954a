// The hand-over of the drive between the panel's thread and the transfer worker.
#include "host/TransferHandoff.h"

#include "download/DownloadProcedure.h"

// Kept apart from TransferJob::Run, which ends the thread, so that it returns as a thread
// routine does.
DWORD WINAPI TransferWorker(LPVOID job)
{
    static_cast<TransferJob*>(job)->Run();
    return 1;
}

TransferHandoff::TransferHandoff()
    : job(*this), context(nullptr), state(0), orphaned(false), panelOpen(false), heldWindow(nullptr)
{
}

// The library is unloaded only once no worker holds it. An instance the host never
// destroyed keeps its drive: freeing its ASPI layer here, while the loader unloads this
// library, is not allowed.
TransferHandoff::~TransferHandoff() = default;

bool TransferHandoff::Install(DriveContext* created)
{
    ScopedLock hold(lock);
    if (Running() || context != nullptr)
        return false;
    context = created;
    state = 0;
    return true;
}

DriveContext* TransferHandoff::Drive()
{
    ScopedLock hold(lock);
    return Running() ? nullptr : context;
}

bool TransferHandoff::Start(HWND hostWindow, bool verifyTransfer)
{
    {
        ScopedLock hold(lock);
        if (Running() || context == nullptr || !job.library.Take())
            return false;
        job.drive = context;
        job.verifyTransfer = verifyTransfer;
        heldWindow = hostWindow;
        state = DownloadProcedure::kTransferRunning;
    }
    // Before the worker exists, so that no close or other input reaches the host between
    // this call's return and the worker's first step. Outside the lock: disabling a window
    // of another thread waits for that thread.
    if (hostWindow != nullptr)
        EnableWindow(hostWindow, FALSE);
    // Windows 9x creates no thread without a place for its identifier.
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, TransferWorker, &job, 0, &workerId);
    if (worker != nullptr) {
        CloseHandle(worker); // nothing waits for the worker
        return true;
    }
    {
        ScopedLock hold(lock);
        job.library.Drop();
        heldWindow = nullptr;
        state = 0;
    }
    Enable(hostWindow);
    return false;
}

void TransferHandoff::SetPanelOpen(bool open)
{
    HWND window = nullptr;
    {
        ScopedLock hold(lock);
        panelOpen = open;
        // The result is stored but no panel is left to show it: the next one will.
        if (!open && !Running()) {
            window = heldWindow;
            heldWindow = nullptr;
        }
    }
    Enable(window);
}

void TransferHandoff::ReleaseHostWindow()
{
    HWND window = nullptr;
    {
        ScopedLock hold(lock);
        if (Running())
            return;
        window = heldWindow;
        heldWindow = nullptr;
    }
    Enable(window);
}

void TransferHandoff::Dispose()
{
    DriveContext* freed = nullptr;
    {
        ScopedLock hold(lock);
        if (Running()) {
            orphaned = true;
            return;
        }
        freed = context;
        context = nullptr;
    }
    delete freed;
}

bool TransferHandoff::Running() const
{
    return state == DownloadProcedure::kTransferRunning;
}

int32_t TransferHandoff::State()
{
    ScopedLock hold(lock);
    return state;
}

bool TransferHandoff::IsRunning()
{
    ScopedLock hold(lock);
    return Running();
}

TransferHandoff::Ending TransferHandoff::Finish(int32_t result, LibraryReference& library)
{
    ScopedLock hold(lock);
    Ending ending = {nullptr, nullptr};
    state = result;
    if (orphaned) {
        ending.orphan = context;
        context = nullptr;
        orphaned = false;
    }
    if (!panelOpen) {
        ending.enable = heldWindow;
        heldWindow = nullptr;
    }
    library.TakeOver(job.library);
    return ending;
}

void TransferHandoff::Enable(HWND window)
{
    if (window != nullptr && IsWindow(window))
        EnableWindow(window, TRUE);
}

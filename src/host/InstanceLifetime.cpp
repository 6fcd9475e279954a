// The instance's lifetime: the one way to it for the exports, when it may be built and
// freed.
#include "host/InstanceLifetime.h"

#include <new>

#include "base/ProductInfo.h"
#include "host/Downloader.h"
#include "trace/Trace.h"

InstanceLifetime instanceLifetime;

InstanceLifetime::InstanceLifetime()
    : ownerThread(0), panelDepth(0), instance(nullptr), phase(kNone)
{
}

Downloader* InstanceLifetime::HostInstance()
{
    ScopedLock hold(lock);
    return phase == kLive && GetCurrentThreadId() == ownerThread ? instance : nullptr;
}

bool InstanceLifetime::IsOwnerThread()
{
    ScopedLock hold(lock);
    return phase != kLive || GetCurrentThreadId() == ownerThread;
}

bool InstanceLifetime::MayCreate()
{
    bool owner = phase == kLive && GetCurrentThreadId() == ownerThread;
    if ((phase != kNone && !owner) || panelDepth > 0)
        return false;
    return !handoff.IsRunning();
}

Downloader* InstanceLifetime::Create(const KdllParams& params)
{
    Downloader* replaced = nullptr;
    {
        ScopedLock hold(lock);
        if (!MayCreate())
            return nullptr;
        replaced = instance;
        instance = nullptr;
        phase = kBuilding;
        ownerThread = GetCurrentThreadId();
    }
    Trace::Begin(KDLL_PRODUCT_TITLE);
    // A second Create replaces the first instance; it must not leak it or its panel.
    Free(replaced);
    Downloader* created = Build(params);
    ScopedLock hold(lock);
    instance = created;
    phase = created != nullptr ? kLive : kNone;
    return created;
}

Downloader* InstanceLifetime::Build(const KdllParams& params)
{
    DriveContext* drive = new (std::nothrow) DriveContext();
    if (drive == nullptr)
        return nullptr;
    if (!handoff.Install(drive)) {
        delete drive;
        return nullptr;
    }
    Downloader* created =
        new (std::nothrow) Downloader(params.moduleInstance, params.parentWindow, handoff);
    if (created == nullptr) {
        handoff.Dispose();
        return nullptr;
    }
    created->SetHostParams(params);
    return created;
}

bool InstanceLifetime::Destroy()
{
    {
        ScopedLock hold(lock);
        if (phase != kLive || GetCurrentThreadId() != ownerThread)
            return false;
        // From here on the exports see no instance, even while its freeing waits.
        if (panelDepth > 0) {
            phase = kDestroyAsked;
            return true;
        }
        phase = kFreeing;
    }
    Release();
    return true;
}

void InstanceLifetime::Release()
{
    Downloader* freed = nullptr;
    {
        ScopedLock hold(lock);
        freed = instance;
    }
    // Outside the lock: closing the panel sends messages, to the parent window too, which
    // may be another thread's, and that thread may be waiting for the lock in an export.
    // The phase keeps every other thread out until the instance has gone.
    Free(freed);
    ScopedLock hold(lock);
    instance = nullptr;
    phase = kNone;
}

void InstanceLifetime::Free(Downloader* freed)
{
    if (freed == nullptr)
        return;
    // The panel goes first, on its own thread; its WM_DESTROY still reaches the instance.
    freed->CloseDialog();
    delete freed;
}

void InstanceLifetime::EnterPanelCode()
{
    ScopedLock hold(lock);
    ++panelDepth;
}

void InstanceLifetime::LeavePanelCode()
{
    {
        ScopedLock hold(lock);
        if (--panelDepth > 0 || phase != kDestroyAsked)
            return;
        phase = kFreeing;
    }
    Release();
}

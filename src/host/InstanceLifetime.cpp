// The instance's lifetime: the one way to it for the exports, when it may be built and
// freed.
#include "host/InstanceLifetime.h"

#include <new>

#include "host/Downloader.h"

InstanceLifetime instanceLifetime;

InstanceLifetime::InstanceLifetime()
    : ownerThread(0), panelDepth(0), instance(nullptr), destroyed(false)
{
}

Downloader* InstanceLifetime::HostInstance()
{
    ScopedLock hold(lock);
    return destroyed ? nullptr : instance;
}

bool InstanceLifetime::IsOwnerThread()
{
    ScopedLock hold(lock);
    return instance == nullptr || destroyed || GetCurrentThreadId() == ownerThread;
}

bool InstanceLifetime::MayCreate()
{
    if (!IsOwnerThread() || panelDepth > 0)
        return false;
    return !handoff.IsRunning();
}

Downloader* InstanceLifetime::Create(const KdllParams& params)
{
    // A second Create replaces the first instance; it must not leak it or its panel.
    Destroy();
    DriveContext* drive = new (std::nothrow) DriveContext();
    if (drive == nullptr)
        return nullptr;
    Downloader* created =
        new (std::nothrow) Downloader(params.moduleInstance, params.parentWindow, handoff);
    if (created == nullptr) {
        delete drive;
        return nullptr;
    }
    handoff.Install(drive);
    created->SetHostParams(params);
    ScopedLock hold(lock);
    instance = created;
    destroyed = false;
    ownerThread = GetCurrentThreadId();
    return created;
}

bool InstanceLifetime::Destroy()
{
    {
        ScopedLock hold(lock);
        if (instance == nullptr || destroyed)
            return false;
        // From here on the exports see no instance, even while its freeing waits.
        destroyed = true;
    }
    if (panelDepth == 0)
        Release();
    return true;
}

void InstanceLifetime::Release()
{
    Downloader* freed = nullptr;
    {
        ScopedLock hold(lock);
        freed = instance;
        instance = nullptr;
        destroyed = false;
    }
    // The panel goes first, on its own thread; its WM_DESTROY still reaches the instance.
    freed->CloseDialog();
    delete freed;
}

void InstanceLifetime::EnterPanelCode()
{
    ++panelDepth;
}

void InstanceLifetime::LeavePanelCode()
{
    if (--panelDepth > 0)
        return;
    bool waiting = false;
    {
        ScopedLock hold(lock);
        waiting = instance != nullptr && destroyed;
    }
    if (waiting)
        Release();
}

// The four entry points of kdll.dll. They belong to the host's user-interface thread
// that built the instance, and always work on the one instance that KDLL_Create built,
// which InstanceLifetime holds; it decides when that instance may be built, replaced or
// freed.
#define KDLL_BUILDING
#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "kdll.h"

extern "C" int __cdecl KDLL_Create(KdllParams params)
{
    // Not while a write is in flight (discovery would reach the drive writing its flash),
    // nor under the panel's own code, nor while an instance is being built or freed, nor
    // from another thread than the instance's.
    Downloader* created = instanceLifetime.Create(params);
    if (created == nullptr)
        return 0;
    // The host takes the instance's address as a 32-bit word and only tests it for 0.
    int address = static_cast<int>(reinterpret_cast<intptr_t>(created));
    return address != 0 ? address : 1;
}

extern "C" int __cdecl KDLL_Open(KdllParams params)
{
    // Without an instance, with the panel already open, or from another thread, nothing
    // is created and the parameters in force stay.
    Downloader* downloader = instanceLifetime.HostInstance();
    if (downloader == nullptr || downloader->IsPanelOpen())
        return 0;
    downloader->SetHostParams(params);
    return downloader->OpenDialog();
}

extern "C" int __cdecl KDLL_Close(void)
{
    if (!instanceLifetime.IsOwnerThread())
        return 0;
    Downloader* downloader = instanceLifetime.HostInstance();
    return downloader != nullptr ? downloader->CloseDialog() : 1;
}

extern "C" int __cdecl KDLL_Destroy(void)
{
    // Without an instance, or from another thread, nothing is freed.
    return instanceLifetime.Destroy() ? 1 : 0;
}

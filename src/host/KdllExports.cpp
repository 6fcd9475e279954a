// The four entry points of kdll.dll. They belong to the host's user-interface thread
// that built the instance, and always work on the one instance that KDLL_Create built,
// which InstanceLifetime holds; it decides when that instance may be built, replaced or
// freed.
#define KDLL_BUILDING
#include "base/ProductInfo.h"
#include "host/Downloader.h"
#include "host/InstanceLifetime.h"
#include "kdll.h"
#include "trace/Trace.h"

extern "C" int __cdecl KDLL_Create(KdllParams params)
{
    // Not while a write is in flight (discovery would reach the drive writing its flash),
    // nor under the panel's own code, nor from another thread than the instance's.
    if (!instanceLifetime.MayCreate())
        return 0;
    Trace::Begin(KDLL_PRODUCT_TITLE);
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
    if (downloader == nullptr || downloader->IsPanelOpen() || !instanceLifetime.IsOwnerThread())
        return 0;
    downloader->SetHostParams(params);
    return downloader->OpenDialog();
}

extern "C" int __cdecl KDLL_Close(void)
{
    Downloader* downloader = instanceLifetime.HostInstance();
    if (downloader == nullptr)
        return 1;
    if (!instanceLifetime.IsOwnerThread())
        return 0;
    return downloader->CloseDialog();
}

extern "C" int __cdecl KDLL_Destroy(void)
{
    if (!instanceLifetime.IsOwnerThread())
        return 0;
    return instanceLifetime.Destroy() ? 1 : 0;
}

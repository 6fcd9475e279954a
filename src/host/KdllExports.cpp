// The four entry points of kdll.dll. They belong to the host's user-interface thread
// that built the instance, and always work on the one instance that KDLL_Create built;
// InstanceLifetime decides when that instance may be built, replaced or freed.
#define KDLL_BUILDING
#include <new>

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
    hostParams = params;
    // A second Create replaces the first instance; it must not leak it or its panel.
    instanceLifetime.Destroy();
    Downloader* created = new (std::nothrow) Downloader(params.moduleInstance, params.parentWindow);
    if (created == nullptr)
        return 0;
    instanceLifetime.Adopt(created);
    // The host takes the instance's address as a 32-bit word and only tests it for 0.
    int address = static_cast<int>(reinterpret_cast<intptr_t>(created));
    return address != 0 ? address : 1;
}

extern "C" int __cdecl KDLL_Open(KdllParams params)
{
    // Without an instance, with the panel already open, or from another thread, nothing
    // is created and the parameters in force stay.
    if (theDownloader == nullptr || theDownloader->dialog != nullptr ||
        !instanceLifetime.IsOwnerThread())
        return 0;
    hostParams = params;
    return theDownloader->OpenDialog();
}

extern "C" int __cdecl KDLL_Close(void)
{
    if (theDownloader == nullptr)
        return 1;
    if (!instanceLifetime.IsOwnerThread())
        return 0;
    return theDownloader->CloseDialog();
}

extern "C" int __cdecl KDLL_Destroy(void)
{
    if (!instanceLifetime.IsOwnerThread())
        return 0;
    return instanceLifetime.Destroy();
}

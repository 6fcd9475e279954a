// The four entry points of kdll.dll. They run on the host's user-interface thread and
// always work on the one instance that KDLL_Create built.
#define KDLL_BUILDING
#include <new>

#include "host/Downloader.h"
#include "kdll.h"
#include "trace/Trace.h"

namespace {

void DestroyInstance()
{
    delete theDownloader;
    theDownloader = nullptr;
}

} // namespace

extern "C" int __cdecl KDLL_Create(KdllParams params)
{
    Trace::Begin();
    hostParams = params;
    // A second Create replaces the first instance; it must not leak it or its panel.
    if (theDownloader != nullptr)
        DestroyInstance();
    theDownloader = new (std::nothrow) Downloader(params.moduleInstance, params.parentWindow);
    if (theDownloader == nullptr)
        return 0;
    // The host takes the instance's address as a 32-bit word and only tests it for 0.
    int address = static_cast<int>(reinterpret_cast<intptr_t>(theDownloader));
    return address != 0 ? address : 1;
}

extern "C" int __cdecl KDLL_Open(KdllParams params)
{
    // Without an instance, or with the panel already open, nothing is created and the
    // parameters in force (hostWindow of a running transfer among them) stay.
    if (theDownloader == nullptr || theDownloader->dialog != nullptr)
        return 0;
    hostParams = params;
    return theDownloader->OpenDialog();
}

extern "C" int __cdecl KDLL_Close(void)
{
    if (theDownloader == nullptr)
        return 1;
    return theDownloader->CloseDialog();
}

extern "C" int __cdecl KDLL_Destroy(void)
{
    if (theDownloader == nullptr)
        return 0;
    DestroyInstance();
    return 1;
}

#include "KdllLink.h"

namespace {

template <typename Fn> Fn Bind(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

KdllLink::KdllLink() : module(LoadLibraryA("kdll.dll"))
{
    create = Bind<KDLL_CreateFn>(module, "KDLL_Create");
    open = Bind<KDLL_OpenFn>(module, "KDLL_Open");
    close = Bind<KDLL_CloseFn>(module, "KDLL_Close");
    destroy = Bind<KDLL_DestroyFn>(module, "KDLL_Destroy");
}

KdllLink::~KdllLink()
{
    // An instance left behind by a failed test must not leak into the next one.
    if (destroy != nullptr)
        destroy();
    if (module != nullptr)
        FreeLibrary(module);
}

void KdllLink::Release()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
    create = nullptr;
    open = nullptr;
    close = nullptr;
    destroy = nullptr;
}

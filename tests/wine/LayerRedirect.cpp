#include "LayerRedirect.h"

namespace {

typedef HMODULE(WINAPI* LoadLibraryFn)(LPCSTR);

// The module may be the test program itself, whose own calls then pass through the
// patched entry: the stand-in calls what the entry held before.
LoadLibraryFn originalLoadLibraryA = &LoadLibraryA;

HMODULE WINAPI RedirectedLoadLibraryA(LPCSTR name)
{
    if (name != nullptr && lstrcmpiA(name, "WNASPI32.dll") == 0)
        return originalLoadLibraryA("sptilayer.dll");
    return originalLoadLibraryA(name);
}

} // namespace

LayerRedirect::LayerRedirect(HMODULE module)
    : patch(new ImportPatch(module, "kernel32.dll", "LoadLibraryA",
                            reinterpret_cast<void*>(&RedirectedLoadLibraryA)))
{
    if (patch->IsActive())
        originalLoadLibraryA = reinterpret_cast<LoadLibraryFn>(patch->Original());
}

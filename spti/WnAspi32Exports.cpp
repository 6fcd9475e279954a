// The exports of our WNASPI32.dll: GetASPI32SupportInfo (ordinal 1) and SendASPI32Command
// (ordinal 2), cdecl as every ASPI for Win32 layer (see wnaspi32.def).
#include <windows.h>

#include <new>

#include "PassThroughLayer.h"

namespace {

PassThroughLayer* layer = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        layer = new (std::nothrow) PassThroughLayer(instance);
        return layer != nullptr;
    }
    // At process exit (reserved set) a worker may still be inside a call: nothing is torn
    // down then. On FreeLibrary no worker is left, since each holds a module reference.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        delete layer;
        layer = nullptr;
    }
    return TRUE;
}

extern "C" DWORD __cdecl GetASPI32SupportInfo(void)
{
    return layer->SupportInfo();
}

extern "C" DWORD __cdecl SendASPI32Command(void* request)
{
    return layer->Send(request);
}

// The entry points of our WNASPI32.dlls, built into each of them over its own layer:
// DllMain, and GetASPI32SupportInfo (ordinal 1) and SendASPI32Command (ordinal 2), cdecl
// as every ASPI for Win32 layer (see each DLL's wnaspi32.def).
#include "scsi/WnAspi32Module.h"

#include <windows.h>

#include <new>

namespace {

ModuleLayer* layer = nullptr;

} // namespace

ModuleLayer& TheModuleLayer()
{
    return *layer;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        layer = new (std::nothrow) ModuleLayer(instance);
        return layer != nullptr;
    }
    // At process exit (reserved set) the layer's other threads are already gone, possibly
    // inside a call or the lock: nothing is torn down then. On FreeLibrary none of them is
    // left, since each holds a reference to the module until its last instruction.
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

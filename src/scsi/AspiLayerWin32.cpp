// The Windows side of AspiLayer: WNASPI32.dll and the completion events.
#include <windows.h>

#include "scsi/AspiLayer.h"

bool AspiLayer::Load(const char* fileName)
{
    HMODULE loaded = LoadLibraryA(fileName);
    if (loaded == nullptr)
        return false;
    Bind(loaded);
    ownsModule = true;
    return true;
}

// By ordinal: the names of the entry points differ between layers, their numbers do not.
void AspiLayer::Bind(void* layerModule)
{
    HMODULE handle = static_cast<HMODULE>(layerModule);
    module = layerModule;
    getSupportInfo = reinterpret_cast<SupportInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, MAKEINTRESOURCEA(1))));
    sendCommand = reinterpret_cast<SendCommandFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, MAKEINTRESOURCEA(2))));
}

void AspiLayer::UnloadModule()
{
    if (module != nullptr)
        FreeLibrary(static_cast<HMODULE>(module));
    module = nullptr;
}

void* AspiLayer::CreateCompletion()
{
    // Manual reset: the layer sets it once, and every later wait still sees it set.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr)
        ResetEvent(event);
    return event;
}

bool AspiLayer::WaitCompletion(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs)
{
    return WaitForSingleObject(static_cast<HANDLE>(srb.SRB_PostProc), waitMs) == WAIT_OBJECT_0;
}

void AspiLayer::CloseCompletion(void* event)
{
    CloseHandle(static_cast<HANDLE>(event));
}

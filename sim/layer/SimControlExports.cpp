// The exports of the simulated wnaspi32.dll: the two ASPI entry points (by ordinal, see
// wnaspi32.def) and the control functions that tests bind by name.
#include <windows.h>

#include <new>

#include "SimControl.h"
#include "SimLayer.h"

namespace {

SimLayer* layer = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        layer = new (std::nothrow) SimLayer(instance);
        return layer != nullptr;
    }
    // At process exit (reserved set) other threads are already gone, possibly inside
    // the lock: nothing is torn down then. On FreeLibrary no completion thread is left,
    // since each holds a reference to the module until its last instruction.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        delete layer;
        layer = nullptr;
    }
    return TRUE;
}

extern "C" DWORD SIM_CALL GetASPI32SupportInfo(void)
{
    return layer->SupportInfo();
}

extern "C" DWORD SIM_CALL SendASPI32Command(void* request)
{
    return layer->Send(request);
}

int SIM_CALL SimConfigure(const char* scenarioText)
{
    return layer->Configure(scenarioText);
}

const char* SIM_CALL SimLastError(void)
{
    return layer->LastError();
}

int SIM_CALL SimRequestCount(void)
{
    return layer->RequestCount();
}

int SIM_CALL SimGetRequest(int index, SimRequestRecord* out)
{
    return layer->GetRequest(index, out);
}

uint32_t SIM_CALL SimGetDataOut(int index, uint8_t* dst, uint32_t capacity)
{
    return layer->GetDataOut(index, dst, capacity);
}

void SIM_CALL SimClearLog(void)
{
    layer->ClearLog();
}

int SIM_CALL SimPendingCount(void)
{
    return layer->PendingCount();
}

void SIM_CALL SimReleaseHeld(void)
{
    layer->ReleaseHeld();
}

void SIM_CALL SimResume(void)
{
    layer->Resume();
}

int SIM_CALL SimGetDeviceInfo(int adapter, int target, SimDeviceInfo* out)
{
    return layer->GetDeviceInfo(adapter, target, out);
}

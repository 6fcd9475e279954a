// The control exports of the simulated wnaspi32.dll (SimControl.h), which tests and the
// demo bind by name; its ASPI entry points are those of scsi/WnAspi32Module.cpp.
#include "SimControl.h"
#include "scsi/WnAspi32Module.h"

int SIM_CALL SimConfigure(const char* scenarioText)
{
    return TheModuleLayer().Configure(scenarioText);
}

const char* SIM_CALL SimLastError(void)
{
    return TheModuleLayer().LastError();
}

int SIM_CALL SimRequestCount(void)
{
    return TheModuleLayer().RequestCount();
}

int SIM_CALL SimGetRequest(int index, SimRequestRecord* out)
{
    return TheModuleLayer().GetRequest(index, out);
}

uint32_t SIM_CALL SimGetDataOut(int index, uint8_t* dst, uint32_t capacity)
{
    return TheModuleLayer().GetDataOut(index, dst, capacity);
}

void SIM_CALL SimClearLog(void)
{
    TheModuleLayer().ClearLog();
}

int SIM_CALL SimPendingCount(void)
{
    return TheModuleLayer().PendingCount();
}

void SIM_CALL SimReleaseHeld(void)
{
    TheModuleLayer().ReleaseHeld();
}

void SIM_CALL SimResume(void)
{
    TheModuleLayer().Resume();
}

int SIM_CALL SimGetDeviceInfo(int adapter, int target, SimDeviceInfo* out)
{
    return TheModuleLayer().GetDeviceInfo(adapter, target, out);
}

// The Windows side of the trace: its clock, the threads, and the environment variable.
#include <windows.h>

#include "trace/Trace.h"

namespace {

DWORD startTick;
bool started;
DWORD panelThread;

const char kEnvironmentName[] = "KDLL_TRACE";

} // namespace

void Trace::StartClock()
{
    if (!started)
        startTick = GetTickCount();
    started = true;
    panelThread = GetCurrentThreadId();
}

uint32_t Trace::ClockMs()
{
    return GetTickCount() - startTick;
}

bool Trace::OnPanelThread()
{
    return GetCurrentThreadId() == panelThread;
}

bool Trace::ReadEnvironment(char* path, int size)
{
    DWORD length = GetEnvironmentVariableA(kEnvironmentName, path, static_cast<DWORD>(size));
    // 0: not set or empty; size or more: the room needed, the name does not fit.
    return length > 0 && length < static_cast<DWORD>(size);
}

void Trace::Pause()
{
    Sleep(0);
}

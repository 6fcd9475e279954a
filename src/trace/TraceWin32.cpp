// The Windows side of the trace: its clock, the threads, where the file is named.
#include <windows.h>

#include "host/ProductInfo.h"
#include "trace/Trace.h"

namespace {

DWORD startTick;
bool started;
DWORD panelThread;

const char kEnvironmentName[] = "KDLL_TRACE";
const char kSettingName[] = "TraceFile";

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

int Trace::OnPanelThread()
{
    return GetCurrentThreadId() == panelThread;
}

int Trace::ReadEnvironment(char* path, int size)
{
    DWORD length = GetEnvironmentVariableA(kEnvironmentName, path, static_cast<DWORD>(size));
    // 0: not set or empty; size or more: the room needed, the name does not fit.
    return length > 0 && length < static_cast<DWORD>(size);
}

// Read-only access: a user without write rights to the key still gets the trace.
int Trace::ReadSetting(char* path, int size)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KDLL_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return 0;
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(size);
    LONG queried =
        RegQueryValueExA(key, kSettingName, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes);
    RegCloseKey(key);
    if (queried != ERROR_SUCCESS || type != REG_SZ || bytes == 0)
        return 0;
    // A text stored without its NUL still ends within the buffer.
    if (path[bytes - 1] != '\0') {
        if (bytes >= static_cast<DWORD>(size))
            return 0;
        path[bytes] = '\0';
    }
    return path[0] != '\0';
}

void Trace::Pause()
{
    Sleep(0);
}

// The trace where there is no Windows (the native build and rvxflash for Linux): a
// monotonic clock, the thread that began the trace as the panel's, and KDLL_TRACE from the
// environment.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "trace/Trace.h"

namespace {

std::chrono::steady_clock::time_point start;
bool started;
std::thread::id panelThread;

} // namespace

void Trace::StartClock()
{
    if (!started)
        start = std::chrono::steady_clock::now();
    started = true;
    panelThread = std::this_thread::get_id();
}

uint32_t Trace::ClockMs()
{
    auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

bool Trace::OnPanelThread()
{
    // Before any Begin every thread counts as the panel's, as the native tests write.
    return !started || std::this_thread::get_id() == panelThread;
}

bool Trace::ReadEnvironment(char* path, int size)
{
    const char* name = std::getenv("KDLL_TRACE");
    if (name == nullptr || name[0] == '\0' || std::strlen(name) >= static_cast<size_t>(size))
        return false;
    std::strcpy(path, name);
    return true;
}

void Trace::Pause()
{
    std::this_thread::yield();
}

// The command trace's lines: formatting, the lock of both threads, the backlog and the file.
#include "trace/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/FormatText.h"

volatile int Trace::state;
char Trace::backlog[Trace::kBacklogSize];
size_t Trace::backlogLength;
unsigned Trace::droppedLines;
TraceFile Trace::file;

namespace {

// The one lock of both threads. A flag needs no set-up and no clean-up, which a
// library without start-up work and with unloading in its life can use; the lines are
// short and the worker writes few, so waiting for it is rare and brief.
std::atomic_flag lineLock = ATOMIC_FLAG_INIT;

} // namespace

void Trace::Begin(const char* product)
{
    StartClock();
    char path[TraceFile::kPathSize];
    bool named = ReadEnvironment(path, sizeof path);
    while (lineLock.test_and_set(std::memory_order_acquire))
        Pause();
    // Each instance decides afresh: nothing of an earlier one waits in the backlog.
    backlogLength = 0;
    droppedLines = 0;
    state = kUndecided;
    if (named)
        TurnOn(path);
    lineLock.clear(std::memory_order_release);
    Line("start: %s, built " __DATE__ " " __TIME__ ", %u-bit", product,
         static_cast<unsigned>(8 * sizeof(void*)));
}

void Trace::Settle(const char* settingPath)
{
    char path[TraceFile::kPathSize];
    bool named = ReadEnvironment(path, sizeof path);
    const char* chosen = named ? path : settingPath;
    while (lineLock.test_and_set(std::memory_order_acquire))
        Pause();
    if (state != kOn) {
        if (chosen != nullptr)
            TurnOn(chosen);
        else
            TurnOff();
    }
    lineLock.clear(std::memory_order_release);
}

// Called with the lock held.
void Trace::TurnOn(const char* path)
{
    if (!file.SetPath(path)) {
        TurnOff();
        return;
    }
    state = kOn;
    if (backlogLength > 0 && !file.Append(backlog, backlogLength))
        TurnOff();
    if (state == kOn && droppedLines > 0) {
        char note[80];
        size_t length =
            FormatText(note, sizeof note, "(%u more lines before the panel opened did not fit)\r\n",
                       droppedLines);
        if (!file.Append(note, length))
            TurnOff();
    }
    backlogLength = 0;
    droppedLines = 0;
}

// Called with the lock held.
void Trace::TurnOff()
{
    state = kOff;
    backlogLength = 0;
    droppedLines = 0;
}

// Called with the lock held.
void Trace::Emit(const char* line, size_t length)
{
    if (state == kOn) {
        if (!file.Append(line, length))
            TurnOff();
        return;
    }
    if (state != kUndecided)
        return;
    if (backlogLength + length > sizeof backlog) {
        ++droppedLines;
        return;
    }
    std::memcpy(backlog + backlogLength, line, length);
    backlogLength += length;
}

void Trace::Line(const char* format, ...)
{
    if (state == kOff)
        return;
    char text[kLineSize];
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(text, sizeof text, format, arguments);
    va_end(arguments);

    // The time is taken under the lock, so that the lines of both threads stand in the
    // file in the order of their times.
    while (lineLock.test_and_set(std::memory_order_acquire))
        Pause();
    char line[kLineSize + 32];
    size_t used =
        FormatText(line, sizeof line, "%7lu %-6s %s\r\n", static_cast<unsigned long>(ClockMs()),
                   OnPanelThread() ? "panel" : "worker", text);
    // A line cut short still ends as a line.
    if (used == sizeof line - 1)
        std::memcpy(line + used - 2, "\r\n", 2);
    Emit(line, used);
    lineLock.clear(std::memory_order_release);
}

uint32_t Trace::Now()
{
    return state == kOff ? 0 : ClockMs();
}

// The command trace: one plain-text line per event, for finding out afterwards why a
// flash failed. It is off unless the environment variable KDLL_TRACE, or the text value
// "TraceFile" under the library's settings key, names a file; when off, no line is
// formatted and no file is touched.
//
// Every line starts with the milliseconds since the library started (its first
// KDLL_Create) and the thread that wrote it: "panel" for the thread that runs the
// exports, "worker" for any other. Both threads write under one lock, each line whole and
// flushed; a file that cannot be written turns the trace off and changes nothing else.
//
// KDLL_TRACE is read by KDLL_Create, the setting when the panel opens. Until the panel
// has opened the trace is undecided: lines (those of drive discovery among them) wait in
// a bounded backlog, which goes into the file when the panel turns the trace on and is
// dropped when it does not.
#pragma once

#include <cstdint>

#include "trace/TraceFile.h"

#if defined(__GNUC__)
#define KDLL_TRACE_FORMAT(a, b) __attribute__((format(printf, a, b)))
#else
#define KDLL_TRACE_FORMAT(a, b)
#endif

class Trace {
public:
    enum State { kUndecided = 0, kOn = 1, kOff = 2 };
    enum { kLineSize = 512, kBacklogSize = 32768 };

    // KDLL_Create: starts the clock on the first call, takes the calling thread as the
    // panel's, turns the trace on when KDLL_TRACE names a file, and writes the first line
    // with the product's name and version.
    static void Begin(const char* product);
    // The panel opens: KDLL_TRACE, else the file the stored setting names (settingPath,
    // null when it names none), decides whether the trace is on.
    static void Settle(const char* settingPath);

    // True while lines are being kept (on, or undecided): callers may skip work otherwise.
    static bool IsOn() { return state != kOff; }
    // One line: printf-style text behind the time and the thread. No line break needed.
    static void Line(const char* format, ...) KDLL_TRACE_FORMAT(1, 2);
    // Milliseconds since the library started; 0 while the trace is off.
    static uint32_t Now();

private:
    static TraceFile file;
    static void TurnOn(const char* path);
    static void TurnOff();
    static void Emit(const char* line, size_t length);

    // Platform side (TraceWin32.cpp, or TraceNative.cpp).
    static void StartClock();
    static uint32_t ClockMs();
    static bool OnPanelThread();
    static bool ReadEnvironment(char* path, int size);
    static void Pause();

    static volatile int state;
    static char backlog[kBacklogSize];
    static size_t backlogLength;
    static unsigned droppedLines;
};

// Timings of a download on a drive that answers at once, printed rather than asserted:
// the host-side cost of the whole check sequence (from the press of "&Download" to the
// write reaching the drive) and the delay from the worker's result to the completion
// check having finished. Disabled in the normal run; run it with
//   --gtest_also_run_disabled_tests --gtest_filter=DownloadBenchmark.*
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DownloadExpectations.h"
#include "DownloadRig.h"
#include "FirmwareFileBuilder.h"

using namespace download;

namespace {

LARGE_INTEGER frequency;
WNDPROC originalHostProc;
// When the host window was last enabled again: the worker does that right after storing
// its result.
LONGLONG hostEnabledAt;

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Ms(LONGLONG ticks)
{
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENABLE && wParam)
        hostEnabledAt = Now();
    return CallWindowProcA(originalHostProc, window, message, wParam, lParam);
}

bool WriteReached(DownloadRig& rig)
{
    for (const SimRequestRecord& r : rig.Commands()) {
        if (r.cdb[0] == 0xCB && r.cdb[2] == 0x04)
            return true;
    }
    return false;
}

// Dispatches every waiting message; returns the time spent in the dispatch of a timer
// message, -1 when there was none.
LONGLONG DispatchAll(LONGLONG* tickStart)
{
    LONGLONG spent = -1;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        LONGLONG before = Now();
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (message.message == WM_TIMER) {
            spent = Now() - before;
            *tickStart = before;
        }
    }
    return spent;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

TEST(DownloadBenchmark, DISABLED_PressToWriteAndResultToCompletion)
{
    const int kRounds = 7;
    const DWORD kBoundMs = 10000;
    QueryPerformanceFrequency(&frequency);
    DownloadRig rig;
    ASSERT_EQ("", rig.Open("adapters 1\n"
                           "device 0 1 rvx revision 1.00\n"));
    std::string path = rig.WriteFirmware(FirmwareFileBuilder::Standard("2.00"));
    ASSERT_NE("", path);
    originalHostProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(rig.panel.host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostProc)));

    std::vector<double> pressToWrite, resultToTick, completion, resultToDone;
    for (int round = 0; round < kRounds; ++round) {
        // A new file name makes "&Download" usable again after a success.
        rig.TypeFileName("");
        rig.TypeFileName(path);
        rig.sim.ClearLog();
        rig.calls->calls.clear();
        hostEnabledAt = 0;
        size_t firstWait = rig.Waits().size();
        double snapshots = rig.snapshotMs;

        LONGLONG pressed = Now();
        rig.Press();
        // Messages are processed without a pause: the worker's first act waits for this
        // thread to disable the host window.
        LONGLONG tickStart = 0;
        DWORD start = GetTickCount();
        while (!WriteReached(rig) && GetTickCount() - start < kBoundMs)
            DispatchAll(&tickStart);
        LONGLONG written = Now();
        ASSERT_TRUE(WriteReached(rig)) << "round " << round;

        LONGLONG tickSpent = -1;
        while (rig.Status() != kSucceeded && GetTickCount() - start < kBoundMs) {
            LONGLONG spent = DispatchAll(&tickStart);
            if (spent >= 0)
                tickSpent = spent;
        }
        LONGLONG done = Now();
        ASSERT_EQ(kSucceeded, rig.Status()) << "round " << round;
        ASSERT_TRUE(rig.WaitForEnd(kBoundMs));
        ASSERT_NE(0, hostEnabledAt);

        double drive = 0;
        std::vector<CommandWait> waits = rig.Waits();
        for (size_t i = firstWait; i < waits.size(); ++i) {
            if (waits[i].panelThread && waits[i].timeoutMs != 9000000)
                drive += waits[i].waitedMs;
        }
        pressToWrite.push_back(Ms(written - pressed) - (rig.snapshotMs - snapshots));
        resultToTick.push_back(Ms(tickStart - hostEnabledAt));
        completion.push_back(Ms(tickSpent));
        resultToDone.push_back(Ms(done - hostEnabledAt));
        std::printf("round %d: press to write %.2f ms (waiting for the drive %.2f ms, test "
                    "recorders %.2f ms left out); result to completion done %.2f ms (waiting "
                    "for the tick %.2f ms, completion %.2f ms)\n",
                    round, pressToWrite.back(), drive, rig.snapshotMs - snapshots,
                    resultToDone.back(), resultToTick.back(), completion.back());
    }
    std::printf("median of %d: press to write %.2f ms; result to completion done %.2f ms "
                "(completion itself %.2f ms)\n",
                kRounds, Median(pressToWrite), Median(resultToDone), Median(completion));
    SetWindowLongPtrA(rig.panel.host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalHostProc));
}

} // namespace

// AspiLayer where there is no Windows (the native build): no DLL to load, and no events.
// A layer linked into the program writes the final SRB_Status last, as ASPI layers do;
// the wait watches for it.
#include <chrono>
#include <thread>

#include "scsi/AspiLayer.h"

namespace {

// What SRB_PostProc holds natively: not null, and never an event.
char completionMark;

// The most that one step of a wait counts for; a step takes about a millisecond while the
// process runs, and far longer only when something stopped it.
const int kLongestStepMs = 100;

} // namespace

bool AspiLayer::Load(const char*)
{
    return false;
}

void AspiLayer::Bind(void*) {}

void AspiLayer::UnloadModule() {}

void* AspiLayer::CreateCompletion()
{
    return &completionMark;
}

// The time-out is judged on the command: time counts while the process runs. A stop
// (SIGSTOP, Ctrl-Z) or a suspended machine shows as one long step between two looks, which
// counts for at most kLongestStepMs: the command may well have ended meanwhile at the
// drive, and the layer's thread, stopped too, has not yet had the processor to say so.
bool AspiLayer::WaitCompletion(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs)
{
    using std::chrono::milliseconds;
    const milliseconds longestStep(kLongestStepMs);
    milliseconds waited(0);
    auto last = std::chrono::steady_clock::now();
    while (srb.SRB_Status == SS_PENDING) {
        if (waited >= milliseconds(waitMs))
            return false;
        std::this_thread::sleep_for(milliseconds(1));
        auto now = std::chrono::steady_clock::now();
        auto step = std::chrono::duration_cast<milliseconds>(now - last);
        waited += step < longestStep ? step : longestStep;
        last = now;
    }
    return true;
}

void AspiLayer::CloseCompletion(void*) {}

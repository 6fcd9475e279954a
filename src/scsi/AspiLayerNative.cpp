// AspiLayer where there is no Windows (the native build): no DLL to load, and no events.
// A layer linked into the program writes the final SRB_Status last, as ASPI layers do;
// the wait watches for it.
#include <chrono>
#include <thread>

#include "scsi/AspiLayer.h"

namespace {

// What SRB_PostProc holds natively: not null, and never an event.
char completionMark;

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

bool AspiLayer::WaitCompletion(const volatile SRB_ExecSCSICmd& srb, uint32_t waitMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (srb.SRB_Status == SS_PENDING) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void AspiLayer::CloseCompletion(void*) {}

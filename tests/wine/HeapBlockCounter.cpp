// The C runtime's heap blocks a module holds, counted at its imports.
#include "HeapBlockCounter.h"

#include <mutex>
#include <set>

namespace {

std::mutex lock;
std::set<void*> live;
void* (*realMalloc)(size_t);
void* (*realCalloc)(size_t, size_t);
void* (*realRealloc)(void*, size_t);
void (*realFree)(void*);

// Keeps the set of live blocks: block taken, old given back.
void* Note(void* block, void* old)
{
    std::lock_guard<std::mutex> hold(lock);
    if (old != nullptr && old != block)
        live.erase(old);
    if (block != nullptr)
        live.insert(block);
    return block;
}

void* CountingMalloc(size_t size)
{
    return Note(realMalloc(size), nullptr);
}

void* CountingCalloc(size_t count, size_t size)
{
    return Note(realCalloc(count, size), nullptr);
}

// A failed realloc keeps the old block, unless it was asked to free it (size 0).
void* CountingRealloc(void* old, size_t size)
{
    void* block = realRealloc(old, size);
    return Note(block, block != nullptr || size == 0 ? old : nullptr);
}

void CountingFree(void* block)
{
    Note(nullptr, block);
    realFree(block);
}

} // namespace

HeapBlockCounter::HeapBlockCounter(HMODULE module)
{
    const struct {
        const char* name;
        void* standIn;
    } functions[4] = {{"malloc", reinterpret_cast<void*>(&CountingMalloc)},
                      {"calloc", reinterpret_cast<void*>(&CountingCalloc)},
                      {"realloc", reinterpret_cast<void*>(&CountingRealloc)},
                      {"free", reinterpret_cast<void*>(&CountingFree)}};
    {
        std::lock_guard<std::mutex> hold(lock);
        live.clear();
    }
    for (int i = 0; i < 4; ++i)
        patches[i].reset(
            new ImportPatch(module, "msvcrt.dll", functions[i].name, functions[i].standIn));
    realMalloc = reinterpret_cast<void* (*)(size_t)>(patches[0]->Original());
    realCalloc = reinterpret_cast<void* (*)(size_t, size_t)>(patches[1]->Original());
    realRealloc = reinterpret_cast<void* (*)(void*, size_t)>(patches[2]->Original());
    realFree = reinterpret_cast<void (*)(void*)>(patches[3]->Original());
}

HeapBlockCounter::~HeapBlockCounter() = default;

bool HeapBlockCounter::IsActive() const
{
    for (const auto& patch : patches) {
        if (!patch->IsActive())
            return false;
    }
    return true;
}

long HeapBlockCounter::Live() const
{
    std::lock_guard<std::mutex> hold(lock);
    return static_cast<long>(live.size());
}

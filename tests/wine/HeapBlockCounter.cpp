// The C runtime's heap blocks a module holds, counted at its imports.
#include "HeapBlockCounter.h"

#include <cstdlib>
#include <mutex>
#include <set>

namespace {

std::mutex lock;
std::set<void*>* live;
void* (*realMalloc)(size_t);
void* (*realCalloc)(size_t, size_t);
void* (*realRealloc)(void*, size_t);
void (*realFree)(void*);

void Add(void* block)
{
    std::lock_guard<std::mutex> hold(lock);
    if (block != nullptr && live != nullptr)
        live->insert(block);
}

void Remove(void* block)
{
    std::lock_guard<std::mutex> hold(lock);
    if (live != nullptr)
        live->erase(block);
}

void* CountingMalloc(size_t size)
{
    void* block = realMalloc(size);
    Add(block);
    return block;
}

void* CountingCalloc(size_t count, size_t size)
{
    void* block = realCalloc(count, size);
    Add(block);
    return block;
}

void* CountingRealloc(void* old, size_t size)
{
    void* block = realRealloc(old, size);
    if (block != nullptr || size == 0)
        Remove(old);
    Add(block);
    return block;
}

void CountingFree(void* block)
{
    Remove(block);
    realFree(block);
}

} // namespace

HeapBlockCounter::HeapBlockCounter(HMODULE module)
{
    {
        std::lock_guard<std::mutex> hold(lock);
        live = new std::set<void*>();
    }
    patches[0].reset(
        new ImportPatch(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&CountingMalloc)));
    patches[1].reset(
        new ImportPatch(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&CountingCalloc)));
    patches[2].reset(new ImportPatch(module, "msvcrt.dll", "realloc",
                                     reinterpret_cast<void*>(&CountingRealloc)));
    patches[3].reset(
        new ImportPatch(module, "msvcrt.dll", "free", reinterpret_cast<void*>(&CountingFree)));
    realMalloc = reinterpret_cast<void* (*)(size_t)>(patches[0]->Original());
    realCalloc = reinterpret_cast<void* (*)(size_t, size_t)>(patches[1]->Original());
    realRealloc = reinterpret_cast<void* (*)(void*, size_t)>(patches[2]->Original());
    realFree = reinterpret_cast<void (*)(void*)>(patches[3]->Original());
}

HeapBlockCounter::~HeapBlockCounter()
{
    for (auto& patch : patches)
        patch.reset();
    std::lock_guard<std::mutex> hold(lock);
    delete live;
    live = nullptr;
}

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
    return live != nullptr ? static_cast<long>(live->size()) : 0;
}

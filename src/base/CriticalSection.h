// A Windows critical section and the scoped guard that holds it: every lock of the
// library and of the ASPI layers (ours and the simulated one) is entered and left through
// ScopedLock, or through the guard of our layer's shared queue (AdapterSystemLock).
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section); }
    ~CriticalSection() { DeleteCriticalSection(&section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // For a guard of another kind that holds this section (our layer's AdapterSystemLock).
    void Enter() { EnterCriticalSection(&section); }
    void Leave() { LeaveCriticalSection(&section); }

private:
    friend class ScopedLock;
    CRITICAL_SECTION section;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& lock) : held(lock) { EnterCriticalSection(&held.section); }
    ~ScopedLock() { LeaveCriticalSection(&held.section); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& held;
};

// The tests' host side of kdll.dll: the library loaded the way a host loads it, with
// its four exports bound by name.
#pragma once

#include <windows.h>

#include "kdll.h"

class KdllLink {
public:
    KdllLink();
    ~KdllLink();
    KdllLink(const KdllLink&) = delete;
    KdllLink& operator=(const KdllLink&) = delete;

    int IsBound() const
    {
        return create != nullptr && open != nullptr && close != nullptr && destroy != nullptr;
    }
    HMODULE Module() const { return module; }
    // Frees the library as a host does when it is done with it; the exports are unbound.
    void Release();

    KDLL_CreateFn create;
    KDLL_OpenFn open;
    KDLL_CloseFn close;
    KDLL_DestroyFn destroy;

private:
    HMODULE module;
};

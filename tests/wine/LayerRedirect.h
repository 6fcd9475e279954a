// Makes a module's LoadLibraryA("WNASPI32.dll") load our pass-through layer (as
// sptilayer.dll) instead of the simulated one beside the test program, for as long as
// the redirect lives. Other names load as before.
#pragma once

#include <windows.h>

#include <memory>

#include "ImportPatch.h"

class LayerRedirect {
public:
    explicit LayerRedirect(HMODULE module);
    int IsActive() const { return patch->IsActive(); }

private:
    std::unique_ptr<ImportPatch> patch;
};

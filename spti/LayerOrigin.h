// Where the WNASPI32.dll that a program loaded comes from: its file, and whether it is
// Wine's built-in stub, which answers every request with a refusal and reaches no drive.
#pragma once

#include <windows.h>

#include <string>

class LayerOrigin {
public:
    // layer: a loaded WNASPI32.dll, or null.
    explicit LayerOrigin(HMODULE layer);

    // True when this process runs under Wine (ntdll exports wine_get_version).
    static bool RunsOnWine();

    // The module's file; empty without a module.
    const std::string& Path() const { return path; }
    bool IsWineBuiltin() const { return wineBuiltin; }

private:
    std::string path;
    bool wineBuiltin;
};

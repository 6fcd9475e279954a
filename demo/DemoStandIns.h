// The demo's stand-ins for MessageBoxA and ExitWindowsEx: a box is answered OK without
// being shown, and a shut-down request is kept from Windows (under Wine a real one ends
// the whole session). Each prints what it was asked. They take the place of the real
// functions in the import address table of a module: the library, and the program's own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class DemoStandIns {
public:
    DemoStandIns();

    // Points module's calls of MessageBoxA (with boxes) and of ExitWindowsEx (with
    // shutDown) at the stand-ins. 1 when the module calls each through its import table.
    int Install(HMODULE module, int boxes, int shutDown);

    std::vector<std::string> boxCaptions; // of every box answered, in order
    std::string lastBoxText;
    int shutDownRequests;
    UINT lastShutDownFlags;
};

// The one set of stand-ins, which the replaced functions report to.
extern DemoStandIns standIns;

// The one layer of a WNASPI32.dll of ours, which WnAspi32Module.cpp makes and serves the
// ASPI entry points with, for the DLL's other exports. Each DLL names the layer's class
// in a ModuleLayer.h of its own, found on its include path.
#pragma once

#include "ModuleLayer.h"

// The DLL's layer, there from the process attach on.
ModuleLayer& TheModuleLayer();

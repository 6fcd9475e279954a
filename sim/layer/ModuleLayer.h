// The layer behind the simulated wnaspi32.dll's ASPI entry points (scsi/WnAspi32Module.cpp).
#pragma once

#include "SimLayer.h"

typedef SimLayer ModuleLayer;

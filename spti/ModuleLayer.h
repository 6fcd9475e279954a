// The layer behind our WNASPI32.dll's ASPI entry points (scsi/WnAspi32Module.cpp).
#pragma once

#include "PassThroughLayer.h"

typedef PassThroughLayer ModuleLayer;

// The fuzz targets build the capability table natively: of the Windows owners, only those of global
// memory, over the shim's global memory.
#pragma once

#include "win/GlobalMemory.h"

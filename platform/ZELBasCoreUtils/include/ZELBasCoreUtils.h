// ZELBasCoreUtils: the code base's core utilities module (stand-in). Its
// string operations are declared with the string itself, in ZELString.h.
#pragma once

#include "ZELBasModulePair.h"

#if defined(ZELBASCOREUTILS_BUILD)
#define ZELBASCOREUTILS_API ZELBAS_EXPORT
#else
#define ZELBASCOREUTILS_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasCoreUtils, ZELBASCOREUTILS_API)

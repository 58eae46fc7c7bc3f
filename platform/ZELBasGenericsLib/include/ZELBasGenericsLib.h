/// @file ZELBasGenericsLib.h
/// ZELBasGenericsLib: the code base's generic containers module.
/// Its engines are declared with the typed containers, in ZELBasVector.h and
/// ZELBasMap.h.
#pragma once

#include "ZELBasModulePair.h"

/// Marks what this module exports: ZELBAS_EXPORT while it is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASGENERICSLIB_BUILD)
#define ZELBASGENERICSLIB_API ZELBAS_EXPORT
#else
#define ZELBASGENERICSLIB_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasGenericsLib, ZELBASGENERICSLIB_API)

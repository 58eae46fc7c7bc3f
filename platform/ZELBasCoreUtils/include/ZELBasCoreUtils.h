/// @file ZELBasCoreUtils.h
/// ZELBasCoreUtils: the code base's core utilities module. Its
/// string operations are declared with the string itself, in ZELString.h.
#pragma once

#include "ZELBasModulePair.h"

/// Marks what this module exports: ZELBAS_EXPORT while it is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASCOREUTILS_BUILD)
#define ZELBASCOREUTILS_API ZELBAS_EXPORT
#else
#define ZELBASCOREUTILS_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasCoreUtils, ZELBASCOREUTILS_API)

/// @file ZELBasShared.h
/// ZELBasShared: the code base's shared module (stand-in): file access.
#pragma once

#include <cstdio>

#include "ZELBasModulePair.h"
#include "ZELString.h"

/// Marks what this module exports: ZELBAS_EXPORT while it is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASSHARED_BUILD)
#define ZELBASSHARED_API ZELBAS_EXPORT
#else
#define ZELBASSHARED_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasShared, ZELBASSHARED_API)

/// File operations of the shared module.
class ZELBasFileOps {
public:
  /// Opens the file named by `fileName` (UTF-8) with the C `mode`; null on
  /// failure.
  ZELBASSHARED_API static FILE* Fopen(const ZELString& fileName, const char* mode);
};

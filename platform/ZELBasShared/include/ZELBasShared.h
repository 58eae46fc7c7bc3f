/// @file ZELBasShared.h
/// ZELBasShared: the code base's shared module (stand-in): file access.
#pragma once

#include <cstddef>
#include <cstdint>
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
  /// failure, with errno set. A folder is never opened.
  ///
  /// With "w" (or "wb", "wt") and a regular file or a path that does not
  /// exist yet, the stream writes a new file in the same folder, private to
  /// this process, and fclose puts it in the target's place only when every
  /// write, the flush and the sync succeeded and the name still holds the
  /// file first opened; otherwise fclose fails, the new file is gone and the
  /// target is left as it was. The new file takes the replaced file's owner
  /// and group (where allowed), extended attributes and mode, or 0666 less
  /// the umask. A symbolic link is followed to the file it names, or would
  /// name. Devices, pipes and other special files are written in place; so
  /// are a mount point and a writable file in a folder that takes no new
  /// file, once the whole text has been written to the stream.
  ///
  /// On Windows every stream is binary (no line-end translation), the new
  /// file keeps the replaced file's attributes and access list, and Fclose,
  /// not fclose, puts it in place.
  ZELBASSHARED_API static FILE* Fopen(const ZELString& fileName, const char* mode);

  /// Closes a stream that Fopen gave, as fclose does, with fclose's result;
  /// a replacing stream takes the target's place here. On POSIX systems
  /// fclose itself does that, and this is fclose.
#if defined(_WIN32)
  ZELBASSHARED_API static int Fclose(FILE* stream);
#else
  static int Fclose(FILE* stream) { return std::fclose(stream); }
#endif
};

// For tests:

/// Writes through the replacing streams of Fopen(name, "w") fail once
/// `bytes` more bytes have gone through them (all streams together);
/// SIZE_MAX, the default, turns failures off. On Windows the bytes are
/// counted, and the failure seen, when the stream is closed.
ZELBASSHARED_API void ZELBasShared_FailWritesAfter(size_t bytes);

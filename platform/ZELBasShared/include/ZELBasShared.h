/// @file ZELBasShared.h
/// ZELBasShared: the code base's shared module: file access.
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
  /// With "w" (or "wb", "wt") the target is found as the kernel finds it
  /// for a shell's `>`, and refused where that would be refused. A regular
  /// file, or a path that does not exist yet, is written through a new file
  /// in the same folder, which fclose puts in the target's place only when
  /// every write, the flush and the sync succeeded and the name still holds
  /// the file first opened (or a file another writer of this module put
  /// there meanwhile); otherwise fclose fails, the new file is gone and the
  /// target is left as it was. The new file takes the replaced file's
  /// owner, group, extended attributes (ACLs among them) and mode, less the
  /// set-user-ID and set-group-ID bits where a write would clear them; a new
  /// target gets what open(O_CREAT) would give it. Pipes, sockets,
  /// terminals and other special files, also behind /dev/stdout and other
  /// magic links, are written in place as they come. A regular file is
  /// written in place, once the whole text is gathered and room for it
  /// found, and while no other in-place writer of it runs, where no new file
  /// can take its place: behind a magic link, a mount point, a file in a
  /// folder that takes no new file, a file of another user that this one may
  /// write but not give away.
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

  /// Closes a stream that Fopen gave without putting what was written in
  /// place: a replacing stream's new file is removed and the target left as
  /// it was (the result is then EOF, errno ECANCELED). Other streams are
  /// closed as Fclose closes them.
  ZELBASSHARED_API static int Fdiscard(FILE* stream);
};

// For tests:

/// Writes through the replacing streams of Fopen(name, "w") fail once
/// `bytes` more bytes have gone through them (all streams together);
/// SIZE_MAX, the default, turns failures off. On Windows the bytes are
/// counted, and the failure seen, when the stream is closed.
ZELBASSHARED_API void ZELBasShared_FailWritesAfter(size_t bytes);

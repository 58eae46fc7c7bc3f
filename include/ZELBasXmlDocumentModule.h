/// @file ZELBasXmlDocumentModule.h
/// Bringing the module up and down: the counted initialize and finalize
/// entry points shared with the modules it depends on, and the loader entry.
///
/// The first initialization, by any route, initializes the parser, shared,
/// core utilities, generic containers and memory modules, then this module's
/// unit and its specific part; later ones only count. The last finalization
/// undoes it in the exact reverse order; earlier ones only count.
///
/// A tally is an `int` owned by whoever starts a chain. Within this module it
/// rises by 1 whenever one of the module's counters goes from 0 to 1 and falls
/// by 1 whenever one goes from 1 to 0; the same reference is handed to each
/// depended-on module, which may change it in its own way.
///
/// The counters are plain integers compared only for equality with zero:
/// initialize and finalize calls must be balanced, and must not race with
/// each other or with a load or unload of the module.
#pragma once

#include <cstdint>

#include "ZELString.h"

#if defined(_WIN32)
// HINSTANCE without <windows.h> and its macros.
struct HINSTANCE__;
#endif

/// Module initialize step on the caller's tally. Only the call that takes the
/// module counter from 0 to 1 does any work; it adds 1 to `tally` and starts
/// the depended-on modules, the unit and the specific part.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_initialize(int& tally);

/// Module finalize step on the caller's tally. Only the call that takes the
/// module counter from 1 to 0 does any work; it takes 1 from `tally` and stops
/// the specific part, the unit and the depended-on modules, in that order.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_finalize(int& tally);

/// Raises the specific part's counter; adds 1 to `tally` when it was 0.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_specific_initialize(int& tally);

/// Lowers the specific part's counter; takes 1 from `tally` when it reaches 0.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_specific_finalize(int& tally);

/// Raises the unit's counter; adds 1 to `tally` when it was 0.
ZELBASXMLDOCUMENT_API void ZELBasXmlDoc_initialize(int& tally);

/// Lowers the unit's counter; takes 1 from `tally` when it reaches 0.
ZELBASXMLDOCUMENT_API void ZELBasXmlDoc_finalize(int& tally);

extern "C" {

/// Module initialize step on the module's own tally for this pair.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_initializeC();

/// Module finalize step on the module's own tally for this pair.
ZELBASXMLDOCUMENT_API void ZELBasXmlDocument_finalizeC();

/// Marks the module as one of the code base's own; always 1.
ZELBASXMLDOCUMENT_API int KELVORY_TWAX_INTERNAL_ZELBasXmlDocument();

#if defined(_WIN32)
/// Loader entry: process attach (1) runs the module initialize step and
/// process detach (0) the module finalize step, both on the attach tally;
/// any other reason does nothing. Never refuses the load: always TRUE. The
/// types are those of BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID).
ZELBASXMLDOCUMENT_API int __stdcall DllMain(HINSTANCE__* instance, unsigned long reason, void* reserved);
#else
/// Loader entry: process attach (1) runs the module initialize step and
/// process detach (0) the module finalize step, both on the attach tally;
/// any other reason does nothing. Always 1. The shared library calls it
/// itself with 1 when loaded and with 0 when unloaded.
ZELBASXMLDOCUMENT_API int DllMain(void* instance, uint32_t reason, void* reserved);
#endif

// For tests only: the module's counters and tallies, read without changing
// them. C names so a host can look them up in a library it loaded itself.

/// Outstanding initializations of the module, by any route.
ZELBASXMLDOCUMENT_API int ZELBasXmlDocument_GetModuleCounter();
/// Outstanding initializations of the specific part.
ZELBASXMLDOCUMENT_API int ZELBasXmlDocument_GetSpecificCounter();
/// Outstanding initializations of the unit.
ZELBASXMLDOCUMENT_API int ZELBasXmlDocument_GetUnitCounter();
/// The tally DllMain passes down.
ZELBASXMLDOCUMENT_API int ZELBasXmlDocument_GetAttachTally();
/// The tally ZELBasXmlDocument_initializeC and ZELBasXmlDocument_finalizeC
/// pass down.
ZELBASXMLDOCUMENT_API int ZELBasXmlDocument_GetCTally();

}  // extern "C"

// The loader's entry into the module. Windows calls DllMain itself; on other
// platforms the ELF constructor and destructor below stand in for the
// loader's process attach and detach, so a loaded module is already up
// before a host calls anything.
#include "ZELBasXmlDocumentModule.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zelbas_detail {

int attachTally;

// The module's own entry, hidden and so bound within the library: a host
// that defines its own DllMain takes over the exported name, never what the
// load hook below calls.
int Attach(uint32_t reason) {
  if (reason == 1) {
    ZELBasXmlDocument_initialize(attachTally);
  } else if (reason == 0) {
    ZELBasXmlDocument_finalize(attachTally);
  }
  // Thread attach and detach, and any other reason, are none of ours; the
  // load is never refused.
  return 1;
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return Attach(reason); }
#else
int DllMain(void*, uint32_t reason, void*) { return Attach(reason); }
#endif

int KELVORY_TWAX_INTERNAL_ZELBasXmlDocument() { return 1; }

int ZELBasXmlDocument_GetAttachTally() { return attachTally; }

#if !defined(_WIN32)
// Plain ELF constructor and destructor rather than a static object: the
// module has no static objects, and these run exactly at load and unload.
__attribute__((constructor)) static void ZELBasXmlDocument_processAttach() { Attach(1); }

__attribute__((destructor)) static void ZELBasXmlDocument_processDetach() { Attach(0); }
#endif

// The string's inline members belong to this module's exports. This file is
// compiled with -fkeep-inline-functions, so that each of them has an
// out-of-line definition here, under this module's name, for hosts that
// call rather than inline them. (A DLL lists them for export from this file's
// object: see src/CMakeLists.txt.)
#include "ZELString.h"

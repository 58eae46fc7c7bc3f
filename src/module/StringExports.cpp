// The string's inline members, each defined out of line here under this
// module's name for hosts that call rather than inline them (see
// cmake/InlineExports.cmake, which compiles this file to that end).
#include "ZELString.h"

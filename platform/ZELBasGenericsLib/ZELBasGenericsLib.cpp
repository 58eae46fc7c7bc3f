// The generic containers module's start-up pair.
#include "ZELBasGenericsLib.h"

ZELBAS_DEFINE_MODULE_PAIR(ZELBasGenericsLib)

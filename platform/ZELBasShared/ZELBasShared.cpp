#include "ZELBasShared.h"

ZELBAS_DEFINE_MODULE_PAIR(ZELBasShared)

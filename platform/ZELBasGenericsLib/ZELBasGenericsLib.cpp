#include "ZELBasGenericsLib.h"

ZELBAS_DEFINE_MODULE_PAIR(ZELBasGenericsLib)

#include "ZELBasShared.h"

FILE* ZELBasFileOps::Fopen(const ZELString& fileName, const char* mode) {
  return std::fopen(fileName.CastToCharPtr(), mode);
}

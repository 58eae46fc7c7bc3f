// The counted start-up and shut-down of the module. The counters are plain
// ints, zero before any code runs, and are only ever tested for equality with
// zero: an unbalanced finalize drives one below zero rather than being
// caught, and the next initialize then only brings it back.
#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

int moduleCounter;
int specificCounter;
int unitCounter;
int cTally;

}  // namespace zelbas_detail

using namespace zelbas_detail;

void ZELBasXmlDoc_initialize(int& tally) {
  if (unitCounter++ == 0) ++tally;
}

void ZELBasXmlDoc_finalize(int& tally) {
  if (--unitCounter == 0) --tally;
}

void ZELBasXmlDocument_specific_initialize(int& tally) {
  if (specificCounter++ == 0) ++tally;
}

void ZELBasXmlDocument_specific_finalize(int& tally) {
  if (--specificCounter == 0) --tally;
}

void ZELBasXmlDocument_initialize(int& tally) {
  if (moduleCounter++ != 0) return;
  ++tally;
  ZELBasXmlParser_initialize(tally);
  ZELBasShared_initialize(tally);
  ZELBasCoreUtils_initialize(tally);
  ZELBasGenericsLib_initialize(tally);
  ZELBasAlloc_initialize(tally);
  ZELBasXmlDoc_initialize(tally);
  ZELBasXmlDocument_specific_initialize(tally);
}

// The exact mirror of the initialize step.
void ZELBasXmlDocument_finalize(int& tally) {
  if (--moduleCounter != 0) return;
  --tally;
  ZELBasXmlDocument_specific_finalize(tally);
  ZELBasXmlDoc_finalize(tally);
  ZELBasAlloc_finalize(tally);
  ZELBasGenericsLib_finalize(tally);
  ZELBasCoreUtils_finalize(tally);
  ZELBasShared_finalize(tally);
  ZELBasXmlParser_finalize(tally);
}

void ZELBasXmlDocument_initializeC() { ZELBasXmlDocument_initialize(cTally); }

void ZELBasXmlDocument_finalizeC() { ZELBasXmlDocument_finalize(cTally); }

int ZELBasXmlDocument_GetModuleCounter() { return moduleCounter; }

int ZELBasXmlDocument_GetSpecificCounter() { return specificCounter; }

int ZELBasXmlDocument_GetUnitCounter() { return unitCounter; }

int ZELBasXmlDocument_GetCTally() { return cTally; }

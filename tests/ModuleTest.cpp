// The module's counted start-up and shut-down as one script over every route:
// the host's pair, the C pair, DllMain, and the unit's and the specific
// part's own pairs. Loading the library attached it, so the script starts and
// ends with everything up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

namespace {

void (*const kObserve[])(ZELBasModuleObserver) = {ZELBasXmlParser_SetObserver, ZELBasShared_SetObserver,
                                                  ZELBasCoreUtils_SetObserver, ZELBasGenericsLib_SetObserver,
                                                  ZELBasAlloc_SetObserver};

// Route H (the host's pair), C (the C pair), D (DllMain with `argument` as
// the reason), U or S (the unit's or the specific part's pair); `argument`
// 1 initializes and 0 finalizes. Then the dependencies' calls it makes
// ('+' start-up, '-' shut-down, '.' none), the change of its own tally (no
// other tally may move) and the module's, the unit's and the specific
// part's counters after it.
struct Step {
  char route;
  unsigned argument;
  char calls;
  int tally;
  int module, unit, specific;
};

// clang-format off
const Step kScript[] = {
    // Other reasons, and initializations of a module that is up, only count.
    {'D', 2, '.', 0, 1, 1, 1},  {'D', 3, '.', 0, 1, 1, 1},  {'D', 0xFFFFFFFF, '.', 0, 1, 1, 1},
    {'H', 1, '.', 0, 2, 1, 1},  {'C', 1, '.', 0, 3, 1, 1},  {'D', 1, '.', 0, 4, 1, 1},
    {'H', 0, '.', 0, 3, 1, 1},  {'C', 0, '.', 0, 2, 1, 1},  {'D', 0, '.', 0, 1, 1, 1},
    // A host's unmatched finalize tears the loaded module down; then each
    // route starts and stops it on its own tally.
    {'H', 0, '-', -8, 0, 0, 0}, {'H', 1, '+', 8, 1, 1, 1},  {'H', 1, '.', 0, 2, 1, 1},
    {'H', 0, '.', 0, 1, 1, 1},  {'H', 0, '-', -8, 0, 0, 0}, {'C', 1, '+', 8, 1, 1, 1},
    {'C', 1, '.', 0, 2, 1, 1},  {'C', 0, '.', 0, 1, 1, 1},  {'C', 0, '-', -8, 0, 0, 0},
    {'D', 1, '+', 8, 1, 1, 1},  {'D', 0, '-', -8, 0, 0, 0},
    // Below zero every counter only counts, and the next initialize only
    // brings it back.
    {'D', 0, '.', 0, -1, 0, 0}, {'H', 1, '.', 0, 0, 0, 0},  {'U', 0, '.', 0, 0, -1, 0},
    {'U', 1, '.', 0, 0, 0, 0},  {'S', 0, '.', 0, 0, 0, -1}, {'S', 1, '.', 0, 0, 0, 0},
    // A part already up when the module starts adds nothing to its tally.
    {'U', 1, '.', 1, 0, 1, 0},  {'H', 1, '+', 7, 1, 2, 1},  {'H', 0, '-', -7, 0, 1, 0},
    {'S', 1, '.', 1, 0, 1, 1},  {'D', 1, '+', 6, 1, 2, 2},  {'D', 0, '-', -6, 0, 1, 1},
    {'U', 0, '.', -1, 0, 0, 1}, {'S', 0, '.', -1, 0, 0, 0}, {'D', 1, '+', 8, 1, 1, 1},
};
// clang-format on

int hostTally, partTally;
// The host's, the C pair's, the attach and the parts' tallies.
std::vector<int> Tallies() {
  return {hostTally, ZELBasXmlDocument_GetCTally(), ZELBasXmlDocument_GetAttachTally(), partTally};
}

// Each dependency call, with the changes of the unit's and the specific
// part's counters since the step began: the dependencies come up before the
// two parts, and go down after them.
std::string calls;
int unitBefore, specificBefore;
void Record(const char* module, int up) {
  calls += std::string(module) + (up ? "+" : "-") +
           std::to_string(ZELBasXmlDocument_GetUnitCounter() - unitBefore) +
           std::to_string(ZELBasXmlDocument_GetSpecificCounter() - specificBefore) + " ";
}
const char kStartUp[] =
    "ZELBasXmlParser+00 ZELBasShared+00 ZELBasCoreUtils+00 ZELBasGenericsLib+00 ZELBasAlloc+00 ";
const char kShutDown[] =
    "ZELBasAlloc--1-1 ZELBasGenericsLib--1-1 ZELBasCoreUtils--1-1 ZELBasShared--1-1 ZELBasXmlParser--1-1 ";

TEST(ModuleLifecycleTest, EveryRouteCountsStartsAndStopsInOrder) {
  for (auto observe : kObserve) observe(Record);
  for (const Step& s : kScript) {
    SCOPED_TRACE(std::string("step ") + std::to_string(&s - kScript) + ": " + s.route);
    std::vector<int> tallies = Tallies();
    unitBefore = ZELBasXmlDocument_GetUnitCounter();
    specificBefore = ZELBasXmlDocument_GetSpecificCounter();
    calls.clear();
    switch (s.route) {
      case 'H':
        (s.argument ? ZELBasXmlDocument_initialize : ZELBasXmlDocument_finalize)(hostTally);
        break;
      case 'C':
        (s.argument ? ZELBasXmlDocument_initializeC : ZELBasXmlDocument_finalizeC)();
        break;
      case 'D':
        EXPECT_EQ(DllMain(nullptr, s.argument, nullptr), 1);
        break;
      case 'U':
        (s.argument ? ZELBasXmlDoc_initialize : ZELBasXmlDoc_finalize)(partTally);
        break;
      default:
        (s.argument ? ZELBasXmlDocument_specific_initialize : ZELBasXmlDocument_specific_finalize)(partTally);
    }
    tallies[std::min<size_t>(std::string("HCDUS").find(s.route), 3)] += s.tally;
    EXPECT_EQ(Tallies(), tallies);
    EXPECT_EQ(calls, s.calls == '+' ? kStartUp : s.calls == '-' ? kShutDown : "");
    EXPECT_EQ((std::vector<int>{ZELBasXmlDocument_GetModuleCounter(), ZELBasXmlDocument_GetUnitCounter(),
                                ZELBasXmlDocument_GetSpecificCounter()}),
              (std::vector<int>{s.module, s.unit, s.specific}));
  }
  for (auto observe : kObserve) observe(nullptr);  // the detach at exit is not watched
}

}  // namespace

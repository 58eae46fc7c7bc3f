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

struct Dependency {
  const char* name;
  int (*counter)();
  void (*observe)(ZELBasModuleObserver);
};
const Dependency kDependencies[] = {
    {"ZELBasXmlParser", ZELBasXmlParser_GetCounter, ZELBasXmlParser_SetObserver},
    {"ZELBasShared", ZELBasShared_GetCounter, ZELBasShared_SetObserver},
    {"ZELBasCoreUtils", ZELBasCoreUtils_GetCounter, ZELBasCoreUtils_SetObserver},
    {"ZELBasGenericsLib", ZELBasGenericsLib_GetCounter, ZELBasGenericsLib_SetObserver},
    {"ZELBasAlloc", ZELBasAlloc_GetCounter, ZELBasAlloc_SetObserver},
};

// Route H (the host's pair), C (the C pair), D (DllMain with `argument` as
// the reason), U or S (the unit's or the specific part's pair); `argument`
// 1 initializes and 0 finalizes. Then the dependencies' calls it makes
// ('+' start-up, '-' shut-down, '.' none), the change of its own tally (no
// other tally may move) and the counters after it.
struct Step {
  char route;
  unsigned argument;
  char calls;
  int tally;
  int module, unit, specific, dependencies;
};

// clang-format off
const Step kScript[] = {
    // Other reasons, and initializations of a module that is up, only count.
    {'D', 2, '.', 0, 1, 1, 1, 1},  {'D', 3, '.', 0, 1, 1, 1, 1},  {'D', 0xFFFFFFFF, '.', 0, 1, 1, 1, 1},
    {'H', 1, '.', 0, 2, 1, 1, 1},  {'C', 1, '.', 0, 3, 1, 1, 1},  {'D', 1, '.', 0, 4, 1, 1, 1},
    {'H', 0, '.', 0, 3, 1, 1, 1},  {'C', 0, '.', 0, 2, 1, 1, 1},  {'D', 0, '.', 0, 1, 1, 1, 1},
    // A host's unmatched finalize tears the loaded module down; then each
    // route starts and stops it on its own tally.
    {'H', 0, '-', -8, 0, 0, 0, 0}, {'H', 1, '+', 8, 1, 1, 1, 1},  {'H', 1, '.', 0, 2, 1, 1, 1},
    {'H', 0, '.', 0, 1, 1, 1, 1},  {'H', 0, '-', -8, 0, 0, 0, 0}, {'C', 1, '+', 8, 1, 1, 1, 1},
    {'C', 1, '.', 0, 2, 1, 1, 1},  {'C', 0, '.', 0, 1, 1, 1, 1},  {'C', 0, '-', -8, 0, 0, 0, 0},
    {'D', 1, '+', 8, 1, 1, 1, 1},  {'D', 0, '-', -8, 0, 0, 0, 0},
    // Below zero every counter only counts, and the next initialize only
    // brings it back.
    {'D', 0, '.', 0, -1, 0, 0, 0}, {'H', 1, '.', 0, 0, 0, 0, 0},  {'U', 0, '.', 0, 0, -1, 0, 0},
    {'U', 1, '.', 0, 0, 0, 0, 0},  {'S', 0, '.', 0, 0, 0, -1, 0}, {'S', 1, '.', 0, 0, 0, 0, 0},
    // A part already up when the module starts adds nothing to its tally.
    {'U', 1, '.', 1, 0, 1, 0, 0},  {'H', 1, '+', 7, 1, 2, 1, 1},  {'H', 0, '-', -7, 0, 1, 0, 0},
    {'S', 1, '.', 1, 0, 1, 1, 0},  {'D', 1, '+', 6, 1, 2, 2, 1},  {'D', 0, '-', -6, 0, 1, 1, 0},
    {'U', 0, '.', -1, 0, 0, 1, 0}, {'S', 0, '.', -1, 0, 0, 0, 0}, {'D', 1, '+', 8, 1, 1, 1, 1},
};
// clang-format on

int hostTally, partTally;
// The host's, the C pair's, the attach and the parts' tallies.
std::vector<int> Tallies() {
  return {hostTally, ZELBasXmlDocument_GetCTally(), ZELBasXmlDocument_GetAttachTally(), partTally};
}

// Each dependency call, with the changes since the step began of the step's
// tally and of the unit's and the specific part's counters.
std::vector<std::string> calls;
size_t watched;
int tallyBefore, unitBefore, specificBefore;
void Record(const char* module, int up) {
  calls.push_back(std::string(module) + (up ? "+" : "-") + " n" +
                  std::to_string(Tallies()[watched] - tallyBefore) + " unit" +
                  std::to_string(ZELBasXmlDocument_GetUnitCounter() - unitBefore) + " specific" +
                  std::to_string(ZELBasXmlDocument_GetSpecificCounter() - specificBefore));
}

// The dependencies come up in order before the unit and the specific part,
// each adding 1 to a tally the module raised first; they go down in reverse
// after the specific part and the unit went down, the tally lowered first by
// the module and by each part that reached zero.
std::vector<std::string> Expected(const Step& s) {
  std::vector<std::string> expected;
  int n = s.calls == '+' ? 1 : -1 - (s.specific == 0) - (s.unit == 0);
  for (int i = 0, up = s.calls == '+'; i < 5 && s.calls != '.'; ++i) {
    expected.push_back(std::string(kDependencies[up ? i : 4 - i].name) + (up ? "+ n" : "- n") +
                       std::to_string(up ? n + i : n - i) + (up ? " unit0 specific0" : " unit-1 specific-1"));
  }
  return expected;
}

TEST(ModuleLifecycleTest, EveryRouteCountsStartsAndStopsInOrder) {
  for (const Dependency& d : kDependencies) d.observe(Record);
  for (const Step& s : kScript) {
    SCOPED_TRACE(std::string("step ") + std::to_string(&s - kScript) + ": " + s.route);
    watched = std::min<size_t>(std::string("HCDUS").find(s.route), 3);
    std::vector<int> tallies = Tallies();
    tallyBefore = tallies[watched];
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
    tallies[watched] += s.tally;
    EXPECT_EQ(Tallies(), tallies);
    EXPECT_EQ(calls, Expected(s));
    std::vector<int> counters = {ZELBasXmlDocument_GetModuleCounter(), ZELBasXmlDocument_GetUnitCounter(),
                                 ZELBasXmlDocument_GetSpecificCounter()};
    for (const Dependency& d : kDependencies) counters.push_back(d.counter());
    EXPECT_EQ(counters, (std::vector<int>{s.module, s.unit, s.specific, s.dependencies, s.dependencies,
                                          s.dependencies, s.dependencies, s.dependencies}));
  }
  for (const Dependency& d : kDependencies) d.observe(nullptr);
}

}  // namespace

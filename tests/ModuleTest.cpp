#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

// Loading the library attached it, so each test starts with the module up;
// the fixture puts every counter back to that afterwards.

namespace {

int hostTally;
void HostUp() { ZELBasXmlDocument_initialize(hostTally); }
void HostDown() { ZELBasXmlDocument_finalize(hostTally); }
void OtherReasons() {  // thread attach/detach and unknown reasons must not count
  for (uint32_t reason : {2u, 3u, 4u, 0xFFFFFFFFu}) EXPECT_EQ(DllMain(nullptr, reason, nullptr), 1) << reason;
}

struct Route {
  const char* name;
  void (*up)();
  void (*down)();
  int (*tally)();
};
const Route kRoutes[] = {
    {"host pair", HostUp, HostDown, [] { return hostTally; }},
    {"C pair", ZELBasXmlDocument_initializeC, ZELBasXmlDocument_finalizeC, ZELBasXmlDocument_GetCTally},
    {"DllMain", [] { EXPECT_EQ(DllMain(nullptr, 1, nullptr), 1); },
     [] { EXPECT_EQ(DllMain(nullptr, 0, nullptr), 1); }, ZELBasXmlDocument_GetAttachTally},
};
const Route& kHost = kRoutes[0];

struct Part {
  const char* name;
  void (*up)(int&);
  void (*down)(int&);
  int (*counter)();
};
const Part kModule = {"module", ZELBasXmlDocument_initialize, ZELBasXmlDocument_finalize,
                      ZELBasXmlDocument_GetModuleCounter};
const Part kParts[] = {
    {"unit", ZELBasXmlDoc_initialize, ZELBasXmlDoc_finalize, ZELBasXmlDocument_GetUnitCounter},
    {"specific", ZELBasXmlDocument_specific_initialize, ZELBasXmlDocument_specific_finalize,
     ZELBasXmlDocument_GetSpecificCounter},
};

// Each dependency call with the tally so far and the module's own parts, which
// must come up after the dependencies and go down before them.
std::vector<std::string> calls;
const Route* watched = &kHost;
int tallyAtStart;

void Record(const char* module, int up) {
  calls.push_back(std::string(module) + (up ? " up" : " down") +
                  " n=" + std::to_string(watched->tally() - tallyAtStart) +
                  " unit=" + std::to_string(ZELBasXmlDocument_GetUnitCounter()) +
                  " specific=" + std::to_string(ZELBasXmlDocument_GetSpecificCounter()));
}

void SetObservers(ZELBasModuleObserver observer) {
  for (auto set : {ZELBasXmlParser_SetObserver, ZELBasShared_SetObserver, ZELBasCoreUtils_SetObserver,
                   ZELBasGenericsLib_SetObserver, ZELBasAlloc_SetObserver})
    set(observer);
}

// The module, its unit and specific parts, then the five dependencies.
std::vector<int> Counters() {
  std::vector<int> counters;
  for (auto get : {ZELBasXmlDocument_GetModuleCounter, ZELBasXmlDocument_GetUnitCounter,
                   ZELBasXmlDocument_GetSpecificCounter, ZELBasXmlParser_GetCounter, ZELBasShared_GetCounter,
                   ZELBasCoreUtils_GetCounter, ZELBasGenericsLib_GetCounter, ZELBasAlloc_GetCounter})
    counters.push_back(get());
  return counters;
}
std::vector<int> Tallies() {
  std::vector<int> tallies;
  for (const Route& route : kRoutes) tallies.push_back(route.tally());
  return tallies;
}

const std::vector<std::string> kStartUp = {
    "ZELBasXmlParser up n=1 unit=0 specific=0", "ZELBasShared up n=2 unit=0 specific=0",
    "ZELBasCoreUtils up n=3 unit=0 specific=0", "ZELBasGenericsLib up n=4 unit=0 specific=0",
    "ZELBasAlloc up n=5 unit=0 specific=0",
};
const std::vector<std::string> kShutDown = {
    "ZELBasAlloc down n=-3 unit=0 specific=0",     "ZELBasGenericsLib down n=-4 unit=0 specific=0",
    "ZELBasCoreUtils down n=-5 unit=0 specific=0", "ZELBasShared down n=-6 unit=0 specific=0",
    "ZELBasXmlParser down n=-7 unit=0 specific=0",
};
const std::vector<std::string> kNothing;
const std::vector<int> kUp(8, 1), kDown(8, 0);

class ModuleLifecycleTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(Counters(), kUp) << "a previous test left the module changed";
    SetObservers(Record);
    hostTally = 0;
    Watch(kHost);
  }

  void TearDown() override {
    SetObservers(nullptr);
    int scratch = 0;
    for (const Part& part : {kModule, kParts[0], kParts[1]})
      while (part.counter() != 1) (part.counter() < 1 ? part.up : part.down)(scratch);
  }

  void Watch(const Route& route) {
    watched = &route;
    tallyAtStart = route.tally();
    calls.clear();
  }
  int TallyChange() const { return watched->tally() - tallyAtStart; }
  // Calls and tally change since Watch, and the counters now.
  std::tuple<std::vector<std::string>, int, std::vector<int>> Seen() const {
    return {calls, TallyChange(), Counters()};
  }

  void TakeDown() {
    HostDown();
    ASSERT_EQ(ZELBasXmlDocument_GetModuleCounter(), 0);
    Watch(kHost);
  }
};

TEST_F(ModuleLifecycleTest, NestedInitializationsAndOtherDllMainReasonsOnlyCount) {
  const std::vector<int> tallies = Tallies();
  OtherReasons();
  for (const Route& route : kRoutes) route.up();
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 4);
  for (const Route& route : kRoutes) route.down();
  EXPECT_EQ(Seen(), std::make_tuple(kNothing, 0, kUp));
  EXPECT_EQ(Tallies(), tallies);
}

TEST_F(ModuleLifecycleTest, EveryRouteStartsAndStopsOnItsOwnTally) {
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    Watch(kHost);
    HostDown();  // tears down what the attach brought up
    EXPECT_EQ(Seen(), std::make_tuple(kShutDown, -8, kDown));
    const std::vector<int> before = Tallies();

    Watch(route);
    route.up();
    EXPECT_EQ(Seen(), std::make_tuple(kStartUp, 8, kUp));
    Watch(route);
    route.up();
    route.down();
    EXPECT_EQ(Seen(), std::make_tuple(kNothing, 0, kUp));
    route.down();
    EXPECT_EQ(Seen(), std::make_tuple(kShutDown, -8, kDown));

    std::vector<int> after = Tallies();
    after[&route - kRoutes] = before[&route - kRoutes];
    EXPECT_EQ(after, before) << "another route's tally moved";
    HostUp();
  }
}

TEST_F(ModuleLifecycleTest, UnbalancedModuleFinalizeGoesBelowZeroAndOnlyCounts) {
  TakeDown();
  const std::vector<int> tallies = Tallies();
  OtherReasons();
  kRoutes[2].down();  // a detach after a host's unmatched finalize
  EXPECT_EQ(Counters(), (std::vector<int>{-1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(KELVORY_TWAX_INTERNAL_ZELBasXmlDocument(), 1);

  HostUp();
  EXPECT_EQ(Seen(), std::make_tuple(kNothing, 0, kDown));
  EXPECT_EQ(Tallies(), tallies);
  HostUp();
  EXPECT_EQ(Seen(), std::make_tuple(kStartUp, 8, kUp));
}

TEST_F(ModuleLifecycleTest, UnbalancedPartFinalizeGoesBelowZeroAndOnlyCounts) {
  for (const Part& part : kParts) {
    SCOPED_TRACE(part.name);
    int tally = 0;
    std::vector<int> seen;  // counter and tally after each step
    for (auto step : {part.down, part.down, part.up, part.up}) {
      step(tally);
      seen.insert(seen.end(), {part.counter(), tally});
    }
    EXPECT_EQ(seen, (std::vector<int>{0, -1, -1, -1, 0, -1, 1, 0}));
  }
  EXPECT_EQ(Seen(), std::make_tuple(kNothing, 0, kUp));
}

TEST_F(ModuleLifecycleTest, PartAlreadyUpWhenModuleStartsAddsNothingToTally) {
  for (const Part& part : kParts) {
    SCOPED_TRACE(part.name);
    TakeDown();
    int own = 0;
    part.up(own);
    HostUp();
    EXPECT_EQ(std::make_pair(part.counter(), TallyChange()), std::make_pair(2, 7));
    HostDown();
    EXPECT_EQ(std::make_pair(part.counter(), TallyChange()), std::make_pair(1, 0));
    part.down(own);
    EXPECT_EQ(std::make_pair(Counters(), own), std::make_pair(kDown, 0));
    HostUp();
  }
}

}  // namespace

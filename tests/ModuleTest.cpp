#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

// The library is loaded, so its attach has already brought the module up
// (counter 1). Every test starts from that state and the fixture puts the
// counters back afterwards, whatever the test did.

namespace {

// One way to bring the module up and down, with the tally it carries.
struct Route {
  const char* name;
  void (*up)();
  void (*down)();
  int (*tally)();
};

int hostTally;
void HostUp() { ZELBasXmlDocument_initialize(hostTally); }
void HostDown() { ZELBasXmlDocument_finalize(hostTally); }
int HostTally() { return hostTally; }
void Attach() { EXPECT_EQ(DllMain(nullptr, 1, nullptr), 1); }
void Detach() { EXPECT_EQ(DllMain(nullptr, 0, nullptr), 1); }

const Route kHost = {"host pair", HostUp, HostDown, HostTally};
const Route kRoutes[] = {
    kHost,
    {"C pair", ZELBasXmlDocument_initializeC, ZELBasXmlDocument_finalizeC, ZELBasXmlDocument_GetCTally},
    {"DllMain", Attach, Detach, ZELBasXmlDocument_GetAttachTally},
};

// One of the module's own inner parts, stepped through its exported pair.
struct Part {
  const char* name;
  void (*up)(int&);
  void (*down)(int&);
  int (*counter)();
};

const Part kParts[] = {
    {"unit", ZELBasXmlDoc_initialize, ZELBasXmlDoc_finalize, ZELBasXmlDocument_GetUnitCounter},
    {"specific", ZELBasXmlDocument_specific_initialize, ZELBasXmlDocument_specific_finalize,
     ZELBasXmlDocument_GetSpecificCounter},
};

// Each call into a depended-on module, with the tally it was handed (relative
// to the chain's start) and this module's unit and specific counters then.
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
  ZELBasXmlParser_SetObserver(observer);
  ZELBasShared_SetObserver(observer);
  ZELBasCoreUtils_SetObserver(observer);
  ZELBasGenericsLib_SetObserver(observer);
  ZELBasAlloc_SetObserver(observer);
}

std::vector<int> DependencyCounters() {
  return {ZELBasXmlParser_GetCounter(), ZELBasShared_GetCounter(), ZELBasCoreUtils_GetCounter(),
          ZELBasGenericsLib_GetCounter(), ZELBasAlloc_GetCounter()};
}

// From a down module: the module's own 1 comes first, the unit and specific
// part follow the memory module on the way up and precede it on the way down.
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
const std::vector<int> kAllUp = {1, 1, 1, 1, 1};
const std::vector<int> kAllDown = {0, 0, 0, 0, 0};

class ModuleLifecycleTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1) << "a previous test left the module changed";
    SetObservers(Record);
    hostTally = 0;
    Watch(kHost);
  }

  void TearDown() override {
    SetObservers(nullptr);
    int scratch = 0;
    while (ZELBasXmlDocument_GetModuleCounter() < 1) ZELBasXmlDocument_initialize(scratch);
    while (ZELBasXmlDocument_GetModuleCounter() > 1) ZELBasXmlDocument_finalize(scratch);
    for (const Part& part : kParts) {
      while (part.counter() < 1) part.up(scratch);
      while (part.counter() > 1) part.down(scratch);
    }
  }

  // Starts a new chain on `route`: calls and its tally are counted from here.
  void Watch(const Route& route) {
    watched = &route;
    tallyAtStart = route.tally();
    calls.clear();
  }
  int TallyChange() const { return watched->tally() - tallyAtStart; }

  void TakeDown() {
    HostDown();
    ASSERT_EQ(ZELBasXmlDocument_GetModuleCounter(), 0);
  }
};

TEST_F(ModuleLifecycleTest, LoadedModuleIsUpAndFurtherInitializationsOnlyCount) {
  EXPECT_EQ(DependencyCounters(), kAllUp);
  EXPECT_EQ(ZELBasXmlDocument_GetUnitCounter(), 1);
  EXPECT_EQ(ZELBasXmlDocument_GetSpecificCounter(), 1);
  EXPECT_EQ(KELVORY_TWAX_INTERNAL_ZELBasXmlDocument(), 1);

  // Nest every route inside the others; only the counter moves.
  const int cTally = ZELBasXmlDocument_GetCTally(), attachTally = ZELBasXmlDocument_GetAttachTally();
  for (const Route& route : kRoutes) route.up();
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 4);
  for (const Route& route : kRoutes) route.down();
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1);
  EXPECT_EQ(calls, kNothing);
  EXPECT_EQ(hostTally, 0);
  EXPECT_EQ(ZELBasXmlDocument_GetCTally(), cTally);
  EXPECT_EQ(ZELBasXmlDocument_GetAttachTally(), attachTally);
  EXPECT_EQ(DependencyCounters(), kAllUp);
  EXPECT_EQ(ZELBasXmlDocument_GetUnitCounter(), 1);
  EXPECT_EQ(ZELBasXmlDocument_GetSpecificCounter(), 1);
}

TEST_F(ModuleLifecycleTest, HostFinalizeTearsDownLoadedModuleAndInitializeRestartsIt) {
  HostDown();
  EXPECT_EQ(calls, kShutDown);
  EXPECT_EQ(TallyChange(), -8);
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 0);
  EXPECT_EQ(DependencyCounters(), kAllDown);

  Watch(kHost);
  HostUp();
  EXPECT_EQ(calls, kStartUp);
  EXPECT_EQ(TallyChange(), 8);
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1);
  EXPECT_EQ(ZELBasXmlDocument_GetUnitCounter(), 1);
  EXPECT_EQ(ZELBasXmlDocument_GetSpecificCounter(), 1);
  EXPECT_EQ(DependencyCounters(), kAllUp);
}

TEST_F(ModuleLifecycleTest, EveryRouteStartsAndStopsOnItsOwnTally) {
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    TakeDown();
    int others = 0;
    for (const Route& other : kRoutes) others += &other != &route ? other.tally() : 0;

    Watch(route);
    route.up();
    EXPECT_EQ(calls, kStartUp);
    EXPECT_EQ(TallyChange(), 8);
    Watch(route);
    route.up();
    route.down();
    EXPECT_EQ(calls, kNothing);
    EXPECT_EQ(TallyChange(), 0);
    EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1);
    route.down();
    EXPECT_EQ(calls, kShutDown);
    EXPECT_EQ(TallyChange(), -8);
    EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 0);

    int othersAfter = 0;
    for (const Route& other : kRoutes) othersAfter += &other != &route ? other.tally() : 0;
    EXPECT_EQ(othersAfter, others);
    HostUp();
  }
}

TEST_F(ModuleLifecycleTest, DllMainIgnoresEveryReasonButAttachAndDetach) {
  const int attachTally = ZELBasXmlDocument_GetAttachTally();
  for (int counter : {1, 0}) {
    if (counter == 0) TakeDown();
    Watch(kHost);
    for (uint32_t reason : {2u, 3u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      EXPECT_EQ(DllMain(nullptr, reason, nullptr), 1) << reason;
    }
    EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), counter);
    EXPECT_EQ(ZELBasXmlDocument_GetAttachTally(), attachTally);
    EXPECT_EQ(calls, kNothing);
  }
}

TEST_F(ModuleLifecycleTest, UnbalancedModuleFinalizeGoesBelowZeroAndOnlyCounts) {
  // The detach after a host's unmatched finalize.
  TakeDown();
  const int attachTally = ZELBasXmlDocument_GetAttachTally();
  Watch(kHost);
  Detach();
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), -1);
  EXPECT_EQ(ZELBasXmlDocument_GetAttachTally(), attachTally);
  EXPECT_EQ(KELVORY_TWAX_INTERNAL_ZELBasXmlDocument(), 1);

  HostUp();
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 0);
  EXPECT_EQ(TallyChange(), 0);
  EXPECT_EQ(calls, kNothing);
  EXPECT_EQ(DependencyCounters(), kAllDown);
  EXPECT_EQ(ZELBasXmlDocument_GetUnitCounter(), 0);
  EXPECT_EQ(ZELBasXmlDocument_GetSpecificCounter(), 0);

  HostUp();
  EXPECT_EQ(calls, kStartUp);
  EXPECT_EQ(TallyChange(), 8);
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1);
}

TEST_F(ModuleLifecycleTest, UnbalancedPartFinalizeGoesBelowZeroAndOnlyCounts) {
  for (const Part& part : kParts) {
    SCOPED_TRACE(part.name);
    int n = 0;
    part.down(n);
    EXPECT_EQ(part.counter(), 0);
    EXPECT_EQ(n, -1);
    part.down(n);
    EXPECT_EQ(part.counter(), -1);
    EXPECT_EQ(n, -1);
    part.up(n);
    EXPECT_EQ(part.counter(), 0);
    EXPECT_EQ(n, -1);
    part.up(n);
    EXPECT_EQ(part.counter(), 1);
    EXPECT_EQ(n, 0);
  }
  EXPECT_EQ(calls, kNothing);
  EXPECT_EQ(ZELBasXmlDocument_GetModuleCounter(), 1);
  EXPECT_EQ(DependencyCounters(), kAllUp);
}

TEST_F(ModuleLifecycleTest, PartAlreadyUpWhenModuleStartsAddsNothingToTally) {
  for (const Part& part : kParts) {
    SCOPED_TRACE(part.name);
    TakeDown();
    int own = 0;
    part.up(own);

    Watch(kHost);
    HostUp();
    EXPECT_EQ(part.counter(), 2);
    EXPECT_EQ(TallyChange(), 7);
    Watch(kHost);
    HostDown();
    EXPECT_EQ(part.counter(), 1);
    EXPECT_EQ(TallyChange(), -7);
    EXPECT_EQ(DependencyCounters(), kAllDown);

    part.down(own);
    EXPECT_EQ(own, 0);
    HostUp();
  }
}

}  // namespace

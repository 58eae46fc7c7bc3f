// Loads and unloads the library at run time (it is not linked in) and watches
// the depended-on modules, which are linked and so outlive each unload.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

namespace {

std::vector<std::string> calls;

void Record(const char* module, int up) { calls.push_back(std::string(module) + (up ? " up" : " down")); }

std::vector<int> DependencyCounters() {
  return {ZELBasXmlParser_GetCounter(), ZELBasShared_GetCounter(), ZELBasCoreUtils_GetCounter(),
          ZELBasGenericsLib_GetCounter(), ZELBasAlloc_GetCounter()};
}

const std::vector<std::string> kAttach = {"ZELBasXmlParser up", "ZELBasShared up", "ZELBasCoreUtils up",
                                          "ZELBasGenericsLib up", "ZELBasAlloc up"};
const std::vector<std::string> kDetach = {"ZELBasAlloc down", "ZELBasGenericsLib down",
                                          "ZELBasCoreUtils down", "ZELBasShared down",
                                          "ZELBasXmlParser down"};
const std::vector<int> kAllUp = {1, 1, 1, 1, 1};
const std::vector<int> kAllDown = {0, 0, 0, 0, 0};

// The library opened for the life of one object.
class Library {
public:
  Library() : handle(dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(handle, nullptr) << dlerror();
  }
  ~Library() { Close(); }

  bool Loaded() const { return handle != nullptr; }
  void Close() {
    if (handle != nullptr) {
      EXPECT_EQ(dlclose(handle), 0) << dlerror();
    }
    handle = nullptr;
  }

  // The export `name`, typed like `declared`.
  template <typename F>
  F* Get(F* /*declared*/, const char* name) const {
    void* symbol = dlsym(handle, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<F*>(symbol);
  }

private:
  void* handle;
};

// The library's export `name`, typed as the header declares it. The
// declaration is only looked at, never linked.
#define ZELBAS_EXPORTED(library, name) (library).Get(static_cast<decltype(&name)>(nullptr), #name)

bool StillMapped() {
  void* handle = dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class ModuleLoadTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(DependencyCounters(), kAllDown);
    calls.clear();
    SetObservers(Record);
  }
  void TearDown() override { SetObservers(nullptr); }

  static void SetObservers(ZELBasModuleObserver observer) {
    ZELBasXmlParser_SetObserver(observer);
    ZELBasShared_SetObserver(observer);
    ZELBasCoreUtils_SetObserver(observer);
    ZELBasGenericsLib_SetObserver(observer);
    ZELBasAlloc_SetObserver(observer);
  }
};

TEST_F(ModuleLoadTest, LoadAttachesAndUnloadDetachesInReverseOrder) {
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    Library library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(calls, kAttach);
    EXPECT_EQ(DependencyCounters(), kAllUp);
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetModuleCounter)(), 1);
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetUnitCounter)(), 1);
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetSpecificCounter)(), 1);
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetAttachTally)(), 8);
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetCTally)(), 0);
    EXPECT_EQ(ZELBAS_EXPORTED(library, KELVORY_TWAX_INTERNAL_ZELBasXmlDocument)(), 1);
    EXPECT_EQ(ZELBAS_EXPORTED(library, DllMain)(nullptr, 2, nullptr), 1);

    // A host's balanced pair on a loaded module only counts.
    ZELBAS_EXPORTED(library, ZELBasXmlDocument_initializeC)();
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetModuleCounter)(), 2);
    ZELBAS_EXPORTED(library, ZELBasXmlDocument_finalizeC)();
    EXPECT_EQ(ZELBAS_EXPORTED(library, ZELBasXmlDocument_GetCTally)(), 0);
    EXPECT_EQ(calls, kAttach);

    calls.clear();
    library.Close();
    EXPECT_FALSE(StillMapped()) << "the unload did not happen";
    EXPECT_EQ(calls, kDetach);
    EXPECT_EQ(DependencyCounters(), kAllDown);
    calls.clear();
  }
}

TEST_F(ModuleLoadTest, UnloadWithHostInitializationOutstandingOnlyCounts) {
  {
    Library library;
    ASSERT_TRUE(library.Loaded());
    ZELBAS_EXPORTED(library, ZELBasXmlDocument_initializeC)();
    calls.clear();
  }
  EXPECT_FALSE(StillMapped());
  EXPECT_EQ(calls, std::vector<std::string>());
  EXPECT_EQ(DependencyCounters(), kAllUp);

  // The module never stopped them; put them back for the next test.
  int tally = 0;
  ZELBasXmlParser_finalize(tally);
  ZELBasShared_finalize(tally);
  ZELBasCoreUtils_finalize(tally);
  ZELBasGenericsLib_finalize(tally);
  ZELBasAlloc_finalize(tally);
}

}  // namespace

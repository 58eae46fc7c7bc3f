// The library is opened at run time, not linked. The dependencies are linked,
// so they outlive each unload and show what attach and detach did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZELBasAlloc.h"
#include "ZELBasCoreUtils.h"
#include "ZELBasGenericsLib.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocumentModule.h"
#include "ZELBasXmlParser.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

// A host's own loader entry, exported by this program: the library's load
// hook must still reach the library's entry.
extern "C" int DllMain(void*, uint32_t, void*) { return 0; }
#endif

namespace {

// The loader: Windows' own, which calls DllMain, or the dynamic linker, which
// runs the ELF constructor and destructor.
#if defined(_WIN32)
typedef HMODULE Handle;
Handle Load() { return LoadLibraryW(L"" ZELBAS_MODULE_PATH); }
bool Close(Handle handle) { return FreeLibrary(handle) != 0; }
bool IsLoaded() { return GetModuleHandleW(L"" ZELBAS_MODULE_PATH) != nullptr; }
void* Find(Handle handle, const char* name) { return reinterpret_cast<void*>(GetProcAddress(handle, name)); }
std::string Error() { return "error " + std::to_string(GetLastError()); }
#else
typedef void* Handle;
Handle Load() { return dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL); }
bool Close(Handle handle) { return dlclose(handle) == 0; }
bool IsLoaded() { return dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD) != nullptr; }
void* Find(Handle handle, const char* name) { return dlsym(handle, name); }
std::string Error() { return dlerror(); }
#endif

struct Dependency {
  void (*setObserver)(ZELBasModuleObserver);
  int (*counter)();
  void (*finalize)(int&);
};
const Dependency kDependencies[] = {
    {ZELBasXmlParser_SetObserver, ZELBasXmlParser_GetCounter, ZELBasXmlParser_finalize},
    {ZELBasShared_SetObserver, ZELBasShared_GetCounter, ZELBasShared_finalize},
    {ZELBasCoreUtils_SetObserver, ZELBasCoreUtils_GetCounter, ZELBasCoreUtils_finalize},
    {ZELBasGenericsLib_SetObserver, ZELBasGenericsLib_GetCounter, ZELBasGenericsLib_finalize},
    {ZELBasAlloc_SetObserver, ZELBasAlloc_GetCounter, ZELBasAlloc_finalize},
};

std::vector<std::string> calls;
void Record(const char* module, int up) { calls.push_back(std::string(module) + (up ? " up" : " down")); }

std::vector<int> DependencyCounters() {
  std::vector<int> counters;
  for (const Dependency& dependency : kDependencies) counters.push_back(dependency.counter());
  return counters;
}

const std::vector<std::string> kAttach = {"ZELBasXmlParser up", "ZELBasShared up", "ZELBasCoreUtils up",
                                          "ZELBasGenericsLib up", "ZELBasAlloc up"};
const std::vector<std::string> kDetach = {"ZELBasAlloc down", "ZELBasGenericsLib down",
                                          "ZELBasCoreUtils down", "ZELBasShared down",
                                          "ZELBasXmlParser down"};

void* Symbol(Handle handle, const char* name) {
  void* symbol = Find(handle, name);
  EXPECT_NE(symbol, nullptr) << name;
  return symbol;
}
// Typed by the header's declaration, which is never linked.
#define CALL(name, ...) reinterpret_cast<decltype(&name)>(Symbol(handle, #name))(__VA_ARGS__)

class ModuleLoadTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(DependencyCounters(), std::vector<int>(5, 0));
    for (const Dependency& dependency : kDependencies) dependency.setObserver(Record);
    handle = Load();
    ASSERT_NE(handle, nullptr) << Error();
  }
  void TearDown() override {
    for (const Dependency& dependency : kDependencies) dependency.setObserver(nullptr);
  }

  void Unload() {
    calls.clear();
    EXPECT_TRUE(Close(handle)) << Error();
    EXPECT_FALSE(IsLoaded()) << "the unload did not happen";
  }

  Handle handle = nullptr;
};

TEST_F(ModuleLoadTest, LoadAttachesAndUnloadDetachesInReverseOrder) {
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    if (round == 2) {
      ASSERT_NE(handle = Load(), nullptr);
    }
    EXPECT_EQ(calls, kAttach);
    EXPECT_EQ(DependencyCounters(), std::vector<int>(5, 1));
#if !defined(_WIN32)
    ASSERT_EQ(dlsym(RTLD_DEFAULT, "DllMain"), reinterpret_cast<void*>(&DllMain))
        << "the host's is the global one";
#endif
    const std::vector<int> state = {
        CALL(ZELBasXmlDocument_GetModuleCounter),   CALL(ZELBasXmlDocument_GetUnitCounter),
        CALL(ZELBasXmlDocument_GetSpecificCounter), CALL(ZELBasXmlDocument_GetAttachTally),
        CALL(ZELBasXmlDocument_GetCTally),          CALL(KELVORY_TWAX_INTERNAL_ZELBasXmlDocument)};
    EXPECT_EQ(state, (std::vector<int>{1, 1, 1, 8, 0, 1}));
    EXPECT_EQ(CALL(DllMain, nullptr, 2, nullptr), 1);
    CALL(ZELBasXmlDocument_initializeC);  // a host's balanced pair on a loaded module only counts
    EXPECT_EQ(CALL(ZELBasXmlDocument_GetModuleCounter), 2);
    CALL(ZELBasXmlDocument_finalizeC);
    EXPECT_EQ(CALL(ZELBasXmlDocument_GetCTally), 0);
    EXPECT_EQ(calls, kAttach);

    Unload();
    EXPECT_EQ(calls, kDetach);
    EXPECT_EQ(DependencyCounters(), std::vector<int>(5, 0));
    calls.clear();
  }
}

TEST_F(ModuleLoadTest, UnloadWithHostInitializationOutstandingOnlyCounts) {
  CALL(ZELBasXmlDocument_initializeC);
  Unload();
  EXPECT_EQ(calls, std::vector<std::string>());
  EXPECT_EQ(DependencyCounters(), std::vector<int>(5, 1));

  // Nothing stopped the dependencies; stop them so the next test starts clean.
  int tally = 0;
  for (const Dependency& dependency : kDependencies) dependency.finalize(tally);
}

}  // namespace

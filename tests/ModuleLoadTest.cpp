// The library is opened at run time, not linked. The dependencies are linked,
// so they outlive each unload and show, through their observers, what attach
// and detach did.
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
bool Unload(Handle handle) { return FreeLibrary(handle) != 0 && !GetModuleHandleW(L"" ZELBAS_MODULE_PATH); }
void* Find(Handle handle, const char* name) { return reinterpret_cast<void*>(GetProcAddress(handle, name)); }
#else
typedef void* Handle;
Handle Load() { return dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL); }
bool Unload(Handle handle) {
  return dlclose(handle) == 0 && !dlopen(ZELBAS_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
}
void* Find(Handle handle, const char* name) { return dlsym(handle, name); }
#endif

void (*const kObserve[])(ZELBasModuleObserver) = {ZELBasXmlParser_SetObserver, ZELBasShared_SetObserver,
                                                  ZELBasCoreUtils_SetObserver, ZELBasGenericsLib_SetObserver,
                                                  ZELBasAlloc_SetObserver};
std::string calls;
void Record(const char* module, int up) { calls += std::string(module) + (up ? "+ " : "- "); }

// Typed by the header's declaration, which is never linked.
#define CALL(name, ...) reinterpret_cast<decltype(&name)>(Find(handle, #name))(__VA_ARGS__)

TEST(ModuleLoadTest, LoadAttachesAndUnloadDetachesUnlessAHostInitializationIsOutstanding) {
  for (auto observe : kObserve) observe(Record);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    calls.clear();
    Handle handle = Load();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(calls, "ZELBasXmlParser+ ZELBasShared+ ZELBasCoreUtils+ ZELBasGenericsLib+ ZELBasAlloc+ ");
#if !defined(_WIN32)
    ASSERT_EQ(dlsym(RTLD_DEFAULT, "DllMain"), reinterpret_cast<void*>(&DllMain)) << "the host's is global";
#endif
    const std::vector<int> state = {CALL(ZELBasXmlDocument_GetModuleCounter),
                                    CALL(ZELBasXmlDocument_GetAttachTally),
                                    CALL(KELVORY_TWAX_INTERNAL_ZELBasXmlDocument)};
    EXPECT_EQ(state, (std::vector<int>{1, 8, 1})) << "up, the attach tally counting the module and its parts";
    EXPECT_EQ(CALL(DllMain, nullptr, 2, nullptr), 1);
    // A host's pair on a loaded module only counts; the last round leaves
    // its initialization outstanding, and the unload then only counts too.
    CALL(ZELBasXmlDocument_initializeC);
    EXPECT_EQ(CALL(ZELBasXmlDocument_GetModuleCounter), 2);
    if (round < 2) CALL(ZELBasXmlDocument_finalizeC);
    EXPECT_EQ(CALL(ZELBasXmlDocument_GetCTally), 0);
    calls.clear();
    EXPECT_TRUE(Unload(handle)) << "the unload did not happen";
    EXPECT_EQ(calls, round < 2
                         ? "ZELBasAlloc- ZELBasGenericsLib- ZELBasCoreUtils- ZELBasShared- ZELBasXmlParser- "
                         : "");
  }
}

}  // namespace

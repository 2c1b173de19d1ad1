// The copies of the libraries with one entry point missing, as the process
// would load them from <build>/vertex_variants/no_<entry>/.
#include <dlfcn.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

const std::vector<std::string>& all_entries() {
  static const std::vector<std::string> names = {
#define VTX_ENTRY(name) #name,
#include "vtx_engine_entries.inc"
#undef VTX_ENTRY
  };
  return names;
}

bool in_loc(const std::string& entry) { return entry.rfind("Loc", 0) == 0; }

TEST(VtxVariants, TheMainLibrariesExportAll32) {
  ASSERT_EQ(all_entries().size(), 32u);
  void* vst = dlopen(VTX_SHLIB_DIR "/libvst.so", RTLD_NOW | RTLD_LOCAL);
  void* loc = dlopen(VTX_SHLIB_DIR "/libloc.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(vst, nullptr) << dlerror();
  ASSERT_NE(loc, nullptr) << dlerror();
  int in_vst = 0;
  for (const std::string& entry : all_entries()) {
    EXPECT_NE(dlsym(in_loc(entry) ? loc : vst, entry.c_str()), nullptr) << entry;
    // Each entry point lives in one library only.
    EXPECT_EQ(dlsym(in_loc(entry) ? vst : loc, entry.c_str()), nullptr) << entry;
    in_vst += in_loc(entry) ? 0 : 1;
  }
  EXPECT_EQ(in_vst, 20);
  // The helpers inside stay hidden.
  EXPECT_EQ(dlsym(vst, "_ZN3vtx9calculateERKNS_12VstDatabasesEPNS_10CalcHandleE"), nullptr);
  dlclose(vst);
  dlclose(loc);
}

class VtxVariant : public ::testing::TestWithParam<std::string> {};

TEST_P(VtxVariant, LacksExactlyItsEntryPoint) {
  const std::string& missing = GetParam();
  std::string dir = std::string(VTX_VARIANTS_DIR) + "/no_" + missing;
  void* vst = dlopen((dir + "/libvst.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  void* loc = dlopen((dir + "/libloc.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(vst, nullptr) << dlerror();
  ASSERT_NE(loc, nullptr) << dlerror();
  for (const std::string& entry : all_entries()) {
    void* sym = dlsym(in_loc(entry) ? loc : vst, entry.c_str());
    if (entry == missing) {
      EXPECT_EQ(sym, nullptr) << entry;
    } else {
      EXPECT_NE(sym, nullptr) << entry;
    }
  }
  dlclose(vst);
  dlclose(loc);
}

INSTANTIATE_TEST_SUITE_P(Each, VtxVariant, ::testing::ValuesIn(all_entries()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace

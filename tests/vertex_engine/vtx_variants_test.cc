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

// Both libraries of `dir`, loaded privately, closed at scope end.
struct Pair {
  void* vst;
  void* loc;
  explicit Pair(const std::string& dir)
      : vst(dlopen((dir + "/libvst.so").c_str(), RTLD_NOW | RTLD_LOCAL)),
        loc(dlopen((dir + "/libloc.so").c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Pair() {
    if (vst != nullptr) dlclose(vst);
    if (loc != nullptr) dlclose(loc);
  }
  void* sym(const std::string& entry, bool own_library = true) const {
    return dlsym(in_loc(entry) == own_library ? loc : vst, entry.c_str());
  }
};

TEST(VtxVariants, TheMainLibrariesExportAll32) {
  Pair p(VTX_SHLIB_DIR);
  ASSERT_NE(p.vst, nullptr) << dlerror();
  ASSERT_NE(p.loc, nullptr) << dlerror();
  for (const std::string& entry : all_entries()) {
    EXPECT_NE(p.sym(entry), nullptr) << entry;
    EXPECT_EQ(p.sym(entry, false), nullptr) << entry << " lives in one library only";
  }
  // The helpers inside stay hidden.
  EXPECT_EQ(dlsym(p.vst, "_ZN3vtx9calculateERKNS_12VstDatabasesEPNS_10CalcHandleE"), nullptr);
}

class VtxVariant : public ::testing::TestWithParam<std::string> {};

TEST_P(VtxVariant, LacksExactlyItsEntryPoint) {
  const std::string& missing = GetParam();
  Pair p(std::string(VTX_VARIANTS_DIR) + "/no_" + missing);
  ASSERT_NE(p.vst, nullptr) << dlerror();
  ASSERT_NE(p.loc, nullptr) << dlerror();
  for (const std::string& entry : all_entries())
    EXPECT_EQ(p.sym(entry) == nullptr, entry == missing) << entry;
}

INSTANTIATE_TEST_SUITE_P(Each, VtxVariant, ::testing::ValuesIn(all_entries()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace

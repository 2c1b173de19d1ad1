// The test-only copies of the engine libraries that each lack one entry
// point, for exercising the process's "missing function" paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "avp_engine_support.h"

namespace {

struct Variant {
  const char* missing;
  const char* owner;  // library that should have exported it
};

const Variant kVariants[] = {
    {AVP_NAME_TAXOPEN, AVP_TAX_LIB}, {AVP_NAME_TAXCLOSE, AVP_TAX_LIB}, {AVP_NAME_TAXCMN, AVP_TAX_LIB},
    {AVP_NAME_TAXIOERR, AVP_TAX_LIB}, {AVP_NAME_ZIPOPEN, AVP_ZIP_LIB}, {AVP_NAME_ZIPCLOSE, AVP_ZIP_LIB},
    {AVP_NAME_ZIP020, AVP_ZIP_LIB},
};

const char* const kTaxNames[] = {AVP_NAME_TAXOPEN, AVP_NAME_TAXCLOSE, AVP_NAME_TAXCMN, AVP_NAME_TAXIOERR};
const char* const kZipNames[] = {AVP_NAME_ZIPOPEN, AVP_NAME_ZIPCLOSE, AVP_NAME_ZIP020};

TEST(AvpVariants, EachDirectoryLacksExactlyItsEntryPoint) {
  for (const Variant& v : kVariants) {
    std::string dir = std::string(AVP_VARIANTS_DIR) + "/no_" + v.missing;
    for (const char* lib : {AVP_TAX_LIB, AVP_ZIP_LIB}) {
      avp_test::Library l(dir + "/lib" + lib + ".so");
      ASSERT_TRUE(l.loaded()) << dir << " " << lib << ": " << l.error();
      bool tax = std::string(lib) == AVP_TAX_LIB;
      for (const char* name : tax ? std::vector<const char*>(std::begin(kTaxNames), std::end(kTaxNames))
                                  : std::vector<const char*>(std::begin(kZipNames), std::end(kZipNames))) {
        bool expect_missing = std::string(name) == v.missing;
        EXPECT_EQ(l.sym(name) == nullptr, expect_missing) << dir << " " << lib << " " << name;
      }
    }
  }
}

TEST(AvpVariants, ThePartnerLibraryStillWorks) {
  avp_test::EngineEnv env;
  std::string dir = std::string(AVP_VARIANTS_DIR) + "/no_" + AVP_NAME_ZIP020;
  avp_test::Library tax(dir + "/libavptax.so");
  auto open = reinterpret_cast<AVPTAXOPEN_FN*>(tax.sym(AVP_NAME_TAXOPEN));
  auto close = reinterpret_cast<AVPTAXCLOSE_FN*>(tax.sym(AVP_NAME_TAXCLOSE));
  ASSERT_NE(open, nullptr);
  ASSERT_NE(close, nullptr);
  EXPECT_NE(open(), 0);
  EXPECT_NE(close(), 0);
}

}  // namespace

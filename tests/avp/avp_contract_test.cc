// The Taxware engine's contract, call by call: every entry point the adapter
// calls, with its arguments and the records' function codes at the call, for
// the open (and each way it fails), a calculation, a lookup and the close -
// written from the engine's interface with literal numbers, so a constant
// that drifts on both sides of the header still fails. The engine is a
// recording build of both libraries, loaded by the adapter with dlopen.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "api_log.h"
#include "avp_addr.h"
#include "avp_parse.h"
#include "avp_session.h"
#include "avp_tax.h"
#include "test_util.h"

namespace {

using Lines = std::vector<std::string>;

std::string address(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

class AvpContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    std::snprintf(api_settings.log_dir, sizeof api_settings.log_dir, "%s", dir_.path().c_str());
    env_.set("QSE_SHLIB", RECORDING_ENGINE_DIR);
    env_.save("LD_LIBRARY_PATH");  // the loader sets it
    env_.set("AVP_RECORD", dir_.at("calls"));
    for (const char* v : avp_env_vars) env_.set(v, dir_.path());
  }
  void TearDown() override { avp_session = TaxwareSession{}; }
  // The calls recorded since the last look.
  Lines calls() {
    const Lines lines = test_util::lines_of(test_util::slurp(dir_.at("calls")));
    std::remove(dir_.at("calls").c_str());
    return lines;
  }

  test_util::TempDir dir_{"avp_contract."};
  test_util::EnvGuard env_{"AVP_ANSWERS"};
};

TEST_F(AvpContract, EveryCallWithItsArguments) {
  const struct {
    const char* answers;  // how the engine answers
    int result;           // of the open
    Lines open;
  } opens[] = {
      {"", 0, {"AVPTAXOPEN()", "ZIPOPEN(3)"}},
      {"AVPTAXOPEN=0", 1, {"AVPTAXOPEN()", "AVPTAX_IO_ERR(0)"}},
      {"ZIPOPEN=5", 1, {"AVPTAXOPEN()", "ZIPOPEN(3)"}},
  };
  for (const auto& row : opens) {
    SCOPED_TRACE(row.answers);
    env_.set("AVP_ANSWERS", row.answers);
    EXPECT_EQ(open_avp(), row.result);
    EXPECT_EQ(calls(), row.open);
    close_avp();
    EXPECT_EQ(calls(), (Lines{"ZIPCLOSE()", "AVPTAXCLOSE()"}));
  }
  env_.set("AVP_ANSWERS", "");
  ASSERT_EQ(open_avp(), 0);
  calls();
  auto tax = std::make_unique<Tax_Str>();
  auto jur = std::make_unique<Jur_Str>();
  Clear_Tax_Str(tax.get());
  Clear_Jur_Str(jur.get());
  determine_tax_avp(tax.get(), jur.get());
  auto zip = std::make_unique<Zip_Str>();
  Clear_Zip_Str(zip.get());
  zip->function = 7;
  determine_addr_avp(zip.get());
  EXPECT_EQ(calls(), (Lines{"AVPTAXCMN(" + address(tax.get()) + ", 51, " + address(jur.get()) + ") function \"     \"",
                            "ZIP020(" + address(zip.get()) + ") function 0"}));
}

}  // namespace

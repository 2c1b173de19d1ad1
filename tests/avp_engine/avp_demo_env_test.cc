// engines/avp/demo_env.sh, sourced by a POSIX shell: the ten variables it
// exports must open both stand-in libraries.
#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <map>

#include "avp_engine_support.h"

namespace {

// Sources the script in /bin/sh and returns the ten variables it exported.
std::map<std::string, std::string> source_demo_env(const std::string& data, const std::string& work) {
  std::string cmd = "AVP_DATA_DIR='" + data + "' AVP_WORK_DIR='" + work + "' HOME=/nonexistent /bin/sh -c '. " +
                    AVP_DEMO_ENV + " && env' 2>&1";
  int status = -1;
  std::map<std::string, std::string> vars;
  for (const auto& [name, value] : test_util::env_listing(test_util::shell_output(cmd, &status))) {
    for (const char* want : {"AVPAUDIT", "AVPIN", "AVPOUT", "AVPTEMP", "ZIPIN", "ZIPOUT", "ZIPTEMP", "STEPIN",
                             "STEPOUT", "STEPTEMP"})
      if (name == want) vars[name] = value;
  }
  EXPECT_EQ(status, 0);
  return vars;
}

TEST(AvpDemoEnv, ExportsTheTenVariablesAndTheEnginesOpen) {
  avp_test::TempDir dir;
  std::map<std::string, std::string> vars = source_demo_env(AVP_DATA_DIR, dir.at("work"));
  ASSERT_EQ(vars.size(), 10u);
  EXPECT_EQ(vars["AVPAUDIT"], dir.at("work/avp_audit.log"));
  EXPECT_EQ(std::filesystem::path(vars["ZIPIN"]).filename(), "zipmaster.txt");
  for (const char* d : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"})
    EXPECT_TRUE(std::filesystem::is_directory(vars[d])) << d;

  avp_test::EnvGuard env;
  for (const auto& [name, value] : vars) env.set(name, value);
  env.unset("AVP_STANDIN_CONTROL");
  avp_test::Engine e;
  EXPECT_NE(e.tax_open(), 0);
  EXPECT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 0);
  EXPECT_EQ(e.zip_close(), 0);
  EXPECT_NE(e.tax_close(), 0);
}

}  // namespace

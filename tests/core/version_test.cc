// Release information: the entry lists, the selections of the printer and
// the configuration section.
#include "version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core_test_util.h"

namespace coretest {
namespace {

const std::string kDashes(48, '-');

class Version : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  // Runs `print` with standard error captured; its lines.
  template <typename F>
  std::vector<std::string> printed(F print) {
    FdCapture err(2, dir_.at("err"));
    print();
    return lines_of(err.text());
  }
  EnvGuard env_ {"CONFIGSPEC"};
  TempDir dir_;
};

TEST_F(Version, SelectionZeroAddsTheDatabaseLineAfterTheBuildType) {
  unsetenv("CONFIGSPEC");
  const std::vector<std::string> l = printed([] { print_version(0); });
  ASSERT_EQ(l.size(), 12u);
  EXPECT_EQ(l[9], "Build-type  : 64-bit");
  EXPECT_EQ(l[10], "DBMS ver.   : -.-");
  EXPECT_EQ(l[11], kDashes);
}

TEST_F(Version, SelectionBits) {
  unsetenv("CONFIGSPEC");
  const char* const extra[] = {"first extra", "second extra", nullptr};
  EXPECT_EQ(printed([] { _print_version(0, port_ident, nullptr); }), (std::vector<std::string> {kDashes, kDashes}));
  EXPECT_EQ(printed([] { _print_version(VERSION_DBMS, port_ident, nullptr); }),
            (std::vector<std::string> {kDashes, "DBMS ver.   : -.-", kDashes}));
  EXPECT_EQ(printed([&] { _print_version(VERSION_EXTRA, port_ident, extra); }),
            (std::vector<std::string> {kDashes, "first extra", "second extra", kDashes}));
  EXPECT_EQ(printed([] { _print_version(VERSION_EXTRA, port_ident, nullptr); }),
            (std::vector<std::string> {kDashes, kDashes}));
  const std::vector<std::string> all =
      printed([&] { _print_version(VERSION_MAIN | VERSION_DBMS | VERSION_EXTRA, port_ident, extra); });
  ASSERT_EQ(all.size(), 14u);
  EXPECT_EQ(all[10], "DBMS ver.   : -.-");
  EXPECT_EQ(all[11], "first extra");
}

TEST_F(Version, ShortListsPrintWhatTheyHave) {
  const char* const three[] = {"@(#)(B3 ) one", "@(#)(B4 ) two", "short", nullptr};
  const std::vector<std::string> l = printed([&] { _print_version(VERSION_MAIN | VERSION_DBMS, three, nullptr); });
  ASSERT_EQ(l.size(), 6u);
  EXPECT_EQ(l[2], "one");
  EXPECT_EQ(l[3], "two");
  EXPECT_EQ(l[4], "") << "an entry shorter than its prefix prints empty, nothing is read past it";
}

TEST_F(Version, ConfigSpecOnlyForPrintExactly) {
  for (const char* value : {"print", "PRINTX", "PRIN", " PRINT", ""}) {
    setenv("CONFIGSPEC", value, 1);
    EXPECT_TRUE(printed([] { print_configspec(cs_ident); }).empty()) << value;
  }
  unsetenv("CONFIGSPEC");
  EXPECT_TRUE(printed([] { print_configspec(cs_ident); }).empty());
  setenv("CONFIGSPEC", "PRINT", 1);
  const char* const list[] = {"@(#)(B11) 2026-12-06", "@(#)(B11) element * main/LATEST", "@(#)(B11) # a comment",
                              "@(#)(B11) ", nullptr};
  EXPECT_EQ(printed([&] { print_configspec(list); }),
            (std::vector<std::string> {kDashes, "", "Config spec: ", "2026-12-06", "element * main/LATEST", "",
                                       kDashes}));
  const char* const empty[] = {nullptr};
  EXPECT_TRUE(printed([&] { print_configspec(empty); }).empty());
  EXPECT_TRUE(printed([] { print_configspec(nullptr); }).empty());
}

}  // namespace
}  // namespace coretest

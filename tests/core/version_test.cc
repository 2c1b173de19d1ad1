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

std::size_t length(const char* const* list) {
  std::size_t n = 0;
  while (list[n] != nullptr) ++n;
  return n;
}

TEST_F(Version, EntriesHaveTheirTagsKeysAndLayout) {
  ASSERT_EQ(length(vers_ident), 2u);
  ASSERT_EQ(length(port_ident), 9u);
  ASSERT_GE(length(cs_ident), 2u);
  const char* port_keys[] = {"@(#)(B3 ) Port no.    : ", "@(#)(B4 ) Date        : ", "@(#)(B5 ) Uname       : ",
                             "@(#)(B6 ) Machine-id  : ", "@(#)(B7 ) OS-release  : ", "@(#)(B8 ) CFLAGS      : ",
                             "@(#)(B9 ) LOADFLAGS   : ", "@(#)(B10) DBMS ver.   : ", "@(#)(B12) Build-type  : "};
  for (std::size_t i = 0; i < 9; ++i) EXPECT_TRUE(std::string(port_ident[i]).starts_with(port_keys[i])) << i;
  EXPECT_TRUE(std::string(vers_ident[0]).starts_with("@(#)(B1 ) Prod. ver.  : "));
  EXPECT_TRUE(std::string(vers_ident[1]).starts_with("@(#)(B2 ) Target      : "));
  for (const char* const* e = cs_ident; *e != nullptr; ++e) EXPECT_TRUE(std::string(*e).starts_with("@(#)(B11) "));
  EXPECT_STREQ(cs_ident[length(cs_ident) - 1], "@(#)(B11) ") << "the last entry is empty";
}

TEST_F(Version, MainSelectionPrintsElevenLines) {
  unsetenv("CONFIGSPEC");
  const std::vector<std::string> l = printed([] { print_version(1); });
  ASSERT_EQ(l.size(), 11u);
  EXPECT_EQ(l[0], kDashes);
  EXPECT_TRUE(l[1].starts_with("Product ver.: "));
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(l[2 + i], port_ident[i] + 10);
  EXPECT_EQ(l[9], "Build-type  : 64-bit");
  EXPECT_EQ(l[10], kDashes);
}

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

TEST_F(Version, VersionExPrintsTheConfigSectionAfterTheRelease) {
  setenv("CONFIGSPEC", "PRINT", 1);
  const std::vector<std::string> l = printed([] { print_version_ex(VERSION_MAIN, nullptr); });
  ASSERT_GT(l.size(), 14u);
  EXPECT_EQ(l[10], kDashes);
  EXPECT_EQ(l[11], kDashes);
  EXPECT_EQ(l[13], "Config spec: ");
  EXPECT_EQ(l.back(), kDashes);
}

}  // namespace
}  // namespace coretest

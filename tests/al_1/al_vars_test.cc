// The variables file and its lookup, and the OS seam's repeated faults.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "al_gtenv.h"
#include "al_os.h"
#include "test_util.h"

namespace {

class Vars : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.ok());
    env_.set("QSE", root_.path());
    for (const char* name : {"QSE_NAME", "QSE_LOCAL", "AL1_A", "AL1_X", "AL1_LATE", "AL1_NONE"}) env_.unset(name);
  }
  void TearDown() override { read_qse_vars("/nonexistent", 1); }
  // Writes the file; the next lookup reads it, as the first one of a process.
  void load(const std::string& text) {
    root_.write("lib/qse_vars", text);
    read_qse_vars("/nonexistent", 1);
    sVarInit = 0;
  }
  test_util::EnvGuard env_{"QSE", "AL1_ENV", "AL1_EMPTY", "AL1_BIG", "AL1_PUT"};
  test_util::TempDir root_;
};

TEST_F(Vars, LinesReferencesAndPrecedence) {
  env_.set("AL1_ENV", "env");
  env_.set("AL1_EMPTY", "");
  env_.set("AL1_BIG", std::string(4093, 'b'));
  const std::string longest = "AL1_LONG=" + std::string(QSE_VARS_LINE_MAX - 9, 'v');
  load("# AL1_C=comment\n"
       "AL1_A = x y \n"
       " #AL1_B=2\n"
       "no equals sign\n"
       " \t = nameless\n"
       "\tAL1_X\t=a=b\r\n"
       "AL1_A=second\nAL1_ENV=file\nAL1_EMPTY=file\nQSE=/elsewhere\nQSE_NAME=n\n"
       "AL1_REF=${AL1_X}/${AL1_ENV}:${QSE}:${AL1_NONE}|${QSE_LOCAL}|${Q}|${}|$x|${AL1_LATE}|${AL1_EMPTY}|${AL1_X\n"
       "AL1_LATE=two\r\r\n"
       "AL1_FITS=${AL1_BIG}..\n"
       "AL1_OVER=${AL1_BIG}...\n" +
       longest + "\n" + longest + "vvAL1_TAIL=1\n" + "AL1_LAST=no newline");
  const std::string root = root_.path();
  const struct {
    const char* name;
    const char* value;  // null: not found
    int where;
  } cases[] = {
      {"AL1_A", " x y ", GETVAR_FROM_FILE},
      {"#AL1_B", "2", GETVAR_FROM_FILE},
      {"# AL1_C", nullptr, GETVAR_NOT_FOUND},
      {"AL1_X", "a=b", GETVAR_FROM_FILE},
      {"AL1_ENV", "env", GETVAR_FROM_ENV},
      {"AL1_EMPTY", "", GETVAR_FROM_ENV},
      {"QSE", root.c_str(), GETVAR_FROM_ENV},
      {"QSE_NAME", nullptr, GETVAR_NOT_FOUND},
      {"AL1_LATE", "two\r", GETVAR_FROM_FILE},
      {"AL1_LONG", longest.c_str() + 9, GETVAR_FROM_FILE},
      {"AL1_TAIL", nullptr, GETVAR_NOT_FOUND},
      {"vAL1_TAIL", nullptr, GETVAR_NOT_FOUND},
      {"AL1_LAST", "no newline", GETVAR_FROM_FILE},
      {"AL1_NONE", nullptr, GETVAR_NOT_FOUND},
      {nullptr, nullptr, GETVAR_NOT_FOUND},
  };
  for (const auto& c : cases) {
    int where = -1;
    const char* got = _getvar(c.name, 0, &where);
    SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
    EXPECT_EQ(got != nullptr ? std::string(got) : "(none)", c.value != nullptr ? c.value : "(none)");
    EXPECT_EQ(where, c.where);
  }
  EXPECT_STREQ(getvar("AL1_REF"), ("a=b/env:" + root + ":|${QSE_LOCAL}|${Q}|${}|$x|||${AL1_X").c_str());
  EXPECT_EQ(std::string(getvar_ex("AL1_FITS", 1)), std::string(4093, 'b') + "..");
  EXPECT_STREQ(getvar("AL1_OVER"), "${AL1_BIG}...") << "too long expanded: kept as written";
}

TEST_F(Vars, ReadOnceUntilRereadAndTheRoot) {
  env_.set("QSE", root_.path() + "/");
  env_.set("AL1_ENV", "env");
  load("AL1_A=${QSE}/lib\nAL1_ENV=file\n");
  al_os_reset();
  EXPECT_EQ(std::string(getvar("AL1_A")), root_.path() + "/lib");
  EXPECT_EQ(std::string(std::getenv("QSE")), root_.path()) << "the root is put back without its slash";
  root_.write("lib/qse_vars", "AL1_A=changed\nno equals sign\nAL1_ENV=file\n");
  EXPECT_EQ(getvar("AL1_NONE"), nullptr);
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 1) << "read once";
  EXPECT_EQ(read_qse_vars(nullptr, 0), 0);
  EXPECT_EQ(read_qse_vars(nullptr, 1), 2) << "a reread keeps what the environment also has";
  EXPECT_STREQ(getvar("AL1_A"), "changed");
  EXPECT_STREQ(getvar("AL1_ENV"), "env");
  EXPECT_EQ(add_var_callback("AL1_A", "again"), 1);
  EXPECT_EQ(add_var_callback("AL1_X", nullptr), 1);
  char path[32];
  for (const auto& [qse, root] : {std::pair{"\\q\\r", "/q/r"}, {"/q/", "/q"}, {"/", "/"}}) {
    env_.set("QSE", qse);
    read_qse_vars(nullptr, 1);
    EXPECT_STREQ(get_qse_root(), root);
    EXPECT_STREQ(std::getenv("QSE"), root);
    EXPECT_EQ(std::string(get_qse_vars_path("", path, sizeof path)), std::string(root) + "/lib/qse_vars");
  }
  EXPECT_STREQ(get_qse_vars_path("/r", path, 6), "/r/li");
  al_os_fail_nth(AL_OS_FOPEN, 1, EACCES);
  EXPECT_EQ(read_qse_vars(nullptr, 1), 0) << "an unreadable file is an empty one";
}

TEST_F(Vars, PutEnvEntry) {
  EXPECT_EQ(put_env_entry("AL1_PUT=one"), 0);
  std::string entry = "AL1_PUT=two";
  EXPECT_EQ(put_env_entry(entry.c_str()), 0);
  entry = "AL1_PUT=xxx";
  EXPECT_STREQ(std::getenv("AL1_PUT"), "two") << "the environment holds its own copy";
  for (const char* bad : {"AL1_PUT", "=x", static_cast<const char*>(nullptr)}) EXPECT_EQ(put_env_entry(bad), -1);
  EXPECT_STREQ(std::getenv("AL1_PUT"), "two");
}

TEST(OsSeam, RepeatedFaults) {
  al_os_reset();
  al_os_fail_nth(AL_OS_FTOK, 2, EACCES, 1);
  EXPECT_NE(al_os_ftok("/", 1), -1);
  EXPECT_EQ(al_os_ftok("/", 1), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(al_os_ftok("/", 1), -1);
  EXPECT_EQ(al_os_calls(AL_OS_FTOK), 3);
  al_os_reset();
  EXPECT_NE(al_os_ftok("/", 1), -1);
}

}  // namespace

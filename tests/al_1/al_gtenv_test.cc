#include "al_gtenv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "al_os.h"
#include "al_test_env.h"

namespace {

using al1test::EnvGuard;
using al1test::LogCapture;
using al1test::TempDir;

// Names the tests use; all saved and restored around each test.
#define AL1_TEST_NAMES                                                                  \
  "AL1_A", "AL1_B", "AL1_ENV", "AL1_EMPTY", "AL1_REF", "AL1_BIG", "AL1_TAIL", "QSE_NAME", \
      "QSE_LOCAL", "AL1_X", "AL1_LAST", "AL1_R1", "AL1_NEW", "AL1_PUT"

class VarsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.ok());
    for (const char* n : {AL1_TEST_NAMES}) unsetenv(n);
    unsetenv("QSE_BIN");
    unsetenv("QSE_SHLIB");
    setenv("QSE", root_.path().c_str(), 1);
  }

  // Writes the variables file of this test's root and reads it as a fresh
  // process would: on a first read, not a reread.
  int load(const std::string& text) {
    root_.write("lib/qse_vars", text);
    read_qse_vars("/nonexistent-root", 1);  // drops the list and the cached root
    sVarInit = 0;
    return read_qse_vars(nullptr, 0);
  }

  std::vector<std::pair<std::string, std::string>> list() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const QseVar* v = sVarFirst; v; v = v->next) out.emplace_back(v->name, v->value);
    return out;
  }

  EnvGuard env_{AL1_TEST_NAMES};
  TempDir root_;
};

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST_F(VarsFileTest, WhereFoundCodes) {
  load("AL1_A=from file\n");
  setenv("AL1_ENV", "from env", 1);
  int where = -1;
  EXPECT_STREQ(_getvar("AL1_ENV", 0, &where), "from env");
  EXPECT_EQ(where, GETVAR_FROM_ENV);
  EXPECT_STREQ(_getvar("AL1_A", 0, &where), "from file");
  EXPECT_EQ(where, GETVAR_FROM_FILE);
  EXPECT_EQ(_getvar("AL1_NOWHERE", 0, &where), nullptr);
  EXPECT_EQ(where, GETVAR_NOT_FOUND);
  EXPECT_EQ(_getvar(nullptr, 0, &where), nullptr);
  EXPECT_EQ(where, GETVAR_NOT_FOUND);
  EXPECT_STREQ(getvar("AL1_A"), "from file");
  EXPECT_STREQ(getvar_ex("AL1_A", 1), "from file");
  EXPECT_STREQ(getvar_ex("AL1_A", 0), "from file");
}

TEST_F(VarsFileTest, LineSyntax) {
  const int stored = load(
      "# a comment=1\n"
      "AL1_A = x y \n"     // name trimmed, value keeps its blanks
      " #AL1_B=2\n"        // not a comment: the name starts with "#"
      "no equals sign here\n"
      "\n"
      " \t = nameless\n"
      "\tAL1_X\t=a=b\n"    // only the first "=" splits
      "AL1_R1=crlf\r\n"
      "AL1_NEW=two\r\r\n"  // one carriage return goes
      "AL1_LAST=no newline");
  EXPECT_EQ(stored, 6);
  EXPECT_EQ(list(), (Entries{{"AL1_A", " x y "},
                             {"#AL1_B", "2"},
                             {"AL1_X", "a=b"},
                             {"AL1_R1", "crlf"},
                             {"AL1_NEW", "two\r"},
                             {"AL1_LAST", "no newline"}}));
  EXPECT_STREQ(getvar("#AL1_B"), "2");
  EXPECT_EQ(getvar("# a comment"), nullptr);
  EXPECT_STREQ(sVarLast->name, "AL1_LAST");
}

TEST_F(VarsFileTest, PrecedenceAndRejectedNames) {
  setenv("AL1_EMPTY", "", 1);
  load("AL1_A=first\nAL1_A=second\nAL1_EMPTY=file\nQSE=/elsewhere\nQSE_NAME=n\n");
  EXPECT_STREQ(getvar("AL1_A"), "first");
  int where = 0;
  EXPECT_STREQ(_getvar("AL1_EMPTY", 0, &where), "");  // the environment wins even empty
  EXPECT_EQ(where, GETVAR_FROM_ENV);
  EXPECT_EQ(getvar("QSE_NAME"), nullptr);
  EXPECT_STREQ(getvar("QSE"), root_.path().c_str());
  EXPECT_EQ(list(), (Entries{{"AL1_A", "first"}}));
}

TEST_F(VarsFileTest, RereadingOnlyEarlierLinesReject) {
  setenv("AL1_R1", "env", 1);
  load("AL1_R1=file\nAL1_R1=later\n");
  EXPECT_EQ(sVarFirst, nullptr);  // a first read: the environment rejects it
  EXPECT_EQ(read_qse_vars(nullptr, 1), 1);
  // A reread keeps the file's own line even where the environment has the
  // name; the lookup still prefers the environment.
  EXPECT_EQ(list(), (Entries{{"AL1_R1", "file"}}));
  EXPECT_STREQ(getvar("AL1_R1"), "env");
}

TEST_F(VarsFileTest, ReferenceExpansion) {
  setenv("AL1_ENV", "envval", 1);
  setenv("AL1_EMPTY", "", 1);
  load(
      "AL1_A=base\n"
      "AL1_B=${QSE}/bin\n"
      "AL1_X=${AL1_A}/x:${AL1_ENV}\n"
      "AL1_REF=a${AL1_NOWHERE}b\n"
      "AL1_BIG=${Q}|$x|${}|$|${AL1_A\n"
      "AL1_TAIL=${QSE_LOCAL}/t\n"
      "AL1_R1=${AL1_LAST}-\n"   // a later line is not known yet
      "AL1_LAST=late\n"
      "AL1_NEW=${AL1_EMPTY}+\n");  // empty in the environment: not found anywhere
  EXPECT_STREQ(getvar("AL1_B"), (root_.path() + "/bin").c_str());
  EXPECT_STREQ(getvar("AL1_X"), "base/x:envval");
  EXPECT_STREQ(getvar("AL1_REF"), "ab");
  EXPECT_STREQ(getvar("AL1_BIG"), "${Q}|$x|${}|$|${AL1_A");
  EXPECT_STREQ(getvar("AL1_TAIL"), "${QSE_LOCAL}/t");
  EXPECT_STREQ(getvar("AL1_R1"), "-");
  EXPECT_STREQ(getvar("AL1_NEW"), "+");
}

TEST_F(VarsFileTest, EnvironmentRootIsNormalisedAndPutBack) {
  setenv("QSE", (root_.path() + "/").c_str(), 1);
  load("AL1_A=${QSE}/lib\n");
  EXPECT_STREQ(get_qse_root(), root_.path().c_str());
  EXPECT_STREQ(std::getenv("QSE"), root_.path().c_str());
  EXPECT_STREQ(getvar("AL1_A"), (root_.path() + "/lib").c_str());
  for (const auto& [env, root] : {std::pair {"/", "/"}, {"\\q\\r", "/q/r"}}) {
    setenv("QSE", env, 1);
    read_qse_vars(nullptr, 1);
    EXPECT_STREQ(get_qse_root(), root);
    EXPECT_STREQ(std::getenv("QSE"), root);
  }
}

TEST_F(VarsFileTest, ExpansionLimit) {
  // The expanded value must stay under 4096 characters; otherwise the
  // unexpanded value is stored and the overflow is logged.
  struct Case {
    std::size_t expanded_len;
    bool expands;
  };
  for (const Case c : {Case{4094, true}, Case{4095, true}, Case{4096, false}, Case{6000, false}}) {
    const std::string big(c.expanded_len - 1, 'b');
    setenv("AL1_BIG", big.c_str(), 1);
    LogCapture log;
    load("AL1_A=${AL1_BIG}.\n");
    const char* v = getvar("AL1_A");
    ASSERT_NE(v, nullptr);
    if (c.expands) {
      EXPECT_EQ(std::strlen(v), c.expanded_len);
      EXPECT_EQ(log.text(), "");
    } else {
      EXPECT_STREQ(v, "${AL1_BIG}.");
      EXPECT_NE(log.text().find("add_var_callback: no space to expand '${AL1_BIG}.'"),
                std::string::npos)
          << log.text();
    }
  }
}

TEST_F(VarsFileTest, LongestLineIsReadWholeOneMoreIsDropped) {
  const std::string value(QSE_VARS_LINE_MAX - std::strlen("AL1_A="), 'v');
  load("AL1_A=" + value + "\nAL1_B=next\n");
  const char* v = getvar("AL1_A");
  ASSERT_NE(v, nullptr);
  // Longer than the expansion limit, so stored unexpanded, but whole.
  EXPECT_EQ(std::string(v), value);
  EXPECT_STREQ(getvar("AL1_B"), "next");
  const std::string over = "AL1_A=" + value + "v";
  load(over + "\nAL1_B=next\n" + over);  // also as a last line without newline
  EXPECT_EQ(list(), (Entries{{"AL1_B", "next"}}));
}

TEST_F(VarsFileTest, OverlongLineIsDroppedWholeAndNotSplit) {
  // One character too many; its tail looks like a line of its own.
  std::string line = "AL1_A=";
  line += std::string(QSE_VARS_LINE_MAX - line.size(), 'v');
  line += "AL1_TAIL=1";
  load(line + "\nAL1_B=next\n" + std::string(20000, 'z') + "=x\nAL1_LAST=end");
  EXPECT_EQ(getvar("AL1_A"), nullptr);
  EXPECT_EQ(getvar("AL1_TAIL"), nullptr);
  EXPECT_EQ(getvar("vAL1_TAIL"), nullptr);
  EXPECT_EQ(list(), (Entries{{"AL1_B", "next"}, {"AL1_LAST", "end"}}));
}

TEST_F(VarsFileTest, FileIsReadOnceUntilReread) {
  root_.write("lib/qse_vars", "AL1_A=1\n");
  read_qse_vars(nullptr, 1);
  al_os_reset();
  root_.write("lib/qse_vars", "AL1_A=1\nAL1_NEW=2\n");
  EXPECT_EQ(getvar("AL1_NEW"), nullptr);
  EXPECT_EQ(getvar("AL1_NOWHERE"), nullptr);
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 0);
  EXPECT_EQ(read_qse_vars(nullptr, 0), 0);
  EXPECT_EQ(read_qse_vars(nullptr, 1), 2);
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 1);
  EXPECT_STREQ(getvar("AL1_NEW"), "2");
}

TEST_F(VarsFileTest, FirstLookupTheEnvironmentCannotAnswerReadsTheFile) {
  root_.write("lib/qse_vars", "AL1_A=1\n");
  // Drop the list without reading, as at process start.
  read_qse_vars("/nonexistent-root", 1);
  ASSERT_EQ(sVarFirst, nullptr);
  sVarInit = 0;
  al_os_reset();
  setenv("AL1_ENV", "e", 1);
  EXPECT_STREQ(getvar("AL1_ENV"), "e");
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 0);
  EXPECT_STREQ(getvar("AL1_A"), "1");
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 1);
  EXPECT_EQ(sVarInit, 1);
}

TEST_F(VarsFileTest, MissingOrUnreadableFileGivesAnEmptyList) {
  EXPECT_EQ(read_qse_vars(nullptr, 1), 0);
  EXPECT_EQ(sVarFirst, nullptr);
  TempDir other;  // an explicit root is read instead of QSE's
  other.write("lib/qse_vars", "AL1_A=other\n");
  EXPECT_EQ(read_qse_vars(other.path().c_str(), 1), 1);
  EXPECT_STREQ(getvar("AL1_A"), "other");
  root_.write("lib/qse_vars", "AL1_A=1\n");
  al_os_fail_nth(AL_OS_FOPEN, 1, EACCES);
  EXPECT_EQ(read_qse_vars(nullptr, 1), 0);
  EXPECT_EQ(sVarFirst, nullptr);
  EXPECT_EQ(getvar("AL1_A"), nullptr);
  EXPECT_EQ(sVarInit, 1);  // no second attempt within the process
}

TEST_F(VarsFileTest, AddVarCallbackResults) {
  read_qse_vars("/nonexistent-root", 1);
  setenv("AL1_ENV", "e", 1);
  EXPECT_EQ(add_var_callback("AL1_A", "1"), 0);
  EXPECT_EQ(add_var_callback("AL1_A", "2"), 1);
  EXPECT_EQ(add_var_callback("AL1_ENV", "2"), 1);
  EXPECT_EQ(add_var_callback("QSE", "2"), 1);
  EXPECT_EQ(add_var_callback("QSE_NAME", "2"), 1);
  EXPECT_EQ(add_var_callback(nullptr, "2"), 1);
  EXPECT_EQ(add_var_callback("AL1_B", nullptr), 1);
  EXPECT_EQ(list(), (Entries{{"AL1_A", "1"}}));
}

TEST(VarsPathTest, PathFromRootEnvironmentOrNothing) {
  EnvGuard env;
  char buf[QSE_PATH_SIZE];
  EXPECT_EQ(get_qse_vars_path("/r", buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "/r/lib/qse_vars");

  setenv("QSE", "/q", 1);
  read_qse_vars("/nonexistent-root", 1);
  EXPECT_STREQ(get_qse_vars_path(nullptr, buf, sizeof buf), "/q/lib/qse_vars");
  EXPECT_STREQ(get_qse_vars_path("", buf, sizeof buf), "/q/lib/qse_vars");

  unsetenv("QSE");
  read_qse_vars("/nonexistent-root", 1);
  EXPECT_STREQ(get_qse_vars_path(nullptr, buf, sizeof buf), "/lib/qse_vars");
}

TEST(VarsPathTest, CutToTheBufferAndNeverPastIt) {
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  get_qse_vars_path("/root", buf, 6);
  EXPECT_STREQ(buf, "/root");
  EXPECT_EQ(buf[6], '#');
  std::memset(buf, '#', sizeof buf);
  get_qse_vars_path("/root", buf, 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(buf[1], '#');
  buf[0] = '#';
  EXPECT_EQ(get_qse_vars_path("/root", buf, 0), buf);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(get_qse_vars_path("/root", nullptr, 10), nullptr);
}

TEST(VarsPathTest, ARootTooLongForThePathOpensNoFileAndIsCachedCut) {
  EnvGuard env;
  al_os_reset();
  EXPECT_EQ(read_qse_vars(("/" + std::string(QSE_PATH_SIZE - 10, 'r')).c_str(), 1), 0);
  EXPECT_EQ(al_os_calls(AL_OS_FOPEN), 0);
  const std::string root = "/" + std::string(2000, 'r');
  setenv("QSE", root.c_str(), 1);
  read_qse_vars("/nonexistent-root", 1);
  EXPECT_EQ(std::strlen(get_qse_root()), QSE_PATH_SIZE - 1);
  EXPECT_EQ(std::string(std::getenv("QSE")), root.substr(0, QSE_PATH_SIZE - 1));
}

TEST(PutEnvEntryTest, ReplacesAndValidates) {
  EnvGuard env{"AL1_PUT"};
  EXPECT_EQ(put_env_entry("AL1_PUT=one"), 0);
  EXPECT_STREQ(std::getenv("AL1_PUT"), "one");
  {
    std::string entry = "AL1_PUT=two";
    EXPECT_EQ(put_env_entry(entry.c_str()), 0);
    entry.assign(entry.size(), 'x');  // the environment holds its own copy
  }
  EXPECT_STREQ(std::getenv("AL1_PUT"), "two");
  EXPECT_EQ(put_env_entry("AL1_PUT"), -1);
  EXPECT_EQ(put_env_entry("=x"), -1);
  EXPECT_EQ(put_env_entry(nullptr), -1);
  EXPECT_STREQ(std::getenv("AL1_PUT"), "two");
}

}  // namespace

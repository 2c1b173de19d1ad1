// The process's own logs: identity and log directory from the environment,
// the six-line frame of an API log entry, the levels, the message log.
#include "api_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <regex>
#include <string>

#include "core_fixture.h"

namespace coretest {
namespace {

constexpr const char* kStamp = R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])";

class ApiLog : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    log_file = nullptr;
    msg_file = nullptr;
  }
  // Runs the start-up's log opening with QSE pointing into the test's directory.
  void open_in_qse(const char* level) {
    dir_.mkdir("log");
    setenv("QSE", dir_.path().c_str(), 1);
    if (level != nullptr) {
      setenv("APILOG", level, 1);
    } else {
      unsetenv("APILOG");
    }
    api_log_open();
  }
  std::string qse_log(const char* name) const { return slurp(dir_.at(std::string("log/") + name)); }
  bool qse_has(const char* name) const { return std::filesystem::exists(dir_.at(std::string("log/") + name)); }
};

// Everything written to `f` so far.
std::string written(FILE* f) {
  std::rewind(f);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  return text;
}

TEST_F(ApiLog, TimeStampTableInTheLocalZone) {
  const struct {
    const char* tz;
    std::time_t t;
    const char* text;
  } cases[] = {
      {"UTC", 946684800, "00-01-01[00:00:00]"},  {"UTC", 1234567890, "09-02-13[23:31:30]"},
      {"UTC", 1796378000, "26-12-04[09:53:20]"}, {"UTC", 4102444799, "99-12-31[23:59:59]"},
      {"EST5", 946720800, "00-01-01[05:00:00]"},  // five hours behind UTC, no summer time
  };
  for (const auto& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    char out[64];
    EXPECT_EQ(api_time_stamp(out, sizeof out, c.t), 18);
    EXPECT_STREQ(out, c.text);
  }
  unsetenv("TZ");
  tzset();
}

TEST_F(ApiLog, TimeStampIsCutToASmallBuffer) {
  char out[8];
  std::memset(out, '#', sizeof out);
  api_time_stamp(out, 6, 946684800);
  EXPECT_EQ(std::strlen(out), 5u);
  EXPECT_EQ(out[6], '#');
  EXPECT_EQ(out[7], '#');
}

TEST_F(ApiLog, AnEntryIsSixFramedLines) {
  api_log = 1;
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  api_log_write("tax01", "API process started for user ", API_SRC, 4711, f);
  const std::string text = written(f);
  std::fclose(f);

  const std::string pid = std::to_string(getpid());
  const std::string uid = std::to_string(getuid());
  const std::string s = kStamp;
  const std::regex frame("(" + s + ")tax01: \n" +                                   //
                         "(" + s + ")tax01: \\*{8} START of Log message \\*{8}\n" +  //
                         "(" + s + ")tax01: Pid " + pid + " Uid " + uid + "  \n" +   //
                         "(" + s + ")tax01: Log mesg: API process started for user \n" +
                         "(" + s + ")tax01:File:lib/tax/api 4711\n" +  //
                         "(" + s + ")tax01: \\*{8}  END of Log message  \\*{8}\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(text, m, frame)) << text;
  for (int i = 2; i <= 6; ++i) EXPECT_EQ(m[i].str(), m[1].str()) << "one time for the whole entry";
}

TEST_F(ApiLog, NothingIsWrittenForAMissingArgumentLevelZeroOrNoStream) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  api_log = 1;
  api_log_write(nullptr, "m", API_SRC, 1, f);
  api_log_write("u", nullptr, API_SRC, 1, f);
  api_log_write("u", "m", nullptr, 1, f);
  api_log_write("u", "m", API_SRC, 1, nullptr);
  api_log = 0;
  api_log_write("u", "m", API_SRC, 1, f);
  EXPECT_EQ(std::ftell(f), 0);
  api_log = -3;  // any nonzero level writes API log entries
  api_log_write("u", "m", API_SRC, 1, f);
  EXPECT_GT(std::ftell(f), 0);
  std::fclose(f);
}

TEST_F(ApiLog, AnOverLongMessageIsCutAndTheFrameStaysWhole) {
  api_log = 1;
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  const std::string user(600, 'u');
  const std::string msg(9000, 'm');
  const std::string file(3000, 'f');
  api_log_write(user.c_str(), msg.c_str(), file.c_str(), 1, f);
  const std::string text = written(f);
  std::fclose(f);
  const std::vector<std::string> lines = lines_of(text);
  ASSERT_EQ(lines.size(), 6u) << text.substr(0, 200);
  EXPECT_NE(lines[5].find("********  END of Log message  ********"), std::string::npos);
  EXPECT_LT(lines[3].size(), msg.size());
}

TEST_F(ApiLog, MessageLogMarkers) {
  msg_file = std::tmpfile();
  ASSERT_NE(msg_file, nullptr);
  api_message_log("info", API_MSG_INFO);
  api_message_log("in", API_MSG_RECEIVED);
  api_message_log("out", API_MSG_SENT);
  api_message_log("other", 7);
  api_message_log(nullptr, API_MSG_SENT);
  const std::string longest(1023, 'x');
  api_message_log(longest.c_str(), API_MSG_RECEIVED);
  const std::string text = written(msg_file);
  const std::string s = kStamp;
  EXPECT_TRUE(std::regex_match(text, std::regex(s + " I info\n" + s + " R in\n" + s + " S out\n" + s + "other\n" +
                                                s + " R " + longest + "\n")))
      << text;
}

TEST_F(ApiLog, UserAndLogDirectoryFromQse) {
  setenv("USER", "tax01", 1);
  open_in_qse("1");
  EXPECT_STREQ(username, "tax01");
  EXPECT_EQ(std::string(log_dir), dir_.path() + "/log");
  ASSERT_NE(log_file, nullptr);
  close_logs();
  const std::string text = qse_log("log.api");
  EXPECT_NE(text.find("tax01: Log mesg: API process started for user \n"), std::string::npos) << text;
  EXPECT_NE(text.find("tax01:File:lib/tax/api "), std::string::npos) << text;
}

TEST_F(ApiLog, UnknownUserWhenUserIsUnsetAndEntriesAreAppendedAcrossStarts) {
  unsetenv("USER");
  open_in_qse("1");
  EXPECT_STREQ(username, "Unknown");
  close_logs();
  open_in_qse("1");
  close_logs();
  EXPECT_EQ(count_of(qse_log("log.api"), "Unknown: Log mesg: API process started for user "), 2u);
}

TEST_F(ApiLog, HomeItselfWhenQseIsUnsetOrNoLogsWithoutEither) {
  unsetenv("QSE");
  setenv("HOME", dir_.path().c_str(), 1);
  setenv("APILOG", "1", 1);
  api_log_open();
  EXPECT_EQ(std::string(log_dir), dir_.path());
  close_logs();
  EXPECT_NE(slurp(dir_.at("log.api")).find("Log mesg: API process started"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_.at("api_msg.log")));
  // Neither QSE nor HOME: the process goes on without logs.
  unsetenv("HOME");
  setenv("APILOG", "2", 1);
  api_log_open();
  EXPECT_STREQ(log_dir, "");
  EXPECT_EQ(log_file, nullptr);
  EXPECT_EQ(msg_file, nullptr);
  api_log_write(username, "still alive", API_SRC, __LINE__, log_file);
  api_message_log("still alive", API_MSG_INFO);
}

TEST_F(ApiLog, AnOverLongQseIsCutToTheBuffer) {
  const std::string qse(3000, 'q');
  setenv("QSE", qse.c_str(), 1);
  api_log_open();
  EXPECT_EQ(std::strlen(log_dir), API_PATH_SIZE - 1);
  EXPECT_EQ(log_file, nullptr) << "no such directory";
}

struct LevelCase {
  const char* env;  // null: unset
  int level;
  bool api_entries;
  bool msg_log;
};

TEST_F(ApiLog, LevelsFromApilog) {
  const LevelCase cases[] = {
      {nullptr, 0, false, false}, {"", 0, false, false},  {"0", 0, false, false}, {"abc", 0, false, false},
      {"1", 1, true, true},       {"2", 2, true, true},    {"2x", 2, true, true},  {" 2", 2, true, true},
      {"-1", -1, true, false},    {"-7", -7, true, false}, {"+3", 3, true, true},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.env != nullptr ? c.env : "(unset)");
    std::filesystem::remove_all(dir_.at("log"));
    open_in_qse(c.env);
    EXPECT_EQ(api_log, c.level);
    EXPECT_EQ(msg_file != nullptr, c.msg_log);
    close_logs();
    EXPECT_TRUE(qse_has("log.api")) << "log.api is created at every start";
    EXPECT_EQ(!qse_log("log.api").empty(), c.api_entries);
    EXPECT_EQ(qse_has("api_msg.log"), c.msg_log);
  }
}

TEST_F(ApiLog, ALogThatCannotBeOpenedIsLeftOutTheOtherStays) {
  for (const int failing : {1, 2}) {  // the API log, then the message log
    SCOPED_TRACE(failing);
    std::filesystem::remove_all(dir_.at("log"));
    al_os_reset();
    al_os_fail_nth(AL_OS_FOPEN, failing, EACCES);
    open_in_qse("2");
    EXPECT_EQ(log_file != nullptr, failing != 1);
    EXPECT_EQ(msg_file != nullptr, failing != 2);
    api_log_write(username, "logged", API_SRC, __LINE__, log_file);
    api_message_log("still logged", API_MSG_INFO);
    close_logs();
    EXPECT_EQ(qse_log("log.api").find("Log mesg: logged") != std::string::npos, failing != 1);
    EXPECT_EQ(qse_log("api_msg.log").find(" I still logged\n") != std::string::npos, failing != 2);
  }
}

TEST_F(ApiLog, ClosingTwiceIsHarmless) {
  open_in_qse("1");
  api_log_close();
  api_log_close();
  api_message_log_close();
  api_message_log_close();
  EXPECT_EQ(log_file, nullptr);
  EXPECT_EQ(msg_file, nullptr);
}

}  // namespace
}  // namespace coretest

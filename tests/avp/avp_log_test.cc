// The Taxware log: six-line frames, the "AVPDEBUG" switch and the echo to
// standard error in diagnostic mode.
#include "avp_log.h"

#include <unistd.h>

#include <regex>
#include <string>

#include "avp_test_util.h"

namespace {

class AvpLogTest : public ::testing::Test {
 protected:
  avptest::Scene scene;
};

TEST_F(AvpLogTest, OneMessageIsOneSixLineFrame) {
  avp_log_write(avp_session.avp_log_file, "lib/tax/avp", 123, "tester", "Hello %d.\n", 7);
  const std::string stamp = R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])";
  const std::string ids = "Pid " + std::to_string(getpid()) + " Uid " + std::to_string(getuid());
  const std::regex frame("(" + stamp + ")tester:\n" +                                     //
                         stamp + "tester: Avp Log Start \\*{29}\n" +                     //
                         stamp + "tester: " + ids + "\n" +                               //
                         stamp + "tester: Log mesg: Hello 7\\.\n" +                       //
                         stamp + "tester: File: lib/tax/avp:123\n" +                      //
                         stamp + "tester: Avp Log End   \\*{29}\n");
  EXPECT_TRUE(std::regex_match(scene.log(), frame)) << scene.log();
}

TEST_F(AvpLogTest, TheStampIsTheSameOnEveryLineOfAFrame) {
  avp_log_write(avp_session.avp_log_file, "s", 1, "u", "m\n");
  const std::string log = scene.log();
  const std::string first = log.substr(0, 20);
  std::size_t lines = 0;
  for (std::size_t at = 0; at < log.size(); at = log.find('\n', at) + 1, ++lines) {
    EXPECT_EQ(log.compare(at, 20, first), 0) << log;
  }
  EXPECT_EQ(lines, 6u);
}

TEST_F(AvpLogTest, NothingIsWrittenWithoutDebugOrAnyPart) {
  struct Case {
    const char* name;
    bool debug;
    const char* source;
    const char* user;
    bool stream;
  };
  const Case cases[] = {
      {"AVPDEBUG unset", false, "s", "u", true},
      {"no source", true, nullptr, "u", true},
      {"no user", true, "s", nullptr, true},
      {"no stream", true, "s", "u", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.debug) {
      setenv("AVPDEBUG", "", 1);
    } else {
      unsetenv("AVPDEBUG");
    }
    avp_log_write(c.stream ? avp_session.avp_log_file : nullptr, c.source, 1, c.user, "x\n");
    EXPECT_EQ(scene.log(), "");
  }
  setenv("AVPDEBUG", "", 1);
  avp_log_write(avp_session.avp_log_file, "s", 1, "u", nullptr);
  EXPECT_EQ(scene.log(), "");
}

TEST_F(AvpLogTest, AnyValueOfDebugSwitchesItOn) {
  for (const char* value : {"", "0", "no"}) {
    setenv("AVPDEBUG", value, 1);
    avp_log_write(avp_session.avp_log_file, "s", 1, "u", "on\n");
  }
  EXPECT_EQ(scene.messages().size(), 3u);
}

TEST_F(AvpLogTest, DiagnosticModeEchoesTheBareMessageToStandardError) {
  unsetenv("AVPDEBUG");
  diag_mode = 1;
  ::testing::internal::CaptureStderr();
  avp_log_write(avp_session.avp_log_file, "s", 1, "u", "Loading %s.\n", "AVPTAX.DLL");
  avp_log_write(nullptr, nullptr, 1, nullptr, "no frame %s", "needed");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Loading AVPTAX.DLL.\nno frame needed");
  EXPECT_EQ(scene.log(), "");

  // The Vertex diagnostic mode does not echo Taxware messages.
  diag_mode = 2;
  ::testing::internal::CaptureStderr();
  avp_log_write(avp_session.avp_log_file, "s", 1, "u", "quiet\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace

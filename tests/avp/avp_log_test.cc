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

TEST_F(AvpLogTest, OneMessageIsOneSixLineFrameWithOneStamp) {
  avp_log_write(avp_session.avp_log_file, "lib/tax/avp", 123, "tester", "Hello %d.\n", 7);
  const std::string ids = "Pid " + std::to_string(getpid()) + " Uid " + std::to_string(getuid());
  // \1: every line carries the first line's stamp.
  const std::regex frame(R"((\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])tester:
\1tester: Avp Log Start \*{29}
\1tester: )" + ids + R"(
\1tester: Log mesg: Hello 7\.
\1tester: File: lib/tax/avp:123
\1tester: Avp Log End   \*{29}
)");
  EXPECT_TRUE(std::regex_match(scene.log(), frame)) << scene.log();
}

TEST_F(AvpLogTest, DebugSwitchAndMissingParts) {
  struct Case {
    const char* name;
    const char* debug;  // nullptr: AVPDEBUG unset
    const char *source, *user, *format;
    bool stream, written;
  };
  const Case cases[] = {
      {"AVPDEBUG unset", nullptr, "s", "u", "x\n", true, false},
      {"no source", "", nullptr, "u", "x\n", true, false},
      {"no user", "", "s", nullptr, "x\n", true, false},
      {"no stream", "", "s", "u", "x\n", false, false},
      {"no format", "", "s", "u", nullptr, true, false},
      {"AVPDEBUG empty", "", "s", "u", "on\n", true, true},
      {"AVPDEBUG 0", "0", "s", "u", "on\n", true, true},
      {"AVPDEBUG no", "no", "s", "u", "on\n", true, true},
  };
  std::size_t frames = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.debug != nullptr) {
      setenv("AVPDEBUG", c.debug, 1);
    } else {
      unsetenv("AVPDEBUG");
    }
    avp_log_write(c.stream ? avp_session.avp_log_file : nullptr, c.source, 1, c.user, c.format);
    frames += c.written;
    EXPECT_EQ(scene.messages().size(), frames);
  }
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

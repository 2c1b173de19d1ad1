// taxapi-client against the real taxapi and the stand-in Taxware engine: what
// it prints and its exit statuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "avp_env.h"
#include "test_util.h"

namespace {

TEST(Client, Table) {
  test_util::TempDir dir;
  ASSERT_TRUE(dir.ok());
  dir.mkdir("log");
  std::string options = std::string("'") + TAXAPI_CLIENT_BIN + "' --dir '" + dir.at("q") + "' --timeout 5000";
  for (const std::string& e : test_util::avp_engine_env(dir.path())) options += " --env '" + e + "'";
  options += " --env QSE=" + dir.path();
  const struct {
    const char* args;
    int status;
    const char* out;
  } cases[] = {
      {"raw 8~2~1~1~1~ 9~2~1~1~1~~NY~12810~", 0,
       "<- 10~0~1~1~0~~\n-> 8~2~1~1~1~\n<- 10~0~1~1~0~~\n-> 9~2~1~1~1~~NY~12810~\n<- 6~2~1~1~1~0~\n"
       "<- 7~2~1~1~1~FAIRHAVEN                 ~NY~12810~00~001~KESTREL                   ~I~\n"},
      {"raw 9~1~1~1~1~", 1, "<- 10~0~1~1~0~~\n-> 9~1~1~1~1~\n<- 5~0~1~1~0~8.000000~\n"},
      {"avp addr state=NY zip=12810", 0,
       "<- 10~0~1~1~0~~\n<- 10~0~1~1~0~~\nmessage: ack\nptype: 1\nstype: 1\n<- 6~2~1~1~1~0~\nmessage: status\n"
       "action: 2\nptype: 1\nstype: 1\nresults: 1\nZipCmplCd: 0\n"
       "<- 7~2~1~1~1~FAIRHAVEN                 ~NY~12810~00~001~KESTREL                   ~I~\nmessage: result\n"
       "action: 2\nptype: 1\nstype: 1\nrecord: 1\ncity: FAIRHAVEN                 \nstate: NY\nzip: 12810\n"
       "geo: 00\ncounty_code: 001\ncounty_name: KESTREL                   \nindicator: I\n"},
      {"--ptype 2 raw 8~1~1~1~1~", 2, "<- 5~0~2~1~0~14.000000~\n"},
      {"bogus", 2, ""},
      {"--timeout 0 raw", 2, ""},
  };
  for (const auto& c : cases) {
    int status = -1;
    const std::string out = test_util::shell_output(options + " " + c.args + " 2>/dev/null", &status);
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
    EXPECT_EQ(out, c.out) << c.args;
    EXPECT_FALSE(std::filesystem::exists(dir.at("q/inq"))) << "the queue files are removed";
  }
  int status = -1;
  EXPECT_TRUE(test_util::shell_output(std::string(TAXAPI_CLIENT_BIN) + " --help", &status).starts_with("Usage: taxapi-client"));
  EXPECT_EQ(status, 0);
}

}  // namespace

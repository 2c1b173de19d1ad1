// The taxapi-client command line in raw mode against the process built with
// the test adapter: the replies it prints and its exit statuses.
#include <gtest/gtest.h>

#include <string>

#include "process_util.h"

namespace coretest {
namespace {

const std::string kClient = TAXAPI_CLIENT_BIN;
const std::string kBin = TAXAPI_TEST_BIN;

class Client : public ProcessTest {
 protected:
  void SetUp() override {
    ProcessTest::SetUp();
    if (!std::filesystem::exists(kClient)) GTEST_SKIP() << kClient << " is not built";
  }
  RunResult client(std::vector<std::string> args, std::vector<std::string> env = {}) {
    std::vector<std::string> argv = {kClient, "--taxapi", kBin, "--dir", dir_.at("q"), "--timeout", "5000"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, std::move(env));
  }
};

TEST_F(Client, RawRequestPrintsEveryReply) {
  const RunResult r = client({"raw", "8~1~1~1~1~", "9~1~1~1~1~0~2~4~hi~"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "<- 10~0~1~1~0~~\n"
            "-> 8~1~1~1~1~\n"
            "<- 10~0~1~1~0~~\n"
            "-> 9~1~1~1~1~0~2~4~hi~\n"
            "<- 6~1~1~1~2~4~\n"
            "<- 7~1~1~1~1~std~hi~\n"
            "<- 7~1~1~1~2~std~hi~\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.at("q/inq"))) << "the queue files are removed";
  EXPECT_FALSE(std::filesystem::exists(dir_.at("q/outq")));
}

TEST_F(Client, AnErrorReplyGivesStatusOne) {
  const RunResult r = client({"raw", "9~1~1~1~1~"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "<- 10~0~1~1~0~~\n-> 9~1~1~1~1~\n<- 5~0~1~1~0~8.000000~\n");
}

TEST_F(Client, ProcessThatDoesNotStartGivesStatusTwo) {
  // A start that fails before the engine: the queues stay, so the reply
  // cannot be lost with them.
  const RunResult r = client({"--ptype", "2", "raw", "8~1~1~1~1~"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "<- 5~0~2~1~0~14.000000~\n");
  EXPECT_NE(r.err.find("taxapi did not start: 5~0~2~1~0~14.000000~"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("taxapi exited with status 1"), std::string::npos) << r.err;
}

TEST_F(Client, AFailedEngineOpenStillShowsItsReply) {
  // The process removes both queues right after this reply; the client's
  // reader is already blocked on the queue, so the reply is never lost.
  for (int i = 0; i < 5; ++i) {
    const RunResult r = client({"raw", "8~1~1~1~1~"}, {"TEST_ADAPTER_OPEN=1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "<- 5~0~1~1~0~4.000000~\n");
    EXPECT_NE(r.err.find("taxapi exited with status 0"), std::string::npos) << r.err;
  }
}

TEST_F(Client, UsageErrorsAndAMissingExecutableGiveStatusTwo) {
  EXPECT_EQ(run({kClient, "--taxapi", dir_.at("none"), "--dir", dir_.at("q"), "--timeout", "3000", "raw",
                 "8~1~1~1~1~"}).status, 2);
  EXPECT_EQ(run({kClient}).status, 2);
  EXPECT_EQ(run({kClient, "--timeout", "0", "raw"}).status, 2);
  EXPECT_EQ(run({kClient, "--ptype"}).status, 2);
  EXPECT_EQ(run({kClient, "bogus"}).status, 2);
  const RunResult help = run({kClient, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: taxapi-client")) << help.out;
}

TEST_F(Client, AnOpenMessageEndsTheProcessBeforeTheTerminate) {
  const RunResult r = client({"raw", "2~0~1~1~0~"});
  EXPECT_EQ(r.out.substr(0, 16), "<- 10~0~1~1~0~~\n");
  EXPECT_EQ(r.status, 1) << "no reply to the open message: " << r.err;
}

}  // namespace
}  // namespace coretest

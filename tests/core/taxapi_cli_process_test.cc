// The command line of the real process: usage, release information,
// diagnostic mode, and the start-up failures before any queue is served.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "process_util.h"

namespace coretest {
namespace {

const std::string kBin = TAXAPI_TEST_BIN;

std::string usage_text(const std::string& name) {
  return "\nUsage: " + name +
         " [-u]|[-v]|[-dt]|[-dv]|[inq outq ptype stype]\n\n"
         "     -d: Run in diagnostic mode\n"
         "\tv: Vertex\n"
         "        t: Taxware\n"
         "     -u: Print usage information\n"
         "     -v: Print release information\n"
         "    inq: Path of input message queue file\n"
         "   outq: Path of output message queue file\n"
         "  ptype: Provider type (1-Tax)\n"
         "  stype: SubProvider type (1-Taxware; 2-Vertex)\n";
}

class Cli : public ProcessTest {};

TEST_F(Cli, UsageTextByteForByte) {
  for (const char* arg : {"-u", "-U", "-uvw", "-", "-x", "-d", "-dx", "-D", "--", "-?"}) {
    SCOPED_TRACE(arg);
    const RunResult r = run({kBin, arg});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, usage_text("taxapi-test"));
    EXPECT_EQ(r.err, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.at("log/log.api"))) << "usage opens no log";
}

TEST_F(Cli, UsageNamesTheProgramAfterItsLastSlashOrBackslash) {
  const std::string link = dir_.at("odd\\name");
  ASSERT_EQ(symlink(kBin.c_str(), link.c_str()), 0);
  const RunResult r = run({link, "-u"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, usage_text("name"));
}

const std::string kDashes(48, '-');

void expect_release_block(const std::vector<std::string>& l, std::size_t from) {
  ASSERT_GE(l.size(), from + 11);
  EXPECT_EQ(l[from], kDashes);
  EXPECT_TRUE(l[from + 1].starts_with("Product ver.: ")) << l[from + 1];
  const char* keys[] = {"Port no.    : ", "Date        : ", "Uname       : ", "Machine-id  : LINUX_INTEL",
                        "OS-release  : ", "CFLAGS      : ", "LOADFLAGS   : -lpthread", "Build-type  : 64-bit"};
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_TRUE(l[from + 2 + i].starts_with(keys[i])) << l[from + 2 + i];
    EXPECT_EQ(l[from + 2 + i].find("@(#)"), std::string::npos) << "printed without the prefix";
  }
  EXPECT_TRUE(std::regex_match(l[from + 3], std::regex(R"(Date        : \d{4}-\d\d-\d\d)"))) << l[from + 3];
  EXPECT_EQ(l[from + 10], kDashes);
}

TEST_F(Cli, ReleaseInformationIsElevenLinesOnStandardError) {
  for (const char* arg : {"-v", "-V", "-vx", "-version"}) {
    SCOPED_TRACE(arg);
    const RunResult r = run({kBin, arg});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> l = lines_of(r.err);
    EXPECT_EQ(l.size(), 11u) << r.err;
    expect_release_block(l, 0);
    EXPECT_TRUE(r.err.ends_with(kDashes + "\n"));
  }
}

TEST_F(Cli, ConfigSpecIsAddedForPrint) {
  const RunResult r = run({kBin, "-v"}, {"CONFIGSPEC=PRINT"});
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> l = lines_of(r.err);
  ASSERT_GT(l.size(), 15u) << r.err;
  expect_release_block(l, 0);
  EXPECT_EQ(l[13], "Config spec: ");
  EXPECT_TRUE(std::regex_match(l[14], std::regex(R"(\d{4}-\d\d-\d\d)"))) << "first the build date: " << l[14];
  EXPECT_EQ(l.back(), kDashes);
}

TEST_F(Cli, WhatStringsAreInTheProgramFile) {
  const std::string program = slurp(kBin);
  for (const char* entry :
       {"@(#)(B1 ) Prod. ver.  : ", "@(#)(B2 ) Target      : ", "@(#)(B3 ) Port no.    : ", "@(#)(B4 ) Date        : ",
        "@(#)(B5 ) Uname       : ", "@(#)(B6 ) Machine-id  : LINUX_INTEL", "@(#)(B7 ) OS-release  : ",
        "@(#)(B8 ) CFLAGS      : ", "@(#)(B9 ) LOADFLAGS   : -lpthread", "@(#)(B10) DBMS ver.   : -.-",
        "@(#)(B12) Build-type  : 64-bit", "@(#)(B11) "}) {
    EXPECT_NE(program.find(entry), std::string::npos) << entry;
  }
}

TEST_F(Cli, DiagnosticModeOpensAndClosesTheChosenEngine) {
  const struct {
    const char* arg;
    const char* trace;
  } cases[] = {{"-dv", "2 open\n2 close\n"}, {"-DV", "2 open\n2 close\n"}, {"-dt", "1 open\n1 close\n"},
               {"-dTx", "1 open\n1 close\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    const std::string trace = dir_.at("trace");
    std::filesystem::remove(trace);
    const RunResult r = run({kBin, c.arg}, {"TEST_ADAPTER_TRACE=" + trace});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(trace), c.trace);
  }
  EXPECT_EQ(api_log_text(), "") << "without APILOG nothing is written";
}

TEST_F(Cli, DiagnosticModeFailures) {
  const struct {
    const char* open;
    const char* out;
  } cases[] = {{"1", "init_apis() failed: API failed to open\n"},
               {"2", "init_apis() failed: Env Vars not set\n"},
               {"3", "init_apis() failed: Wrong provider specified\n"},
               {"4", ""},
               {"-1", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.open);
    const RunResult r = run({kBin, "-dv"}, {std::string("TEST_ADAPTER_OPEN=") + c.open, "APILOG=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(Cli, NoArgumentsAtAll) {
  const RunResult r = run({kBin}, {"APILOG=1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Illegal number of arguments passed to tax api\n");
  const std::string log = api_log_text();
  EXPECT_NE(log.find("tax01: Log mesg: API process started for user \n"), std::string::npos) << log;
  EXPECT_NE(log.find("tax01: Log mesg: FATAL ERROR - API process passed invalid init. message\n"), std::string::npos);
}

TEST_F(Cli, TwoOptionsOrASinglePathAreQueuesThatCannotBeOpened) {
  QueueGuard queues;
  const std::string inq = dir_.touch("inq");
  queues.watch(inq);
  const std::string err = "MSltOpen() failed, errno: 2\n";
  for (const auto& [args, want] : {std::pair {std::vector<std::string> {"-v", "-u"}, err + err},
                                   std::pair {std::vector<std::string> {inq}, err}}) {
    SCOPED_TRACE(args[0]);
    std::vector<std::string> argv = {kBin};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult r = run(argv, {"APILOG=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, want);
  }
  EXPECT_EQ(count_of(api_log_text(), "Log mesg: FATAL ERROR - API process failed to open queues.\n"), 2u);
}

TEST_F(Cli, QueuePathsThatCannotBeOpenedGiveCode13OnTheOutputQueue) {
  QueueGuard queues;
  const std::string outq = dir_.touch("outq");
  const int out_key = queues.create(outq);
  ASSERT_NE(out_key, -1);
  const RunResult r = run({kBin, dir_.at("missing"), outq, "1", "2"}, {"APILOG=1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(drain(out_key), (std::vector<std::string> {"5~0~1~2~0~13.000000~"}));
  EXPECT_NE(qid_of(outq), -1) << "a failed start removes nothing";
}

}  // namespace
}  // namespace coretest

// Failure paths through the OS seam. For each family of calls (queues, the
// loader, log files) the Nth call of one kind fails, for every N the process
// reaches in a whole run: start-up, one address request, terminate. The
// process (api_main with the Taxware adapter and the real stand-in engines)
// runs in a forked child per N while this process plays the ERP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <map>

#include "al_gtenv.h"
#include "al_os.h"
#include "api_adapter.h"
#include "api_main.h"
#include "avp_adapter.h"
#include "avp_env.h"
#include "core_test_util.h"
#include "test_util.h"

namespace {

using coretest::Texts;

const std::string kAck = "10~0~1~1~0~~";
const std::string kStatus = "6~2~1~1~1~0~";
const std::string kResult = "7~2~1~1~1~FAIRHAVEN                 ~NY~12810~00~001~KESTREL                   ~I~";
const Texts kClean = {kAck, kAck, kStatus, kResult};
const std::string kEngineFailed = "5~0~1~1~0~4.000000~";
// Whether a time stamp ("yy-mm-dd[hh:mm:ss]") stands in `line` after its
// start: an entry glued onto the fragment of a torn one.
bool glued(const std::string& line) {
  const std::string shape = "dd-dd-dd[dd:dd:dd]";
  for (std::size_t at = 1; at + shape.size() <= line.size(); ++at) {
    std::size_t i = 0;
    while (i < shape.size() && (shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[at + i])) != 0
                                                : line[at + i] == shape[i])) {
      ++i;
    }
    if (i == shape.size()) return true;
  }
  return false;
}

struct Outcome : coretest::Served {
  long calls = 0;  // calls of the failing kind the process made
};

al_os_call g_kind;
std::string g_calls_file;
void report_calls() { test_util::write_file(g_calls_file, std::to_string(al_os_calls(g_kind))); }

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    dir_.mkdir("log");
    env_ = test_util::avp_engine_env(dir_.path());
    env_.insert(env_.end(), {"QSE=" + dir_.path(), "APILOG=2", "TARN_API_TIMEOUT=5000", "LD_LIBRARY_PATH", "QSE_BIN"});
  }
  // One run with the `nth` call of `kind` failing with EIO (0: none fails).
  Outcome run(al_os_call kind, int nth, int err = EIO) {
    g_kind = kind;
    g_calls_file = dir_.at("calls");
    test_util::write_file(g_calls_file, "0");
    Outcome o;
    static_cast<coretest::Served&>(o) = coretest::serve(
        dir_,
        [&] {
          const int null = open("/dev/null", O_WRONLY);
          dup2(null, 1);
          dup2(null, 2);
          coretest::apply_env(env_);
          read_qse_vars("/nonexistent", 1);  // nothing read yet, as in a new process
          sVarInit = 0;
          api_set_adapter(1, &avp_adapter);
          al_os_reset();
          al_os_fail_nth(kind, nth, err);
          std::atexit(report_calls);
          std::string args[] = {"taxapi", dir_.at("inq"), dir_.at("outq"), "1", "1"};
          char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
          api_main(5, argv);
        },
        {"8~2~1~1~1~", "9~2~1~1~1~~NY~12810~", "4~0~1~1~0~"});
    o.calls = std::stol(test_util::slurp(g_calls_file));
    return o;
  }
  // Every N from 1 until a run that ended by itself made fewer than N calls
  // of `kind` (a killed or crashed run reports none).
  template <typename Check>
  int walk(al_os_call kind, Check check, int err = EIO) {
    int n = 1;
    for (Outcome o; ((o = run(kind, n, err)).calls >= n || o.status == -1) && n < 500; ++n) {
      SCOPED_TRACE("call " + std::to_string(n) + " of kind " + std::to_string(kind));
      EXPECT_NE(o.status, -1) << "hung or crashed";
      if (o.status == -1) break;
      check(n, o);
    }
    return n - 1;
  }
  test_util::TempDir dir_{"core_fault_"};
  std::vector<std::string> env_;
};

bool is_error(const std::string& reply) { return reply.starts_with("5~"); }

// Whether `part` is `whole` with some elements left out.
bool subsequence(const Texts& part, const Texts& whole) {
  auto at = whole.begin();
  for (const std::string& p : part) {
    at = std::find(at, whole.end(), p);
    if (at++ == whole.end()) return false;
  }
  return true;
}

// Every call of every kind: the process ends by itself, replies only what the
// clean run does (less what was lost) and at most one error, and removes its
// queues unless the failing call was one removing them.
TEST_F(Faults, QueueCalls) {
  const Outcome clean = run(AL_OS_FTOK, 0);
  ASSERT_EQ(clean.replies, kClean);
  ASSERT_EQ(clean.status, 0);
  ASSERT_EQ(clean.queues_left, 0);
  // Where the outcome is certain: a queue that cannot be opened at start-up
  // (the reply goes only when the output queue opened), and each lost reply.
  const std::map<std::pair<al_os_call, int>, Texts> exact = {
      {{AL_OS_FTOK, 1}, {"5~0~1~1~0~13.000000~"}},
      {{AL_OS_FTOK, 2}, {}},
      {{AL_OS_MSGSND, 1}, kClean},  // marking the new input queue as in use is best effort
      {{AL_OS_MSGSND, 2}, {kAck, kStatus, kResult}},  // the acknowledgements are not looked at
      {{AL_OS_MSGSND, 3}, {kAck, kStatus, kResult}},
      {{AL_OS_MSGSND, 4}, {kAck, kAck}},  // a lost status or result ends the session
      {{AL_OS_MSGSND, 5}, {kAck, kAck, kStatus}},
  };
  for (const al_os_call kind : {AL_OS_FTOK, AL_OS_MSGGET, AL_OS_MSGSND, AL_OS_MSGRCV, AL_OS_MSGCTL}) {
    const int walked = walk(kind, [&](int n, const Outcome& o) {
      if (const auto e = exact.find({kind, n}); e != exact.end()) {
        EXPECT_EQ(o.replies, e->second);
      }
      Texts errors, others;
      for (const std::string& r : o.replies) (is_error(r) ? errors : others).push_back(r);
      EXPECT_TRUE(subsequence(others, kClean)) << testing::PrintToString(o.replies);
      EXPECT_LE(errors.size(), 1u) << testing::PrintToString(o.replies);
      if (o.status == 0) {
        EXPECT_LE(o.queues_left, kind == AL_OS_MSGGET || kind == AL_OS_MSGCTL ? 1 : 0);
      } else {
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(others.empty()) << "a start-up failure, before the acknowledgement";
      }
    });
    EXPECT_GE(walked, 2) << kind;
  }
}

TEST_F(Faults, LoaderCalls) {
  for (const al_os_call kind : {AL_OS_DLOPEN, AL_OS_DLSYM}) {
    const int walked = walk(kind, [](int, const Outcome& o) {
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.replies, Texts{kEngineFailed});
      EXPECT_EQ(o.queues_left, 0);
    });
    EXPECT_GE(walked, 2) << kind;
  }
}

// A log that cannot be opened, or whose writes fail mid-entry (a full disk),
// never stops the service. Only the Taxware log's open is part of the
// engine's open, and only while that log is on: one open call fails it, or
// two when the file is there already (a new file is created exclusively).
TEST_F(Faults, LogFiles) {
  for (const bool avp_debug : {false, true}) {
    SCOPED_TRACE(avp_debug ? "AVPDEBUG set" : "AVPDEBUG unset");
    if (avp_debug) env_.push_back("AVPDEBUG=");
    int engine_failed = 0;
    const int walked = walk(AL_OS_FOPEN, [&](int, const Outcome& o) {
      EXPECT_EQ(o.status, 0);
      EXPECT_EQ(o.queues_left, 0);
      if (o.replies == Texts{kEngineFailed}) {
        ++engine_failed;
      } else {
        EXPECT_EQ(o.replies, kClean);
      }
    });
    EXPECT_GE(walked, 3);
    EXPECT_EQ(engine_failed >= 1 && engine_failed <= 2, avp_debug) << engine_failed;
  }
  // A write torn by a full disk: the next entry starts on a line of its own.
  const int walked = walk(AL_OS_WRITE, [&](int n, const Outcome& o) {
    EXPECT_EQ(o.replies, kClean);
    for (const char* log : {"log/log.api", "log/api_msg.log", "log/avp.log"}) {
      for (const std::string& line : test_util::lines_of(test_util::slurp(dir_.at(log)))) {
        EXPECT_FALSE(glued(line)) << log << " after write " << n << ": " << line;
      }
      std::remove(dir_.at(log).c_str());
    }
  }, ENOSPC);
  EXPECT_GE(walked, 10);
}

}  // namespace

// The real process served over its queues by the ERP-side peer: start-up
// replies and exit statuses, the message loop, logs of the traffic, signals,
// the watch on the parent and the queues, and hostile input.
#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "al_mslot.h"
#include "process_util.h"

namespace coretest {
namespace {

using erp::ErpPeer;
using Texts = std::vector<std::string>;

const std::string kBin = TAXAPI_TEST_BIN;
const std::string kRealBin = TAXAPI_BIN;
constexpr int kExitWait = 15000;

class Session : public ProcessTest {
 protected:
  // The `expected` replies (each waited for as long as the peer waits),
  // then whatever else arrives within a short while.
  static Texts replies(ErpPeer& peer, std::size_t expected) {
    Texts all;
    for (std::size_t i = 0; i < expected; ++i) {
      if (std::optional<std::string> r = peer.receive()) all.push_back(*r);
    }
    while (std::optional<std::string> r = peer.receive(50)) all.push_back(*r);
    return all;
  }
};

struct StartCase {
  std::vector<std::string> args;  // after the queue paths
  std::string env;                // one extra variable, or ""
  Texts replies;                  // every reply of the start
  int status;
  bool removed;       // the queues are gone afterwards
  const char* fatal;  // the API log's fatal entry
};

// What a start that runs to its end left behind.
struct Started {
  int status = -1;
  Texts replies;
  bool in_exists = false;
  bool out_exists = false;
};

// Starts `bin inq outq args...` in `dir` with a reader already waiting on the
// output queue and lets it run to its end.
Started start_to_end(const TempDir& dir, const std::string& bin, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, const std::vector<std::string>& unset,
                     const std::string& scratch) {
  Started s;
  QueueGuard queues;
  const std::string inq = dir.touch("inq");
  const std::string outq = dir.touch("outq");
  queues.watch(inq);
  const int out_key = queues.create(outq);
  EXPECT_NE(out_key, -1);
  if (out_key == -1) return s;
  WaitingReader reader(msgget(out_key, 0));
  EXPECT_TRUE(reader.waiting());
  std::vector<std::string> argv = {bin, inq, outq};
  argv.insert(argv.end(), args.begin(), args.end());
  const RunResult r = run_program(argv, env, unset, dir.path(), scratch);
  s.status = r.status;
  s.in_exists = qid_of(inq) != -1;
  s.out_exists = qid_of(outq) != -1;
  s.replies = reader.finish();
  return s;
}

TEST_F(Session, ALastReplyIsLeftForALateReaderBeforeTheQueuesGo) {
  // The engine fails at start: the process replies and terminates, which
  // removes the ERP's output queue. A reader that comes after the reply was
  // sent must still find it there.
  QueueGuard queues;
  const std::string inq = dir_.touch("inq");
  const std::string outq = dir_.touch("outq");
  queues.watch(inq);
  const int out_key = queues.create(outq);
  ASSERT_NE(out_key, -1);
  const int qid = msgget(out_key, 0);
  std::vector<std::string> env = base_env();
  env.push_back("TEST_ADAPTER_OPEN=1");
  RunResult run;
  std::thread process([&] { run = run_program({kBin, inq, outq, "1", "1"}, env, switches(), dir_.path(), scratch()); });

  // Late on purpose: the reply is long sent and the process waits for it to be read.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  struct {
    long mtype;
    char mtext[MSLT_MAX_TEXT + 1];
  } m {};
  const ssize_t n = msgrcv(qid, &m, MSLT_MAX_TEXT, 0, IPC_NOWAIT | MSG_NOERROR);
  process.join();
  ASSERT_GT(n, 0) << "the reply was destroyed with the queue";
  EXPECT_STREQ(m.mtext, "5~0~1~1~0~4.000000~");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(qid_of(outq), -1) << "the output queue is still removed afterwards";
  EXPECT_EQ(qid_of(inq), -1);
}

TEST_F(Session, StartUpFailuresReplyOnceAndExit) {
  const char* const kFatal = "Log mesg: FATAL ERROR - API fatal error occurred for user \n";
  const char* const kInvalid = "Log mesg: FATAL ERROR - API process passed invalid init. message\n";
  const StartCase cases[] = {
      {{}, "", {"5~0~0~0~0~14.000000~"}, 1, false, kFatal},
      {{"1"}, "", {"5~0~0~0~0~14.000000~"}, 1, false, kFatal},
      {{"2", "1"}, "", {"5~0~2~1~0~14.000000~"}, 1, false, kInvalid},
      {{"abc", "1"}, "", {"5~0~0~1~0~14.000000~"}, 1, false, kInvalid},
      {{"1", "3"}, "", {"5~0~0~0~0~0.000000~"}, 0, true, kFatal},
      {{"1", "0"}, "", {"5~0~0~0~0~0.000000~"}, 0, true, kFatal},
      {{"1", "1"}, "TEST_ADAPTER_OPEN=1", {"5~0~1~1~0~4.000000~"}, 0, true, kFatal},
      {{"1", "2"}, "TEST_ADAPTER_OPEN=2", {"5~0~1~2~0~3.000000~"}, 0, true, kFatal},
      {{"1", "2"}, "TEST_ADAPTER_OPEN=3", {}, 0, true, kFatal},
  };
  for (const StartCase& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += "[" + a + "]";
    SCOPED_TRACE(label + " " + c.env);
    std::filesystem::remove_all(dir_.at("log"));
    dir_.mkdir("log");
    std::vector<std::string> env = base_env();
    env.push_back("APILOG=1");
    if (!c.env.empty()) env.push_back(c.env);
    const Started s = start_to_end(dir_, kBin, c.args, env, switches(), scratch());
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.replies, c.replies);
    EXPECT_EQ(s.in_exists, !c.removed);
    EXPECT_EQ(s.out_exists, !c.removed);
    const std::string log = api_log_text();
    EXPECT_NE(log.find(c.fatal), std::string::npos) << log;
    EXPECT_EQ(log.find("API process exited by user ") != std::string::npos, c.removed) << log;
  }
}

TEST_F(Session, AcceptedStartUpForms) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"1", "1"}, "10~0~1~1~0~~"},
      {{"1", "2"}, "10~0~1~2~0~~"},
      {{"1", "1", "1"}, "10~0~1~1~0~~"},
      {{" 1", "+2"}, "10~0~1~2~0~~"},
      {{"1x", "2abc"}, "10~0~1~2~0~~"},
  };
  for (const auto& [args, ack] : cases) {
    SCOPED_TRACE(args[0] + "/" + args[1]);
    erp::PeerOptions o = peer_options(kBin);
    o.args = std::vector<std::string> {dir_.at("inq"), dir_.at("outq")};
    o.args->insert(o.args->end(), args.begin(), args.end());
    ErpPeer peer(o);
    std::string first;
    EXPECT_TRUE(peer.start(&first));
    EXPECT_EQ(first, ack);
    EXPECT_TRUE(peer.running());
    EXPECT_EQ(peer.terminate(), 0);
    EXPECT_EQ(peer.input_queue_id(), -1);
    EXPECT_EQ(peer.output_queue_id(), -1);
  }
}

TEST_F(Session, TheRealProcessWithoutEnginesCannotOpenThem) {
  std::vector<std::string> unset = switches();
  unset.push_back("LD_LIBRARY_PATH");
  for (const char* v : {"VERTEXSERVER", "VERTEXUSER", "VERTEXPWD", "VERTEXGEO", "VERTEXRATE", "VERTEXTDM",
                        "VERTEXREG", "AVPAUDIT", "AVPIN", "AVPOUT", "AVPTEMP", "ZIPIN", "ZIPOUT", "ZIPTEMP",
                        "STEPIN", "STEPOUT", "STEPTEMP"}) {
    unset.push_back(v);
  }
  for (int stype : {1, 2}) {
    SCOPED_TRACE(stype);
    const std::string s = std::to_string(stype);
    const Started started = start_to_end(dir_, kRealBin, {"1", s}, base_env(), unset, scratch());
    EXPECT_EQ(started.status, 0);
    ASSERT_EQ(started.replies.size(), 1u);
    const std::string code4 = "5~0~1~" + s + "~0~4.000000~";
    const std::string code3 = "5~0~1~" + s + "~0~3.000000~";
    if (stype == 2) {
      EXPECT_EQ(started.replies[0], code4);
    } else {
      // Taxware: no engine library (4), or its variables missing (3).
      EXPECT_TRUE(started.replies[0] == code4 || started.replies[0] == code3) << started.replies[0];
    }
    EXPECT_FALSE(started.in_exists);
    EXPECT_FALSE(started.out_exists);
  }
}

// Received (R) and sent (S) texts of the message log, in order.
Texts traffic(const std::string& log) {
  Texts t;
  const std::regex line(R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\] ([RS]) (.*))");
  for (const std::string& l : lines_of(log)) {
    std::smatch m;
    if (std::regex_match(l, m, line)) t.push_back(m[1].str() + " " + m[2].str());
  }
  return t;
}

TEST_F(Session, LevelTwoLogsTheTrafficInOrder) {
  erp::PeerOptions o = peer_options(kBin, 1);
  o.env.push_back("APILOG=2");
  ErpPeer peer(o);
  ASSERT_TRUE(peer.start());
  const erp::Exchange ex = peer.request(1, 1, "0~1~0~x~");
  ASSERT_TRUE(ex.ok) << ex.problem;
  ASSERT_TRUE(peer.send("9~1~1~1~1~"));
  EXPECT_EQ(peer.receive().value_or("(none)"), "5~0~1~1~0~8.000000~");
  EXPECT_EQ(peer.terminate(), 0);
  const std::string log = msg_log_text();
  EXPECT_EQ(traffic(log), (Texts {"S 10~0~1~1~0~~", "R 8~1~1~1~1~", "S 10~0~1~1~0~~", "R 9~1~1~1~1~0~1~0~x~",
                                  "S 6~1~1~1~1~0~", "S 7~1~1~1~1~std~x~", "R 9~1~1~1~1~", "S 5~0~1~1~0~8.000000~",
                                  "R 4~0~1~1~0~"}))
      << log;
  EXPECT_NE(log.find(" I \npid: "), std::string::npos);
  EXPECT_NE(log.find("\nin: " + dir_.at("inq") + "\nout: " + dir_.at("outq") + "\n"), std::string::npos) << log;
}

TEST_F(Session, ASignalWhileWaitingRemovesTheQueuesAndEndsNormally) {
  for (int sig : {SIGTERM, SIGINT, SIGABRT}) {
    SCOPED_TRACE(sig);
    std::filesystem::remove_all(dir_.at("log"));
    dir_.mkdir("log");
    erp::PeerOptions o = peer_options(kBin, 1);
    o.env.push_back("APILOG=1");
    ErpPeer peer(o);
    ASSERT_TRUE(peer.start());
    const pid_t pid = peer.pid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, sig), 0);
    EXPECT_EQ(peer.wait_exit(kExitWait), 0);
    EXPECT_EQ(peer.input_queue_id(), -1);
    EXPECT_EQ(peer.output_queue_id(), -1);
    const std::string log = api_log_text();
    const std::size_t caught = log.find("Log mesg: Signal caught. Closing queues and exiting.\n");
    const std::size_t exited = log.find("Log mesg: API process exited by user \n");
    ASSERT_NE(caught, std::string::npos) << log;
    EXPECT_NE(log.find(":File:lib/tax/api_tarn "), std::string::npos);
    ASSERT_NE(exited, std::string::npos) << log;
    EXPECT_LT(caught, exited);
    EXPECT_EQ(count_of(log, "Signal caught."), 1u);
  }
}

TEST_F(Session, AnOutputQueueRemovedByTheErpEndsTheProcessWith255) {
  erp::PeerOptions o = peer_options(kBin, 1);
  o.env.push_back("APILOG=1");
  o.env.push_back("TARN_API_TIMEOUT=10");
  ErpPeer peer(o);
  ASSERT_TRUE(peer.start());
  ASSERT_EQ(msgctl(peer.output_queue_id(), IPC_RMID, nullptr), 0);
  EXPECT_EQ(peer.wait_exit(kExitWait), 255);
  EXPECT_EQ(peer.input_queue_id(), -1);
  const std::string log = api_log_text();
  EXPECT_NE(log.find("Log mesg: Message queue gone. Closing queues " + dir_.at("inq") + " and " + dir_.at("outq") +
                     " and exiting.\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("API process exited by user "), std::string::npos) << "the watch exits at once";
  EXPECT_NE(msg_log_text().find("\nq_in: " + dir_.at("inq") + "\nq_out: " + dir_.at("outq") + "\nmsq_in: "),
            std::string::npos);
  EXPECT_NE(msg_log_text().find("\nmsq_out: -1\n"), std::string::npos);
}

TEST_F(Session, AnInputQueueRemovedByTheErpEndsTheLoopOnceRepliesCannotGo) {
  erp::PeerOptions o = peer_options(kBin, 1);
  o.env.push_back("TARN_API_TIMEOUT=10");
  ErpPeer peer(o);
  ASSERT_TRUE(peer.start());
  ASSERT_EQ(msgctl(peer.input_queue_id(), IPC_RMID, nullptr), 0);
  // Every receive now gives an empty message, answered with code 0, until the
  // output queue is full and the reply fails.
  EXPECT_EQ(peer.wait_exit(kExitWait), 0);
  EXPECT_EQ(peer.output_queue_id(), -1);
}

TEST_F(Session, LongMessagesAreCutAndTheProcessGoesOn) {
  erp::PeerOptions o = peer_options(kBin, 1);
  o.env.push_back("APILOG=2");
  ErpPeer peer(o);
  ASSERT_TRUE(peer.start());
  ASSERT_TRUE(peer.send("12~" + std::string(2997, 'x')));
  EXPECT_EQ(peer.receive().value_or("(none)"), "5~0~0~0~0~0.000000~");
  // Beyond the transport's 4096 bytes, straight onto the queue.
  ASSERT_TRUE(put_bytes(key_of(peer.inq_path()), "6~1~1~2~1~" + std::string(6000, 'y')));
  EXPECT_EQ(peer.receive().value_or("(none)"), "5~0~1~2~0~0.000000~");
  // A data message longer than the buffer still reaches the engine, cut.
  const erp::Exchange ex = peer.request(1, 1, "0~1~0~z~" + std::string(3000, 'w'));
  EXPECT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.results, Texts {"7~1~1~1~1~std~z~"});
  EXPECT_EQ(peer.terminate(), 0);
  std::size_t received = 0;
  for (const std::string& t : traffic(msg_log_text())) {
    if (t.starts_with("R 12~") || t.starts_with("R 6~") || t.starts_with("R 9~")) {
      EXPECT_EQ(t.size(), 2u + 1023u) << t.substr(0, 20);
      ++received;
    }
  }
  EXPECT_EQ(received, 3u);
}

TEST_F(Session, GarbageNeverEndsTheProcess) {
  ErpPeer peer(peer_options(kBin, 1));
  ASSERT_TRUE(peer.start());
  const std::string zero = "5~0~0~0~0~0.000000~";
  const std::vector<std::pair<std::string, Texts>> table = {
      {"", {zero}},
      {"99999999999999999999~1~1~1~1~", {zero}},
      {"-2147483648~1~1~1~1~", {"5~0~1~1~0~0.000000~"}},
      {"9~99999999999~1~1~1~", {"5~0~0~0~0~8.000000~"}},
      {"9~1~1~1~1~" + std::string(2000, '~'), {"5~0~1~1~0~8.000000~"}},
      {"8~9~1~1~1~", {"5~0~1~1~0~15.000000~"}},
      {"8~1~1~1~-99999999999~", {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}},
  };
  for (const auto& [text, want] : table) {
    ASSERT_TRUE(peer.send(text)) << text.substr(0, 40);
    EXPECT_EQ(replies(peer, want.size()), want) << text.substr(0, 40);
  }
  std::mt19937 rng(20261206);
  for (int i = 0; i < 150; ++i) {
    std::string text(1 + rng() % 3000, ' ');
    for (char& ch : text) ch = static_cast<char>(rng() % 256);
    text[0] = static_cast<char>('a' + rng() % 26);  // never a header
    ASSERT_TRUE(peer.send(text)) << i;
    const std::optional<std::string> reply = peer.receive();
    EXPECT_EQ(reply.value_or("(none)"), zero) << i;
  }
  // A queue message type beyond int.
  ASSERT_TRUE(put(key_of(peer.inq_path()), "7~1~1~1~1~", LONG_MAX));
  EXPECT_EQ(peer.receive().value_or("(none)"), "5~0~1~1~0~0.000000~");
  ASSERT_TRUE(peer.running());
  const erp::Exchange ex = peer.request(1, 1, "0~1~0~alive~");
  EXPECT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.results, Texts {"7~1~1~1~1~std~alive~"});
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(Session, ASlowErpGetsEveryReplyOfABurst) {
  ErpPeer peer(peer_options(kBin, 1));
  ASSERT_TRUE(peer.start());
  // Far more results than the output queue holds at once, read late and
  // slowly: the process waits for room instead of dropping any.
  ASSERT_TRUE(peer.send("8~1~1~1~1~"));
  EXPECT_EQ(peer.receive().value_or("(none)"), "10~0~1~1~0~~");
  ASSERT_TRUE(peer.send("9~1~1~1~1~0~1500~0~b~"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(peer.receive().value_or("(none)"), "6~1~1~1~1500~0~");
  for (int i = 1; i <= 1500; ++i) {
    if (i % 250 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string want = "7~1~1~1~" + std::to_string(i) + "~std~b~";
    const std::optional<std::string> got = peer.receive();
    ASSERT_EQ(got.value_or("(none)"), want);
  }
  EXPECT_EQ(peer.terminate(), 0);
}

}  // namespace
}  // namespace coretest

// The real taxapi over real queues with the stand-in Taxware engine: the
// command line, start-up, every message type and action sequence, hostile
// input, signals, the watch on the parent and the queues, and the logs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <regex>

#include "al_mslot.h"
#include "avp_env.h"
#include "core_test_util.h"
#include "erp_peer.h"
#include "test_util.h"

namespace {

using coretest::Texts;
using test_util::log_messages;
using test_util::slurp;
using namespace std::chrono_literals;

const std::string kAck = "10~0~1~1~0~~";
const std::string kTaxStd =  // levels 1 to 5: taxes, rates; title, place
    "7~1~1~1~1~6.000000~0.250000~1.000000~0.250000~0.000000~0.060000~0.002500~0.010000~0.002500~0.000000~D~"
    "CA 90411 00 SAN ALBERO   ~";
const std::string kTaxEnh =  // levels 0 to 7
    "7~1~1~1~1~0.000000~6.000000~0.250000~1.000000~0.000000~0.000000~0.250000~0.000000~0.000000~0.060000~"
    "0.002500~0.010000~0.000000~0.000000~0.002500~0.000000~D~CA 90411 00 SAN ALBERO   ~";
const std::string kAddr = "9~2~1~1~1~~NY~12810~";  // one place: Fairhaven
const std::string kAddrReplies[] = {"6~2~1~1~1~0~", "7~2~1~1~1~FAIRHAVEN                 ~NY~12810~00~001~KESTREL                   ~I~"};
std::string error(const char* rest) { return std::string("5~0~") + rest + "~"; }
// `text` made `length` characters long with a last field no request reads.
std::string pad(const std::string& text, std::size_t length) { return text + std::string(length - text.size(), 'p'); }

struct Outcome : coretest::Served {
  std::string out, err;
};

class E2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    dir_.mkdir("log");
    // Run through a link whose name has a slash and a backslash before "taxapi".
    std::filesystem::create_symlink(TAXAPI_BIN, dir_.at("x\\taxapi"));
  }
  // The stand-in's environment; an `extra` entry replaces one of the same name.
  std::vector<std::string> env(const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> e = test_util::avp_engine_env(dir_.path());
    e.insert(e.end(), {"QSE=" + dir_.path(), "USER=tax01", "LD_LIBRARY_PATH=", "APILOG", "TARN_API_TIMEOUT",
                       "CONFIGSPEC", "AVP_STANDIN_CONTROL", "QSE_BIN"});
    for (const std::string& x : extra) {
      const std::string name = x.substr(0, x.find('='));
      std::erase_if(e, [&](const std::string& have) { return have.substr(0, have.find('=')) == name; });
      e.push_back(x);
    }
    return e;
  }
  erp::PeerOptions peer_options(const std::vector<std::string>& extra = {}) const {
    erp::PeerOptions o;
    o.taxapi = TAXAPI_BIN;
    o.dir = dir_.path();
    for (const std::string& e : env(extra)) (e.find('=') != std::string::npos ? o.env : o.unset).push_back(e);
    return o;
  }
  // Runs taxapi with `args` ("IN" and "OUT" stand for the queue files) to its
  // end; its first reply is answered with `request`. With `read` false its
  // replies are left unread (coretest::serve).
  Outcome run(const std::vector<std::string>& args, const std::vector<std::string>& extra = {},
              const Texts& request = {"4~0~1~1~0~"}, bool read = true) {
    std::vector<std::string> argv = {dir_.at("x\\taxapi")};
    for (const std::string& a : args) argv.push_back(a == "IN" ? dir_.at("inq") : a == "OUT" ? dir_.at("outq") : a);
    const std::vector<std::string> environment = env(extra);
    Outcome r;
    static_cast<coretest::Served&>(r) = coretest::serve(
        dir_,
        [&] {
          dup2(open(dir_.at("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
          dup2(open(dir_.at("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
          coretest::apply_env(environment);
          std::vector<char*> cargs;
          for (const std::string& a : argv) cargs.push_back(const_cast<char*>(a.c_str()));
          cargs.push_back(nullptr);
          execv(cargs[0], cargs.data());
        },
        request, read);
    r.out = slurp(dir_.at("out"));
    r.err = slurp(dir_.at("err"));
    return r;
  }
  std::string log(const char* name) const { return slurp(dir_.at(std::string("log/") + name)); }

  test_util::TempDir dir_{"core_e2e_"};
};

const char* const kUsage =
    "\nUsage: taxapi [-u]|[-v]|[-dt]|[-dv]|[inq outq ptype stype]\n\n"
    "     -d: Run in diagnostic mode\n\tv: Vertex\n        t: Taxware\n"
    "     -u: Print usage information\n     -v: Print release information\n"
    "    inq: Path of input message queue file\n   outq: Path of output message queue file\n"
    "  ptype: Provider type (1-Tax)\n  stype: SubProvider type (1-Taxware; 2-Vertex)\n";
const std::string kDashes = "-{48}\n";
const std::string kRelease = kDashes +
                             "Product ver\\.: \\d+\\.\\d+\\.\\d+\nPort no\\.    : .+\nDate        : \\d{4}-\\d\\d-\\d\\d\n"
                             "Uname       : .+\nMachine-id  : LINUX_INTEL\nOS-release  : .+\nCFLAGS      : .*\n"
                             "LOADFLAGS   : -lpthread\nBuild-type  : 64-bit\n" +
                             kDashes;

// The command line and the start-up: each row one process run to its end.
struct StartRow {
  const char* name;
  std::vector<std::string> args;  // "IN" and "OUT" stand for the queue files, "DIR" for the test directory
  const char* env;
  int status;
  std::string out;
  std::string err;  // a pattern
  Texts replies;
  bool removed;  // both queues are gone afterwards
  bool read = true;  // false: the ERP never reads, `replies` are those left to be read while the process ran
};
void PrintTo(const StartRow& row, std::ostream* os) { *os << row.name; }

const std::string kNoQueue = "MSltOpen\\(\\) failed, errno: 2\n";
const StartRow kStartRows[] = {
    {"usage", {"-u"}, "", 1, kUsage, "", {}, false},
    {"unknown diagnostic engine gives the usage", {"-dx"}, "", 1, kUsage, "", {}, false},
    {"release information, upper case", {"-V"}, "", 0, "", kRelease, {}, false},
    {"configuration printed on request", {"-v"}, "CONFIGSPEC=PRINT", 0, "",
     kRelease + kDashes + "\nConfig spec: \n\\d{4}-\\d\\d-\\d\\d\nelement \\* main/LATEST\n\n" + kDashes, {}, false},
    // Diagnostic mode echoes the engine's log to standard error.
    {"diagnostic Taxware open", {"-dT"}, "", 0, "", "Loading AVPTAX\\.DLL\\.\n[\\s\\S]*", {}, false},
    {"diagnostic open with a variable empty", {"-dt"}, "AVPIN=", 1, "init_apis() failed: Env Vars not set\n",
     "Loading AVPTAX\\.DLL\\.\n[\\s\\S]*", {}, false},
    {"diagnostic Vertex open without its engine", {"-dv"}, "", 1, "init_apis() failed: API failed to open\n",
     "Loading vst\\.DLL\\.\n[\\s\\S]*", {}, false},
    {"no arguments", {}, "", 1, "Illegal number of arguments passed to tax api\n", "", {}, false},
    {"two options are two queue paths", {"-v", "-u"}, "", 1, "", kNoQueue + kNoQueue, {}, false},
    {"a normal start", {"IN", "OUT", "1", "1"}, "", 0, "", "", {kAck}, true},
    {"numbers read as strtol does", {"IN", "OUT", " +1", "1x", "more"}, "", 0, "", "", {kAck}, true},
    {"too few arguments", {"IN", "OUT", "1"}, "", 1, "", "", {error("0~0~0~14.000000")}, false},
    {"another provider type", {"IN", "OUT", "2", "1"}, "", 1, "", "", {error("2~1~0~14.000000")}, false},
    {"a provider type that is no number", {"IN", "OUT", "abc", "1"}, "", 1, "", "", {error("0~1~0~14.000000")}, false},
    {"an unknown sub-provider", {"IN", "OUT", "1", "3"}, "", 0, "", "", {error("0~0~0~0.000000")}, true},
    {"engine libraries not found", {"IN", "OUT", "1", "1"}, "QSE_SHLIB=/nonexistent", 0, "", "",
     {error("1~1~0~4.000000")}, true},
    {"an engine variable empty", {"IN", "OUT", "1", "1"}, "ZIPTEMP=", 0, "", "", {error("1~1~0~3.000000")}, true},
    {"the Vertex engine not found", {"IN", "OUT", "1", "2"}, "", 0, "", "", {error("1~2~0~4.000000")}, true},
    // The last reply stays for the ERP to read (a while), then the process ends all the same.
    {"a last reply never read", {"IN", "OUT", "1", "1"}, "QSE_SHLIB=/nonexistent", 0, "", "",
     {error("1~1~0~4.000000")}, true, false},
    {"input queue file missing", {"missing", "OUT", "1", "2"}, "", 1, "", kNoQueue, {error("1~2~0~13.000000")},
     false},
    {"output queue file without a queue", {"IN", "DIR", "1", "1"}, "", 1, "", kNoQueue, {}, false},
};

class StartUp : public E2e, public ::testing::WithParamInterface<StartRow> {};

TEST_P(StartUp, Replies) {
  const StartRow& row = GetParam();
  std::vector<std::string> args = row.args;
  for (std::string& a : args) a = a == "DIR" ? dir_.path() : a;
  const Outcome r = run(args, {row.env}, {"4~0~1~1~0~"}, row.read);
  EXPECT_EQ(r.status, row.status);
  EXPECT_EQ(r.out, row.out);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(row.err))) << r.err;
  EXPECT_EQ(r.replies, row.replies);
  EXPECT_EQ(r.queues_left == 0, row.removed);
  EXPECT_EQ(log("log.api"), "") << "without APILOG nothing is logged";
}

INSTANTIATE_TEST_SUITE_P(Core, StartUp, ::testing::ValuesIn(kStartRows), test_util::RowName());

// Messages to a running process: each row a process of its own, named for
// what it catches. "SIG..." sends that signal instead of a message; "VANISH"
// removes the input queue and puts another one under its key, which must
// outlive the process. A row whose process goes on is terminated after it.
struct SequenceRow {
  const char* name;
  Texts send;
  Texts replies;
  int exit = -1;                 // -1: the process goes on
  const char* logged = nullptr;  // an API log entry the row must leave
};
void PrintTo(const SequenceRow& row, std::ostream* os) { *os << row.name; }

// Ship-to San Albero, 100.00; 47 delimiters.
const std::string kTax = "9~1~1~1~1~~~~~SAN ALBERO~CA~90411~~~~~~~~~~~~100.00~" + std::string(23, '~');
const std::string kBadInit = "FATAL ERROR - API process passed invalid init. message";
const std::string kSignalCaught = "Signal caught. Closing queues and exiting.";

const SequenceRow kSequenceRows[] = {
    {"address request", {"8~2~1~1~1~", kAddr}, {kAck, kAddrReplies[0], kAddrReplies[1]}},
    {"the data message decides the action", {"8~1~1~1~1~", kAddr}, {kAck, kAddrReplies[0], kAddrReplies[1]}},
    {"address not found", {"8~2~1~1~1~", "9~2~1~1~1~~ZZ~12810~"}, {kAck, error("1~1~0~1112.000000")}},
    {"data message alone", {"9~1~1~1~1~"}, {error("1~1~0~8.000000")}},
    {"unexpected message types",
     {"0~0~1~1~0~", "5~0~1~1~0~", "6~1~1~1~1~", "7~1~1~1~1~", "10~0~1~1~0~~", "12~0~3~4~0~"},
     {error("1~1~0~0.000000"), error("1~1~0~0.000000"), error("1~1~0~0.000000"), error("1~1~0~0.000000"),
      error("1~1~0~0.000000"), error("3~4~0~0.000000")}},
    {"garbage", {"\x01\xff garbage~~"}, {error("0~0~0~0.000000")}},
    {"a text beyond the transport", {"12~" + std::string(6000, 'y')}, {error("0~0~0~0.000000")}},
    {"action of another provider", {"8~1~2~1~1~"}, {error("2~1~0~0.000000")}, -1,
     "API process received bad action message "},
    {"unknown action", {"8~3~1~1~1~"}, {error("1~1~0~15.000000")}},
    {"action without data messages", {"8~1~1~1~0~"}, {kAck, error("1~1~0~15.000000")}},
    {"action followed by another type", {"8~1~1~1~1~", "7~1~1~1~1~"}, {kAck, error("1~1~0~15.000000")}},
    {"data for another sub-provider", {"8~1~1~1~1~", "9~1~1~2~1~"}, {kAck, error("1~1~0~15.000000")}},
    {"data of another provider", {"8~1~1~1~1~", "9~1~2~1~1~"}, {kAck, error("1~1~0~15.000000")}},
    {"data with an unknown action", {"8~1~1~1~1~", "9~3~1~1~1~"}, {kAck, error("1~1~0~15.000000")}},
    {"action for an engine not open", {"8~1~1~2~1~", "9~1~1~2~1~"}, {"10~0~1~2~0~~", error("1~2~0~1.000000")}},
    {"init again", {"1~0~1~1~0~"}, {kAck}},
    {"48 delimiters: the standard form", {"8~1~1~1~1~", kTax + "~"}, {kAck, "6~1~1~1~1~0~", kTaxStd}},
    {"49 delimiters: the enhanced form", {"8~1~1~1~1~", kTax + "~~"}, {kAck, "6~1~1~1~1~0~", kTaxEnh}},
    // Cut to the input buffer it would read as a standard request with fields lost.
    {"a data message too long is refused", {"8~1~1~1~1~", kTax + "~~" + std::string(1000, '~')},
     {kAck, error("1~1~0~15.000000")}},
    // The longest text the buffer holds, sent with its NUL; one more is cut.
    {"1023 characters are served", {"8~1~1~1~1~", pad(kTax + "~", 1023)}, {kAck, "6~1~1~1~1~0~", kTaxStd}},
    {"1024 characters are refused", {"8~1~1~1~1~", pad(kTax + "~", 1024)}, {kAck, error("1~1~0~15.000000")}},
    {"SIGPIPE is ignored", {"SIGPIPE", "9~1~1~1~1~"}, {error("1~1~0~8.000000")}},
    {"no data message after the action", {"8~1~1~1~1~", "junk"}, {kAck}, 0},
    {"action for no engine ends the loop", {"8~1~1~3~1~"}, {}, 0},
    {"init of another provider", {"1~0~2~1~0~"}, {error("2~1~0~14.000000")}, 0, kBadInit.c_str()},
    {"init of an engine that fails", {"1~0~1~2~0~"}, {error("1~2~0~1.000000")}, 0, kBadInit.c_str()},
    {"open message ends the loop", {"2~0~1~1~0~"}, {}, 0},
    {"close message ends the loop", {"3~0~1~1~0~"}, {}, 0},
    {"terminate", {"4~0~1~1~0~"}, {}, 0, "API process received terminate message "},
    {"SIGTERM", {"SIGTERM"}, {}, 0, kSignalCaught.c_str()},
    {"SIGHUP", {"SIGHUP"}, {}, 0, kSignalCaught.c_str()},
    {"SIGQUIT", {"SIGQUIT"}, {}, 0, kSignalCaught.c_str()},
    {"input queue replaced under its key", {"VANISH"}, {}, 0, "FATAL ERROR - API queue closed, send failed "},
};

class Sequences : public E2e, public ::testing::WithParamInterface<SequenceRow> {};

TEST_P(Sequences, Replies) {
  const SequenceRow& row = GetParam();
  const std::map<std::string, int> signals = {
      {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGQUIT", SIGQUIT}, {"SIGPIPE", SIGPIPE}};
  int newcomer = -1;
  erp::ErpPeer peer(peer_options({"APILOG=1"}));
  ASSERT_TRUE(peer.start());
  for (const std::string& text : row.send) {
    if (signals.count(text) != 0) {
      kill(peer.pid(), signals.at(text));
    } else if (text == "VANISH") {
      ASSERT_EQ(msgctl(peer.input_queue_id(), IPC_RMID, nullptr), 0);
      newcomer = msgget(ftok(peer.inq_path().c_str(), 1), IPC_CREAT | 0600);
    } else if (text.size() < 4096) {
      ASSERT_TRUE(peer.send(text));
    } else {  // straight onto the queue: the transport would cut it
      std::vector<char> m(sizeof(long) + text.size());
      m[0] = 1;
      std::memcpy(m.data() + sizeof(long), text.data(), text.size());
      ASSERT_EQ(msgsnd(peer.input_queue_id(), m.data(), text.size(), 0), 0);
    }
  }
  Texts got;
  for (std::size_t i = 0; i < row.replies.size(); ++i) got.push_back(peer.receive().value_or("(none)"));
  while (std::optional<std::string> extra = peer.receive(row.exit == -1 ? 50 : 0)) got.push_back(*extra);
  EXPECT_EQ(got, row.replies);
  EXPECT_EQ(row.exit == -1 ? peer.terminate() : peer.wait_exit(10000), row.exit == -1 ? 0 : row.exit);
  if (newcomer != -1) {
    EXPECT_EQ(peer.input_queue_id(), newcomer) << "not the process's to remove";
    msgctl(newcomer, IPC_RMID, nullptr);
  }
  EXPECT_EQ(peer.input_queue_id(), -1);
  EXPECT_EQ(peer.output_queue_id(), -1);
  const Texts logged = log_messages(log("log.api"));
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.front(), "API process started for user ");
  if (row.logged != nullptr) {
    EXPECT_NE(std::find(logged.begin(), logged.end(), row.logged), logged.end()) << row.logged;
  }
  EXPECT_EQ(logged.back(), "API process exited by user ");
}

INSTANTIATE_TEST_SUITE_P(Core, Sequences, ::testing::ValuesIn(kSequenceRows), test_util::RowName());

// The watch that runs after ten time-outs in a row: a gone output queue (one
// removed and another made under its key too, which is not the process's to
// remove) or a gone parent ends the process with 255, removing both queues.
TEST_F(E2e, WatchEndsTheProcessWith255) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // orphans become ours, so their status is seen
  const std::string wrapper = dir_.write("wrapper", std::string("#!/bin/sh\n\"") + TAXAPI_BIN + "\" \"$@\" &\nsleep 1\n");
  std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
  for (const std::string gone : {"output queue", "output queue replaced", "parent"}) {
    SCOPED_TRACE(gone);
    const bool parent_goes = gone == "parent";
    erp::PeerOptions o = peer_options({"APILOG=1", "TARN_API_TIMEOUT=10"});
    if (parent_goes) o.taxapi = wrapper;
    erp::ErpPeer peer(o);
    ASSERT_TRUE(peer.start());
    int newcomer = -1;
    if (!parent_goes) {
      ASSERT_EQ(msgctl(peer.output_queue_id(), IPC_RMID, nullptr), 0);
      if (gone == "output queue replaced") newcomer = msgget(ftok(peer.outq_path().c_str(), 1), IPC_CREAT | 0600);
      EXPECT_EQ(peer.wait_exit(10000), 255);
    } else {
      EXPECT_EQ(peer.wait_exit(10000), 0) << "the wrapper";
      int status = 0;
      for (int i = 0; i < 5000 && waitpid(-1, &status, WNOHANG) <= 0; ++i) std::this_thread::sleep_for(2ms);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << status;
    }
    EXPECT_EQ(peer.input_queue_id(), -1);
    EXPECT_EQ(peer.output_queue_id(), newcomer) << "the newcomer is not the process's to remove";
    if (newcomer != -1) msgctl(newcomer, IPC_RMID, nullptr);
    EXPECT_EQ(log_messages(log("log.api")).back(), std::string(parent_goes ? "Parent" : "Message queue") +
                                                       " gone. Closing queues " + peer.inq_path() + " and " +
                                                       peer.outq_path() + " and exiting.");
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_NE(log("api_msg.log").find(" I \nq_in: " + dir_.at("inq") + "\nq_out: " + dir_.at("outq") + "\nmsq_in: "),
            std::string::npos);
}

// More results than the output queue holds, read late: the process waits for
// room rather than drop any.
TEST_F(E2e, ASlowErpGetsEveryResult) {
  dir_.write("control", "ZipCandidates = 300\n");
  erp::ErpPeer peer(peer_options({"AVP_STANDIN_CONTROL=" + dir_.at("control")}));
  ASSERT_TRUE(peer.start());
  ASSERT_TRUE(peer.send("8~2~1~1~1~"));
  ASSERT_TRUE(peer.send(kAddr));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(peer.receive().value_or(""), kAck);
  EXPECT_EQ(peer.receive().value_or(""), "6~2~1~1~300~29~");
  for (int i = 1; i <= 300; ++i) {
    if (i % 100 == 0) std::this_thread::sleep_for(50ms);
    ASSERT_EQ(peer.receive().value_or("").rfind("7~2~1~1~" + std::to_string(i) + "~", 0), 0u) << i;
  }
  EXPECT_EQ(peer.terminate(), 0);
}

// A process killed with replies unread (SIGKILL, the OOM killer) and started
// again on the same queue files, as the ERP does: no stale reply is read as
// a fresh one, and its stale input queue is replaced. A queue of another live
// session of the same user under the input key (ftok keys collide) stays.
TEST_F(E2e, RestartAfterAKill) {
  {
    erp::ErpPeer peer(peer_options());
    ASSERT_TRUE(peer.start());
    ASSERT_TRUE(peer.send("8~2~1~1~1~"));
    ASSERT_TRUE(peer.send(kAddr));
    struct msqid_ds ds {};
    for (int i = 0; i < 1000 && msgctl(peer.output_queue_id(), IPC_STAT, &ds) == 0 && ds.msg_qnum < 3; ++i) {
      std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(ds.msg_qnum, 3u) << "acknowledgement, status and result unread";
    kill(peer.pid(), SIGKILL);
    ASSERT_EQ(peer.wait_exit(10000), 128 + SIGKILL);
    const Outcome again = run({"IN", "OUT", "1", "1"}, {}, {"8~2~1~1~1~", kAddr, "4~0~1~1~0~"});
    EXPECT_EQ(again.replies, (Texts{kAck, kAck, kAddrReplies[0], kAddrReplies[1]}));
    EXPECT_EQ(again.status, 0);
  }
  // Another session's queue, received from by a live process (this one).
  const int other = msgget(ftok(dir_.touch("inq").c_str(), 1), IPC_CREAT | IPC_EXCL | 0600);
  ASSERT_NE(other, -1);
  ASSERT_EQ(MSltMarkInUse(other), 0);
  const Outcome collided = run({"IN", "OUT", "1", "1"});
  EXPECT_EQ(collided.status, 1);
  EXPECT_EQ(collided.replies, Texts{error("1~1~0~13.000000")});
  EXPECT_NE(collided.err.find("MSltOpen() failed, errno: " + std::to_string(EBUSY)), std::string::npos) << collided.err;
  EXPECT_EQ(collided.queues_left, 2) << "the other session's queue stays";
}

// A full disk under the logs: each log ends mid-entry while requests are
// still served, and when space returns the next entry starts on a line of
// its own. The disk is a small tmpfs in a mount namespace of this test's.
TEST_F(E2e, FullDiskKeepsEntriesApart) {
  if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", dir_.at("log").c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "a small disk of its own needs root (unshare, mount)";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{dir_.at("log")};
  erp::ErpPeer peer(peer_options({"APILOG=2", "AVPDEBUG="}));
  ASSERT_TRUE(peer.start());
  {  // the disk fills up
    std::FILE* filler = std::fopen(dir_.at("log/filler").c_str(), "w");
    ASSERT_NE(filler, nullptr);
    const std::string block(512, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(peer.request(2, 1, "~NY~12810~").results, Texts{kAddrReplies[1]}) << "served on a full disk";
  }
  std::filesystem::remove(dir_.at("log/filler"));
  EXPECT_EQ(peer.request(2, 1, "~NY~12810~").results, Texts{kAddrReplies[1]});
  EXPECT_EQ(peer.terminate(), 0);
  const std::regex glued(".+" R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])");
  for (const char* name : {"log.api", "api_msg.log", "avp.log"}) {
    const std::string text = log(name);
    EXPECT_FALSE(std::regex_search(text, glued)) << name;
    EXPECT_EQ(text.back(), '\n') << name << ": the entries after the disk had room again are whole";
  }
  EXPECT_EQ(log_messages(log("log.api")).back(), "API process exited by user ");
}

// The logs at each APILOG level, and one framed entry whole.
TEST_F(E2e, Logs) {
  const std::string stamp = R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])";
  const Texts entries = {"API process started for user ", "API process received terminate message ",
                         "API process exited by user "};
  const struct {
    const char* level;
    bool entries;
    int messages;  // -1: no message log; 0: the set-up only; 1: and the traffic
  } cases[] = {{"APILOG=0", false, -1}, {"APILOG=-1", true, -1}, {"APILOG=1", true, 0}, {"APILOG=2", true, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    std::filesystem::remove_all(dir_.at("log"));
    dir_.mkdir("log");
    // A message cannot forge a line of the message log of its own; one of
    // control characters only is cut after the last whole escape with room.
    const Outcome r = run({"IN", "OUT", "1", "1"}, {c.level},
                          {"\n R forged", std::string(1000, '\x01'), pad("12~", 1030), "4~0~1~1~0~"});
    std::string escapes;
    for (int i = 0; i < 475; ++i) escapes += "\\x01";
    EXPECT_EQ(log_messages(log("log.api")), c.entries ? entries : Texts{});
    EXPECT_EQ(std::filesystem::exists(dir_.at("log/api_msg.log")), c.messages >= 0);
    if (c.messages < 0) continue;
    const std::string want = " I \npid: " + std::to_string(r.pid) + "\nppid: " + std::to_string(getpid()) +
                             "\nin: " + dir_.at("inq") + "\nout: " + dir_.at("outq") + "\n" +
                             (c.messages ? " S 10~0~1~1~0~~\n R \\x0a R forged\n S 5~0~0~0~0~0.000000~\n R " +
                                               escapes + "\n S 5~0~0~0~0~0.000000~\n R " + pad("12~", 1023) +
                                               " [cut: 1023 of 1030 characters kept]\n"
                                           " S 5~0~0~0~0~0.000000~\n R 4~0~1~1~0~\n"
                                         : "");
    EXPECT_EQ(std::regex_replace(log("api_msg.log"), std::regex(stamp), ""), want);
  }
  const std::string entry = "(" + stamp + ")tax01: \n\\1tax01: \\*{8} START of Log message \\*{8}\n\\1tax01: Pid " +
                            "\\d+ Uid " + std::to_string(getuid()) + "  \n\\1tax01: Log mesg: API process started " +
                            "for user \n\\1tax01:File:lib/tax/api \\d+\n\\1tax01: \\*{8}  END of Log message  \\*{8}\n";
  EXPECT_TRUE(std::regex_search(log("log.api"), std::regex("^" + entry))) << log("log.api");
  // Without QSE the logs go to HOME itself; without either there are none,
  // never files at "/".
  ASSERT_EQ(run({"IN", "OUT", "1", "1"}, {"QSE", "HOME=" + dir_.path(), "APILOG=1"}).status, 0);
  EXPECT_EQ(log_messages(slurp(dir_.at("log.api"))), entries);
  EXPECT_EQ(run({"IN", "OUT", "1", "1"}, {"QSE", "HOME", "APILOG=2"}).replies, Texts{kAck});
  for (const char* name : {"/log.api", "/api_msg.log", "/avp.log"}) EXPECT_FALSE(std::filesystem::exists(name)) << name;
}

// An engine that is slow, exits, aborts or crashes in the middle of a
// request: the queues go at once (a signal) or with the process, never left
// behind for the ERP to wait on.
TEST_F(E2e, EngineFaultsLeaveNoQueues) {
  const struct {
    const char* engine;  // BAD_ENGINE
    int signal;          // sent while the engine works, or 0
    int exit;            // the process's exit status (128 + signal when killed by one)
  } cases[] = {{"slow", SIGTERM, 0},       {"slow", SIGINT, 0},       {"exit", 0, 7},
               {"abort", 0, 128 + SIGABRT}, {"SEGV", 0, 128 + SIGSEGV}, {"BUS", 0, 128 + SIGBUS},
               {"FPE", 0, 128 + SIGFPE},    {"ILL", 0, 128 + SIGILL}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.engine);
    erp::ErpPeer peer(peer_options({"QSE_SHLIB=" BAD_ENGINE_DIR, std::string("BAD_ENGINE=") + c.engine, "APILOG=1"}));
    ASSERT_TRUE(peer.start());
    ASSERT_TRUE(peer.send("8~1~1~1~1~"));
    ASSERT_TRUE(peer.send("9~1~1~1~1~"));
    if (c.signal != 0) {
      std::this_thread::sleep_for(200ms);
      kill(peer.pid(), c.signal);
      for (int i = 0; i < 100 && peer.input_queue_id() != -1; ++i) std::this_thread::sleep_for(2ms);
      EXPECT_EQ(peer.input_queue_id(), -1) << "gone while the engine still works";
      EXPECT_TRUE(peer.running());
    }
    EXPECT_EQ(peer.wait_exit(10000), c.exit);
    EXPECT_EQ(peer.input_queue_id(), -1);
    EXPECT_EQ(peer.output_queue_id(), -1);
  }
  const Texts logged = log_messages(log("log.api"));
  EXPECT_EQ(std::count(logged.begin(), logged.end(), "Signal caught. Closing queues and exiting."), 2);
}

// What another account on the same server can do: nothing to the queues
// unless the mode lets its group in, never remove another user's queue under
// a colliding key, never have the process write through a planted log file.
TEST_F(E2e, OtherAccountsStayOut) {
  // A queue of another user's that stands under the input queue's key.
  const int theirs = msgget(ftok(dir_.touch("inq").c_str(), 1), IPC_CREAT | IPC_EXCL | 0600);
  ASSERT_NE(theirs, -1);
  struct msqid_ds ds {};
  ASSERT_EQ(msgctl(theirs, IPC_STAT, &ds), 0);
  ds.msg_perm.uid = 65534;
  ASSERT_EQ(msgctl(theirs, IPC_SET, &ds), 0);
  const Outcome collided = run({"IN", "OUT", "1", "1"});
  EXPECT_EQ(collided.status, 1);
  EXPECT_EQ(collided.replies, Texts{error("1~1~0~13.000000")});
  EXPECT_EQ(collided.queues_left, 2) << "their queue stays (and the ERP's, as after any start-up failure)";

  // Planted logs, each refused in one line on standard error, nothing written
  // through it, the process serving on: a link to a victim's file, (as root)
  // a file of another user, a second name of the victim's file (a hard link),
  // a FIFO (whoever reads it would get the entries).
  const std::string victim = dir_.write("victim", "mine\n");
  const bool root = geteuid() == 0;
  const mode_t umask_before = umask(0);
  for (const auto& [name, planted, why] : std::initializer_list<std::array<std::string, 3>>{
           {"log.api", "link", "it is a symbolic link"}, {"api_msg.log", "theirs", "it belongs to another user"},
           {"log.api", "hard link", "it has other links"}, {"api_msg.log", "FIFO", "it is not a regular file"}}) {
    SCOPED_TRACE(planted);
    const std::string at = dir_.at("log/" + name);
    std::filesystem::remove(at);
    if (planted == "theirs" && !root) continue;
    const bool made = planted == "link"        ? symlink(victim.c_str(), at.c_str()) == 0
                      : planted == "hard link" ? link(victim.c_str(), at.c_str()) == 0
                      : planted == "theirs"    ? chown(dir_.write("log/" + name, "").c_str(), 65534, 65534) == 0
                                               : mkfifo(at.c_str(), 0600) == 0;
    ASSERT_TRUE(made);
    const int fifo = planted == "FIFO" ? open(at.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    const std::string before = fifo == -1 ? slurp(at) : "";
    const Outcome r = run({"IN", "OUT", "1", "1"}, {"APILOG=2"});
    char through[64];
    const ssize_t n = fifo == -1 ? 0 : read(fifo, through, sizeof through);
    if (fifo != -1) close(fifo);
    EXPECT_EQ(fifo == -1 ? slurp(at) : std::string(through, n > 0 ? n : 0), before);
    EXPECT_EQ(r.replies, Texts{kAck});
    EXPECT_EQ(r.err, "taxapi: log file " + at + " refused: " + why + "\n");
    std::filesystem::remove(at);
  }
  umask(umask_before);
  struct stat st {};
  ASSERT_EQ(stat(dir_.at("log/avp.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "whatever the umask";
  std::filesystem::create_symlink(victim, dir_.at("log/avp.log.tmp"));
  std::filesystem::rename(dir_.at("log/avp.log.tmp"), dir_.at("log/avp.log"));
  // The engine's log is part of its open only while it is on.
  EXPECT_EQ(run({"IN", "OUT", "1", "1"}).replies, Texts{kAck});
  const Outcome logged = run({"IN", "OUT", "1", "1"}, {"AVPDEBUG="});
  EXPECT_EQ(logged.replies, Texts{error("1~1~0~4.000000")});
  EXPECT_NE(logged.err.find("Failed to open logfile '" + dir_.at("log/avp.log") + "': Too many levels of symbolic links\n"),
            std::string::npos) << logged.err;
  EXPECT_EQ(slurp(victim), "mine\n");
  std::filesystem::remove(dir_.at("log/avp.log"));

  // Another uid sends, receives and removes through python's libc, as
  // setpriv lets root become it.
  if (!root || std::system("command -v setpriv >/dev/null && test -x /usr/bin/python3") != 0) {
    GTEST_SKIP() << "the other account needs root, setpriv and python3";
  }
  const std::string probe = dir_.write("probe.py",
      "import ctypes, sys\n"
      "libc = ctypes.CDLL(None, use_errno=True)\n"
      "q = int(sys.argv[1])\n"
      "def err(r): return 0 if r >= 0 else ctypes.get_errno()\n"
      "m = ctypes.create_string_buffer(b'\\x01' + b'\\0' * 7 + b'4~0~1~1~0~\\0')\n"
      "b = ctypes.create_string_buffer(4200)\n"
      "r = err(libc.msgrcv(q, b, 4096, ctypes.c_long(0), 0o4000 | 0o10000))\n"
      "d = err(libc.msgctl(q, 0, None))\n"
      "s = err(libc.msgsnd(q, m, 11, 0o4000))\n"
      "print(r, d, s)\n");
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  for (const char* mode : {"", "0660"}) {
    SCOPED_TRACE(mode);
    erp::ErpPeer peer(peer_options({std::string("TAXAPI_QUEUE_MODE=") + mode}));
    ASSERT_TRUE(peer.start());
    int status = 0;
    const std::string seen = test_util::shell_output(
        "setpriv --reuid=65534 --regid=" + std::to_string(getegid()) + " --clear-groups /usr/bin/python3 " + probe + " " +
        std::to_string(peer.input_queue_id()), &status);
    // EACCES (13) for every call, or with the group let in: nothing to read
    // (ENOMSG, 42), no removal (EPERM, 1), and a terminate message sent.
    EXPECT_EQ(seen, *mode ? "42 1 0\n" : "13 1 13\n");
    EXPECT_EQ(peer.wait_exit(*mode ? 10000 : 200), *mode ? 0 : -1);
  }
}

}  // namespace

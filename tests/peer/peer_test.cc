// taxapi-client against the real taxapi and the stand-in engines: what it
// prints and its exit statuses; the /proc parsing behind its status.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "avp_env.h"
#include "al_mslot.h"
#include "erp_peer.h"
#include "proc_scan.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

// A test directory with both engines' libraries, data and variables, and the
// client's command line up to its command.
class Client : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    dir.mkdir("log");
    options = std::string("'") + TAXAPI_CLIENT_BIN + "' --dir '" + dir.at("q") + "' --timeout 5000";
    for (const std::string& e : test_util::avp_engine_env(dir.path())) options += " --env '" + e + "'";
    for (const char* lib : {"/libvst.so", "/libloc.so"}) {
      fs::create_symlink(SHLIB_DIR + std::string(lib), dir.at("shlib") + lib);
    }
    const std::string data = VERTEX_DATA_DIR;
    options += " --env QSE=" + dir.path() + " --env VERTEXSERVER=" + data + " --env VERTEXUSER=demo" +
               " --env VERTEXPWD=demo --env VERTEXGEO=" + data + "/location.dat --env VERTEXRATE=" + data +
               "/rate.dat --env VERTEXTDM=" + data + "/tdm.dat --env VERTEXREG=" + dir.at("work/register.dat");
  }

  std::string run(const std::string& args, int* status) {
    const std::string out = test_util::shell_output(options + " " + args + " 2>/dev/null", status);
    *status = WEXITSTATUS(*status);
    return out;
  }

  struct Row {
    std::string args;
    int status;
    std::vector<std::string> snippets;
  };
  void expect_rows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      int status = -1;
      const std::string out = run(row.args, &status);
      EXPECT_EQ(status, row.status) << row.args << "\n" << out;
      for (const std::string& s : row.snippets) {
        EXPECT_NE(out.find(s), std::string::npos) << row.args << "\n" << s << "\n" << out;
      }
    }
  }

  test_util::TempDir dir;
  std::string options;
};

TEST_F(Client, Table) {
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
      {"explain 15 1114 1221 1299 1301 1399.1001 1401 1402 1536 1537 1599 1600.0010 1600.0111 1600.2 9999 x", 1,
       "15: malformed action sequence\n"
       "1114: Taxware address lookup failed, ZipCmplCd 14: State and ZIP code combination not found\n"
       "1221: Taxware tax calculation failed, GenCmplCd 21: an amount, exemption or rate of the request is out of "
       "range\n"
       "1299: Taxware tax result does not fit one message\n"
       "1301: Taxware jurisdiction check failed, JurCmplCd 1: the point of title is not valid\n"
       "1399.1001: Taxware jurisdiction check failed, JurCmplCd 99 (failed: POO, ship-to)\n"
       "1401: Vertex address lookup failed: the engine failed\n"
       "1402: Vertex address lookup failed: criteria refused or nothing matched\n"
       "1536: Vertex tax determination failed, result 36 (handle reset failed)\n"
       "1537: Vertex tax determination failed, result 37 (unknown result)\n"
       "1599: Vertex tax result does not fit one message\n"
       "1600.0010: Vertex jurisdiction stop, result 10 (taxing jurisdiction: ship-from): a tax level reported "
       "status 22\n"
       "1600.0111: Vertex jurisdiction stop, result 111 (taxing jurisdiction: other): a tax level reported status 22\n"
       "1600.2: unknown code\n9999: unknown code\nx: unknown code\n"},
  };
  for (const auto& c : cases) {
    int status = -1;
    EXPECT_EQ(run(c.args, &status), c.out) << c.args;
    EXPECT_EQ(status, c.status) << c.args;
    EXPECT_FALSE(fs::exists(dir.at("q/inq"))) << "the queue files are removed";
  }
  int status = -1;
  const std::string help = test_util::shell_output(std::string(TAXAPI_CLIENT_BIN) + " --help", &status);
  EXPECT_TRUE(help.starts_with("Usage: taxapi-client"));
  EXPECT_EQ(status, 0);
}

// Each JSON line parsed back; prints the members named.
std::string json(const char* expr) {
  return std::string(" | python3 -c 'import json,sys\nfor l in sys.stdin: o = json.loads(l); print(") + expr + ")'";
}

// check, explain and --json: each row's snippets must all appear in its output.
TEST_F(Client, Check) {
  const std::string shlib = dir.at("shlib"), empty = dir.mkdir("empty");
  expect_rows({
      {"check avp", 0,
       {"ok      library AVPTAX.DLL: libavptax.so in " + shlib + " (QSE_SHLIB)\n",
        "ok      variable ZIPIN: " AVP_DATA_DIR "/zipmaster.txt\n", "ok      engine close AvpTaxClose/TAX010\n",
        "The Taxware engine can serve (taxapi -dt exited with status 0).\n"}},
      {"check avp --env QSE_SHLIB=" + empty + ":rel", 1,
       {"search path: " + empty + " (QSE_SHLIB)\nignored: QSE_SHLIB entry \"rel\": not an absolute directory\n",
        "FAILED  library AVPTAX.DLL: libavptax.so in no directory of the search path; taxapi: Load of shared library "
        "'libavptax.so' failed.",
        "; Load of shared library 'libavptax.a' failed. ",
        "cannot serve (taxapi -dt exited with status 1: init_apis() failed: API failed to open; first failure: "
        "library AVPTAX.DLL)"}},
      {"check avp --env QSE_SHLIB= --env QSE=" + dir.path() + "/", 0,
       {"search path: " + shlib + " (QSE)\nok      library AVPTAX.DLL: libavptax.so in " + shlib + " (QSE)\n"}},
      {"--env ZIPIN= check avp", 1,
       {"ok      variable AVPTEMP", "FAILED  variable ZIPIN: not set\nThe Taxware engine cannot"}},
      {"--env VERTEXGEO=/nowhere check vertex", 1,
       {"ok      engine open LocCreateConnHdl\nFAILED  engine open LocOpenDb(): returned eLocDbRetInvalidDataSource\n",
        "skipped engine close LocCloseDb: no connection\n",
        "cannot serve (taxapi -dv exited with status 0; first failure: engine open LocOpenDb())."}},
      {"--json check vertex" + json("o[\"can_serve\"], o[\"steps\"][1][\"detail\"]"), 0,
       {"True libloc.so in " + shlib + " (QSE_SHLIB)\n"}},
      {"--json raw '9~1~1~1~1~\"\\'" + json("o[\"request\"], o[\"replies\"][0][\"values\"].get(\"code\")"), 0,
       {"start taxapi None\n", "9~1~1~1~1~\"\\ 8.000000\n"}},
      {"--json explain 1399.0110 \"$(printf 'x\\351\"\\\\')\"", 1,
       {"{\"code\":\"1399.0110\",\"meaning\":\"Taxware jurisdiction check failed, JurCmplCd 99 (failed: POA, "
        "ship-from)\"}\n{\"code\":\"x\\u00e9\\\"\\\\\",\"meaning\":\"unknown code\"}\n"}},
      {"replay " PEER_REQUESTS_DIR "/avp.txt", 1,
       {"meaning: Taxware jurisdiction check failed, JurCmplCd 99 (failed: ship-to)\n"}},
      {"replay " PEER_REQUESTS_DIR "/vertex.txt", 1,
       {"(taxing jurisdiction: ship-to): a tax level reported status 22\n"}},
  });
}

// replay with --record and --expect, and its faulty inputs.
TEST_F(Client, Replay) {
  const std::string mixed = dir.write("mixed.txt",
                                      "# two engines\navp addr state=NY zip=12810\n\n"
                                      "  vertex addr \"city=No where\" state=BR\n9~1~1~2~1~\n");
  const std::string record = dir.at("record.txt"), changed = dir.at("changed.txt");
  const std::string bad = dir.write("bad.txt", "avp addr state=NY\nvertex addr bogus=1\navp tax \"x\ncheck\n");
  expect_rows({
      {"replay " + mixed + " --record " + record, 1,
       {"== start avp\n<- 10~0~1~1~0~~\n", "== line 2: avp addr state=NY zip=12810\n<- 10~0~1~1~0~~\n",
        "city: FAIRHAVEN                 \n", "== start vertex\n",
        "meaning: Vertex address lookup failed: criteria refused or nothing matched\n",
        "== line 5: 9~1~1~2~1~\n<- 5~0~1~2~0~8.000000~\nmessage: error\n"}},
  });
  // The record with a value changed, the error's code gone and a block added.
  ASSERT_TRUE(fs::exists(record));
  std::string text = test_util::slurp(record);
  text.replace(text.find("\"FAIRHAVEN                 \""), 28, "\"FAIR\\\\HAVEN\"");
  text.erase(text.find("2.code: \"1402.000000\"\n"), 22);
  test_util::write_file(changed, text + "== extra\n");
  expect_rows({
      {"replay --expect " + record + " " + mixed, 0, {"0 differences\n"}},
      {"replay --expect " + changed + " " + mixed, 1,
       {"line 2: 3.city: expected \"FAIR\\\\HAVEN\", got \"FAIRHAVEN                 \"\n",
        "line 4: 2.code: expected (none), got \"1402.000000\"\n",
        "extra: request: expected \"extra\", got (none)\n3 differences\n"}},
      {"--json replay " + mixed + json("o[\"request\"], o[\"ok\"], [r.get(\"meaning\") for r in o[\"replies\"]]"), 0,
       {"start avp True [None]\navp addr state=NY zip=12810 True [None, None, None]\nstart vertex True [None]\n"
        "vertex addr \"city=No where\" state=BR False [None, 'Vertex address lookup failed: criteria refused or "
        "nothing matched']\n"
        "9~1~1~2~1~ False ['data message outside an action sequence']\n"}},
      {"replay /dev/null", 0, {}},
      {"replay " + bad, 2, {}},
      {"replay /dev/null --expect " + dir.write("one.txt", "== start avp\n"), 1,
       {"start avp: request: expected \"start avp\", got (none)\n1 difference\n"}},
  });
  // Faulty files (every faulty line told, nothing sent), a missing one, no taxapi.
  int status = -1;
  const std::string err = test_util::shell_output(
      options + " replay " + bad + " 2>&1; " + options + " replay /nowhere 2>&1; " + options +
          " check avp --taxapi /nowhere 2>&1; " + options + " replay /dev/null --record /nowhere/x 2>&1; " + options +
          " replay /dev/null --expect " + bad + " 2>&1",
      &status);
  EXPECT_EQ(err, "taxapi-client: " + bad + ":2: unknown field 'bogus' for Vertex addr requests\ntaxapi-client: " + bad +
                     ":3: a quote is not closed\ntaxapi-client: " + bad +
                     ":4: expected avp, vertex, raw or a message text, got 'check'\ntaxapi-client: /nowhere: cannot be "
                     "read\ntaxapi-client: cannot start /nowhere\ntaxapi-client: cannot write /nowhere/x\n"
                     "taxapi-client: " +
                     bad + ":1: a value before the first \"== request\" line\n");
  EXPECT_EQ(WEXITSTATUS(status), 2);
  for (const auto& entry : fs::recursive_directory_iterator(dir.at("q"))) {
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }
}

// How taxapi ended when it died before replying, told at once (its queues
// vanish before it can be reaped), and a replay whose taxapi never started.
TEST_F(Client, TellsHowTaxapiEnded) {
#ifndef BAD_ENGINE_DIR
  GTEST_SKIP() << "no misbehaving engine in this build";
#else
  const std::string bad = options + " --env QSE_SHLIB=" BAD_ENGINE_DIR " --env BAD_ENGINE=";
  const std::string one = dir.write("one.txt", "avp addr state=NY\n");
  const struct {
    std::string command;
    int status;
    const char* snippet;
  } cases[] = {
      {bad + "open-abort avp addr", 2, "taxapi-client: taxapi was killed by signal 6 (SIGABRT) before replying\n"},
      {bad + "exit avp tax", 1, "taxapi-client: taxapi exited with status 7 before replying\n"},
      {bad + "open-abort replay " + one, 1, "problem: no reply (taxapi was killed by signal 6 (SIGABRT))\n"},
  };
  for (const auto& c : cases) {
    int status = -1;
    const std::string out = test_util::shell_output(c.command + " 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.command << "\n" << out;
    EXPECT_NE(out.find(c.snippet), std::string::npos) << c.command << "\n" << out;
  }
#endif
}

// No descriptor of the client's own reaches the taxapi it starts: a fake
// taxapi lists its descriptors (from a subshell, which opens none in it)
// during a replay --record. Those the client inherited are the caller's.
TEST_F(Client, StartsTaxapiWithoutItsDescriptors) {
  const std::string listing = dir.at("fds"), inherited = dir.at("inherited");
  const std::string fake = dir.write("fake", "#!/bin/sh\n(find /proc/$$/fd -mindepth 1 -printf '%f %l\\n' > " +
                                                 listing + ")\n");
  fs::permissions(fake, fs::perms::owner_all);
  int status = -1;
  test_util::shell_output("(find /proc/$$/fd -mindepth 1 -printf '%f\\n' > " + inherited + "); " + options +
                              " --taxapi " + fake + " replay --record " + dir.at("rec") + " " +
                              dir.write("one.txt", "avp addr state=NY\n") + " >/dev/null 2>&1",
                          &status);
  const std::vector<std::string> before = test_util::lines_of(test_util::slurp(inherited));
  const std::vector<std::string> seen = test_util::lines_of(test_util::slurp(listing));
  ASSERT_GT(seen.size(), 3u) << "the fake taxapi ran";
  for (const std::string& line : seen) {
    const std::string fd = line.substr(0, line.find(' '));
    const bool allowed = line == fd + " " + fake || std::find(before.begin(), before.end(), fd) != before.end();
    if (!line.empty() && !allowed) ADD_FAILURE() << "descriptor leaked into taxapi: " << line;
  }
}

// status: a live taxapi with its queues and log directory; once it is
// killed, its input queue is stale but the ERP's output queue (whose
// receiver lives) is not, nor another user's; --remove removes that one
// alone. In an IPC namespace of its own: the suite's other tests make and
// remove queues meanwhile, which no --remove here may touch.
TEST_F(Client, StatusFindsQueuesOfKilledProcess) {
  if (unshare(CLONE_NEWIPC) != 0) GTEST_SKIP() << "no IPC namespace of its own: " << std::strerror(errno);
  erp::PeerOptions o;
  o.taxapi = TAXAPI_BIN;
  o.dir = dir.at("peer");
  o.env = test_util::avp_engine_env(dir.path());
  o.env.insert(o.env.end(), {"QSE=" + dir.path(), "APILOG=1"});
  erp::ErpPeer peer(o);
  ASSERT_TRUE(peer.start());
  const int in = peer.input_queue_id(), out = peer.output_queue_id(), theirs = msgget(IPC_PRIVATE, 0600);
  // Another user's queue whose last receiver has ended: stale, but not ours.
  if (const pid_t marker = fork(); marker == 0) _exit(MSltMarkInUse(theirs));
  wait(nullptr);
  msqid_ds ds {};
  ASSERT_EQ(msgctl(theirs, IPC_STAT, &ds), 0);
  ds.msg_perm.uid = 65534;
  ASSERT_EQ(msgctl(theirs, IPC_SET, &ds), 0);
  int code = -1;
  const auto rows = [&code](const std::string& args) {  // status's lines, split into words
    std::vector<std::vector<std::string>> found;
    const std::string out = test_util::shell_output(TAXAPI_CLIENT_BIN " status" + args, &code);
    for (const std::string& l : test_util::lines_of(out)) {
      std::istringstream words(l);
      found.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    }
    return found;
  };
  const std::string pid = std::to_string(peer.pid());
  std::vector<std::vector<std::string>> live = rows("");
  std::erase_if(live, [&](const std::vector<std::string>& w) { return w.empty() || w[0] != pid; });
  ASSERT_EQ(live.size(), 1u);
  ASSERT_EQ(live[0].size(), 11u);
  live[0][1] = live[0][3] = "";  // user and idle time
  EXPECT_EQ(live[0], (std::vector<std::string> {pid, "", "avp", "", std::to_string(in), "0", std::to_string(out), "0",
                                                dir.at("log"), peer.inq_path(), peer.outq_path()}));
  const std::string members = "o[\"pid\"], o[\"input\"][\"id\"], o[\"output\"][\"waiting\"], o[\"log_dir\"]";
  EXPECT_EQ(test_util::shell_output(TAXAPI_CLIENT_BIN " --json status" + json(members.c_str()), &code),
            pid + " " + std::to_string(in) + " 0 " + dir.at("log") + "\n");

  kill(peer.pid(), SIGKILL);
  ASSERT_EQ(peer.wait_exit(5000), 128 + SIGKILL);
  std::vector<std::vector<std::string>> stale = rows("");  // id, key, messages, last receiver
  std::erase_if(stale, [](const std::vector<std::string>& w) { return w.size() != 4 || !w[1].starts_with("0x"); });
  ASSERT_EQ(stale.size(), 1u);
  EXPECT_EQ(stale[0][0], std::to_string(in));
  EXPECT_EQ(rows(" --remove").back(),
            (std::vector<std::string> {"removed", "queue", std::to_string(in), "(key", stale[0][1] + ")"}));
  EXPECT_EQ(WEXITSTATUS(code), 0);
  EXPECT_EQ(peer.input_queue_id(), -1);
  EXPECT_EQ(peer.output_queue_id(), out);
  EXPECT_EQ(msgctl(theirs, IPC_RMID, nullptr), 0) << "another user's queue stays";
}

// The /proc texts status reads, including what a careless split gets wrong.
TEST(ProcScan, ParsesProcTexts) {
  const std::vector<erp::SysvQueue> queues = erp::parse_sysvipc_msg(
      "       key      msqid perms      cbytes       qnum lspid lrpid   uid   gid  cuid  cgid      stime      rtime"
      "      ctime\n"
      "  16786161    2195464   600           0          3 14858 14848  1000  1000     0     0 1796613012 1796613012"
      " 1796613012\n"
      "  -5 7 600 0 0 1 2\n"  // cut short: skipped
      " -16 9 600 0 1 4 5 6 7 8 9 0 0 0\n");
  ASSERT_EQ(queues.size(), 2u);
  EXPECT_EQ(std::vector<long>({queues[0].key, queues[0].id, queues[0].messages, queues[0].last_sender,
                               queues[0].last_receiver, queues[0].owner, queues[0].creator}),
            std::vector<long>({16786161, 2195464, 3, 14858, 14848, 1000, 0}));
  EXPECT_EQ(queues[1].key, -16);
  const struct {
    const char* stat;
    long long start;
  } stats[] = {
      {"42 (taxapi) S 1 42 42 0 -1 4194560 108 0 0 0 0 0 0 0 20 0 1 0 98765 2248704 376", 98765},
      {"42 (a) b (c) S 1 42 42 0 -1 4194560 108 0 0 0 0 0 0 0 20 0 1 0 777 2248704 376", 777},
      {"42 (taxapi) S 1 42 42", -1},
  };
  for (const auto& s : stats) EXPECT_EQ(erp::parse_stat_start(s.stat), s.start) << s.stat;
  EXPECT_EQ(erp::parse_status_euid("Name:\ttaxapi\nUid:\t1000\t1001\t1001\t1001\n"), 1001);
}

}  // namespace

// taxapi-client against the real taxapi and the stand-in engines: what it
// prints and its exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "avp_env.h"
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
      {"explain 15 1114 1221 1299 1301 1399.1001 1401 1402 1536 1599 1600.0010 1600.0111 1600.2 x", 1,
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
       "1599: Vertex tax result does not fit one message\n"
       "1600.0010: Vertex jurisdiction stop, result 10 (taxing jurisdiction: ship-from): a tax level reported "
       "status 22\n"
       "1600.0111: Vertex jurisdiction stop, result 111 (taxing jurisdiction: other): a tax level reported status 22\n"
       "1600.2: unknown code\nx: unknown code\n"},
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
    if (line.empty() || line == fd + " " + fake || std::find(before.begin(), before.end(), fd) != before.end()) continue;
    ADD_FAILURE() << "descriptor leaked into taxapi: " << line;
  }
}

}  // namespace

// The Taxware adapter end to end: the real taxapi process started by the ERP
// peer on real queues, with the stand-in engine libraries. Outcomes the data
// cannot produce are forced through the stand-in's control file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "avp_request.h"
#include "erp_peer.h"
#include "gtest/gtest.h"
#include "test_util.h"

namespace {

using Texts = std::vector<std::string>;

// One test's directory: queue files, logs (as HOME), the engine's work
// directories and its control file. Removed with everything in it.
class TestDir {
 public:
  TestDir() {
    for (const char* sub : {"work", "work/avpout", "work/avptemp", "work/zipout", "work/ziptemp", "work/stepout",
                            "work/steptemp"}) {
      if (dir_.ok()) mkdir(dir_.at(sub).c_str(), 0700);
    }
  }

  const std::string& path() const { return dir_.path(); }
  void control(const std::string& text) const { std::ofstream(dir_.at("control")) << text; }
  std::string read(const std::string& name) const { return test_util::slurp(dir_.at(name)); }

 private:
  test_util::TempDir dir_{"avp_e2e."};
};

erp::PeerOptions options(const TestDir& dir, const std::string& shlib = SHLIB_DIR) {
  erp::PeerOptions o;
  o.taxapi = TAXAPI_BIN;
  o.dir = dir.path();
  o.ptype = 1;
  o.stype = 1;
  const std::string data = AVP_DATA_DIR;
  const std::string work = dir.path() + "/work";
  o.env = {"HOME=" + dir.path(),         "QSE_SHLIB=" + shlib,           "AVPDEBUG=",
           "ZIPIN=" + data + "/zipmaster.txt", "AVPIN=" + data + "/rates.txt", "STEPIN=" + data + "/exempt.txt",
           "AVPAUDIT=" + work + "/audit.log",  "AVP_STANDIN_CONTROL=" + dir.path() + "/control"};
  for (const char* v : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) {
    std::string sub = v;
    for (char& ch : sub) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    o.env.push_back(std::string(v) + "=" + work + "/" + sub);
  }
  o.unset = {"QSE", "QSE_BIN", "APILOG"};
  o.timeout_ms = 10000;
  return o;
}

// Leaves `name` out of the child's environment.
void without(erp::PeerOptions* o, const std::string& name) {
  std::erase_if(o->env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
  o->unset.push_back(name);
}

std::string body(const char* kind, const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out, err;
  EXPECT_TRUE(erp::build_avp_body(kind, fields, &out, &err)) << err;
  return out;
}

std::string pad(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

const std::vector<std::pair<std::string, std::string>> kSanAlbero = {
    {"addr1_slot1", "CA"}, {"addr1_slot2", "SAN ALBERO"}, {"addr1_slot3", "90411"}, {"tax144", "100.00"}};

class AvpEndToEnd : public ::testing::Test {
 protected:
  TestDir dir;
};

TEST_F(AvpEndToEnd, StandardTaxRequest) {
  erp::ErpPeer peer(options(dir));
  std::string first;
  ASSERT_TRUE(peer.start(&first)) << first;
  EXPECT_EQ(first, "10~0~1~1~0~~");
  const erp::Exchange ex = peer.request(1, 1, body("tax", kSanAlbero));
  ASSERT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.replies, (Texts{"10~0~1~1~0~~", "6~1~1~1~1~0~",
                               "7~1~1~1~1~6.000000~0.250000~1.000000~0.250000~0.000000~"
                               "0.060000~0.002500~0.010000~0.002500~0.000000~D~" +
                                   pad("CA 90411 00 SAN ALBERO", 25) + "~"}));
  EXPECT_EQ(peer.terminate(), 0);
  EXPECT_NE(dir.read("avp.log").find("Log mesg: Return from AvpTaxCmn/TAX010: 0\n"), std::string::npos);
}

TEST_F(AvpEndToEnd, FortyEightDelimitersAreStandardFortyNineEnhanced) {
  erp::ErpPeer peer(options(dir));
  ASSERT_TRUE(peer.start());
  for (int extra : {0, 1, 2}) {
    SCOPED_TRACE(extra);
    // The standard body has 42 fields; with the header 47 delimiters.
    const std::string text = body("tax", kSanAlbero) + std::string(static_cast<std::size_t>(extra), '~');
    const erp::Exchange ex = peer.request(1, 1, text);
    ASSERT_EQ(ex.results.size(), 1u) << ex.problem;
    std::size_t fields = 0;
    for (char c : ex.results[0]) fields += c == '~';
    EXPECT_EQ(fields, 47 + extra <= 48 ? 17u : 23u);
  }
}

TEST_F(AvpEndToEnd, AddressRequests) {
  erp::ErpPeer peer(options(dir));
  ASSERT_TRUE(peer.start());
  erp::Exchange ex = peer.request(2, 1, body("addr", {{"state", "NY"}, {"zip", "12810"}}));
  ASSERT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.replies, (Texts{"10~0~1~1~0~~", "6~2~1~1~1~0~",
                               "7~2~1~1~1~" + pad("FAIRHAVEN", 26) + "~NY~12810~00~001~" + pad("KESTREL", 26) +
                                   "~I~"}));

  ex = peer.request(2, 1, body("addr", {{"state", "CA"}, {"zip", "90412"}}));
  ASSERT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.replies[1], "6~2~1~1~2~29~");
  ASSERT_EQ(ex.results.size(), 2u);
  EXPECT_EQ(ex.results[1].rfind("7~2~1~1~2~" + pad("SAN ALBERO", 26) + "~CA~90412~", 0), 0u) << ex.results[1];
}

struct Forced {
  const char* name;
  int action;
  const char* control;
  const char* reply;  // the error reply, or the status message of a result
};

// One outcome per reply path; which codes take which path: avp_codes_test.
TEST_F(AvpEndToEnd, EveryOutcomeGetsItsReply) {
  const Forced cases[] = {
      {"general code with a result", 1, "GenCmplCd = 4\n", "6~1~1~1~1~4~"},
      {"general failure", 1, "GenCmplCd = 5\n", "5~0~1~1~0~1205.000000~"},
      {"jurisdiction failure", 1, "JurCmplCd = 7\n", "5~0~1~1~0~1307.000000~"},
      {"failed places", 1, "JurCmplCd = 99\nPOOJurRC = 3\nShpToJurRC = 4\n", "5~0~1~1~0~1399.100100~"},
      {"code 99 without failed places", 1, "JurCmplCd = 99\nPOOJurRC = 1\n", "5~0~1~1~0~1399.000000~"},
      {"address failure", 2, "ZipCmplCd = 13\n", "5~0~1~1~0~1113.000000~"},
  };
  erp::ErpPeer peer(options(dir));
  ASSERT_TRUE(peer.start());
  for (const Forced& c : cases) {
    SCOPED_TRACE(c.name);
    dir.control(c.control);
    const erp::Exchange ex = peer.request(
        c.action, 1, c.action == 1 ? body("tax", kSanAlbero) : body("addr", {{"state", "NY"}, {"zip", "12810"}}));
    ASSERT_GE(ex.replies.size(), 2u) << ex.problem;
    EXPECT_EQ(ex.replies[1], c.reply);
    EXPECT_EQ(ex.error, c.reply[0] == '5');
  }
  dir.control("");
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(AvpEndToEnd, ThreeHundredCandidatesReachASlowReader) {
  dir.control("ZipCandidates = 300\n");
  erp::ErpPeer peer(options(dir));
  ASSERT_TRUE(peer.start());
  ASSERT_TRUE(peer.send("8~2~1~1~1~"));
  ASSERT_EQ(peer.receive(), std::optional<std::string>("10~0~1~1~0~~"));
  ASSERT_TRUE(peer.send("9~2~1~1~1~" + body("addr", {{"state", "NY"}, {"zip", "12810"}})));
  const std::optional<std::string> status = peer.receive();
  ASSERT_EQ(status, std::optional<std::string>("6~2~1~1~300~29~"));
  // Read slowly so the process meets a full queue and has to wait for room.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 1; i <= 300; ++i) {
    const std::optional<std::string> r = peer.receive();
    ASSERT_TRUE(r.has_value()) << "record " << i << " lost";
    EXPECT_EQ(r->rfind("7~2~1~1~" + std::to_string(i) + "~", 0), 0u) << *r;
    if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(peer.receive(200), std::nullopt);
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(AvpEndToEnd, EngineOpenFailuresAtStart) {
  struct Case {
    const char* name;
    const char* control;
    const char* unset;
    const char* variant;  // a library directory whose engine lacks this entry point
    const char* reply;
    const char* log_line;
  };
  const Case cases[] = {
      {"tax engine refuses", "AVPTAXOPEN = 0\n", nullptr, nullptr, "5~0~1~1~0~4.000000~", "TaxOpenStr failed: Unknown\n"},
      {"ZIP engine refuses", "ZIPOPEN = 2\n", nullptr, nullptr, "5~0~1~1~0~4.000000~", "ZipOpenStr failed: Unknown\n"},
      {"variable missing", "", "STEPTEMP", nullptr, "5~0~1~1~0~3.000000~", "STEPTEMP not set.\n"},
      {"tax entry point missing", "", nullptr, "AVPTAXCMN", "5~0~1~1~0~4.000000~", "Missing function 'AVPTAXCMN' in DLL\n"},
      {"ZIP entry point missing", "", nullptr, "ZIP020", "5~0~1~1~0~4.000000~", "Missing function 'ZIP020' in DLL\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir d;
    d.control(c.control);
    erp::PeerOptions o = options(d, c.variant ? std::string(AVP_VARIANTS_DIR) + "/no_" + c.variant : SHLIB_DIR);
    if (c.unset != nullptr) without(&o, c.unset);
    erp::ErpPeer peer(o);
    std::string first;
    EXPECT_FALSE(peer.start(&first));
    EXPECT_EQ(first, c.reply);
    EXPECT_EQ(peer.wait_exit(10000), 0);
    EXPECT_NE(d.read("avp.log").find(std::string("Log mesg: ") + c.log_line), std::string::npos);
    // Termination closed whatever was open.
    EXPECT_NE(d.read("avp.log").find("Log mesg: ZipClose/ZIP020 "), std::string::npos);
  }
}

TEST_F(AvpEndToEnd, InitMessageOpensTheEngineAgain) {
  erp::ErpPeer peer(options(dir));
  ASSERT_TRUE(peer.start());
  ASSERT_TRUE(peer.send("1~0~1~1~0~"));
  EXPECT_EQ(peer.receive(), std::optional<std::string>("10~0~1~1~0~~"));
  EXPECT_TRUE(peer.request(1, 1, body("tax", kSanAlbero)).ok);

  dir.control("AVPTAXOPEN = 0\n");
  ASSERT_TRUE(peer.send("1~0~1~1~0~"));
  EXPECT_EQ(peer.receive(), std::optional<std::string>("5~0~1~1~0~1.000000~"));
  EXPECT_EQ(peer.wait_exit(10000), 0);
}

TEST_F(AvpEndToEnd, DiagnosticMode) {
  struct Case {
    const char* name;
    std::string shlib;
    const char* unset;
    int status;
  };
  const Case cases[] = {
      {"engine opens", SHLIB_DIR, nullptr, 0},
      {"upper case option", SHLIB_DIR, nullptr, 0},
      {"entry point missing", std::string(AVP_VARIANTS_DIR) + "/no_ZIP020", nullptr, 1},
      {"variable missing", SHLIB_DIR, "AVPAUDIT", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir d;
    erp::PeerOptions o = options(d, c.shlib);
    o.args = std::vector<std::string>{std::string(c.name) == "upper case option" ? "-DT" : "-dt"};
    if (c.unset != nullptr) without(&o, c.unset);
    erp::ErpPeer peer(o);
    ASSERT_TRUE(peer.spawn());
    EXPECT_EQ(peer.wait_exit(10000), c.status);
  }
}

#ifdef VERTEX_DATA_DIR
TEST_F(AvpEndToEnd, TaxwareActionsWhileOnlyVertexIsOpenFailInOrder) {
  erp::PeerOptions o = options(dir);
  o.stype = 2;
  const std::string data = VERTEX_DATA_DIR;
  for (const std::string& v :
       {"VERTEXSERVER=" + data, std::string("VERTEXUSER=demo"), std::string("VERTEXPWD=demo"),
        "VERTEXGEO=" + data + "/location.dat", "VERTEXRATE=" + data + "/rate.dat", "VERTEXTDM=" + data + "/tdm.dat",
        "VERTEXREG=" + dir.path() + "/register.dat"}) {
    o.env.push_back(v);
  }
  erp::ErpPeer peer(o);
  std::string first;
  ASSERT_TRUE(peer.start(&first)) << first;
  for (int action : {1, 2}) {
    const erp::Exchange ex =
        peer.request(action, 1, action == 1 ? body("tax", kSanAlbero) : body("addr", {{"state", "NY"}}));
    EXPECT_EQ(ex.replies, (Texts{"10~0~1~1~0~~", "5~0~1~1~0~1.000000~"}));
  }
  EXPECT_TRUE(peer.running());
  EXPECT_EQ(peer.terminate(), 0);
  // The Taxware engine was never reached.
  EXPECT_EQ(dir.read("avp.log"), "");
}
#endif

}  // namespace

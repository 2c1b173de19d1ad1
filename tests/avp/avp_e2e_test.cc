// The Taxware adapter end to end: the real taxapi started by the ERP peer on
// real queues, with the stand-in engine libraries. One row per reply path;
// outcomes the sample data cannot produce are forced through the stand-in's
// control file.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "avp_request.h"
#include "erp_peer.h"
#include "gtest/gtest.h"
#include "test_util.h"

namespace {

using Texts = std::vector<std::string>;
using Fields = std::vector<std::pair<std::string, std::string>>;

const char* const kVars[] = {"AVPAUDIT", "AVPIN",   "AVPOUT",  "AVPTEMP", "ZIPIN",
                             "ZIPOUT",   "ZIPTEMP", "STEPIN",  "STEPOUT", "STEPTEMP"};
const std::string kAck = "10~0~1~1~0~~";

std::string pad(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

// How a row's process is started.
struct Setup {
  std::string shlib = SHLIB_DIR;  // the libraries' directory; "none": an empty one
  const char* drop = "";          // a variable left out ("NAME") or empty ("NAME=")
  const char* control = "";       // the stand-in's control file
  int stype = 1;                  // the sub-provider the process serves
  char mode = ' ';                // 's' the replies read slowly, 'd' taxapi -dt
};

// One process's directory: queue files, logs (as HOME), the engine's files
// and its control file; removed with everything in it.
struct Scene {
  test_util::TempDir dir{"avp_e2e."};
  std::map<std::string, std::string> vars;  // the engine variables given to the process

  erp::PeerOptions options(const Setup& setup) {
    const std::string data = AVP_DATA_DIR, vertex = VERTEX_DATA_DIR;
    vars = {{"AVPIN", data + "/rates.txt"}, {"ZIPIN", data + "/zipmaster.txt"}, {"STEPIN", data + "/exempt.txt"},
            {"AVPAUDIT", dir.at("audit.log")}};
    for (const char* v : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) vars[v] = dir.mkdir(v);
    erp::PeerOptions o;
    o.taxapi = TAXAPI_BIN;
    o.dir = dir.path();
    o.stype = setup.stype;
    o.unset = {"QSE", "QSE_BIN", "APILOG", "LD_LIBRARY_PATH", "AVPDEBUG"};
    o.env = {"HOME=" + dir.path(), "QSE_SHLIB=" + (setup.shlib == "none" ? dir.mkdir("none") : setup.shlib),
             "AVP_STANDIN_CONTROL=" + dir.write("control", setup.control), "VERTEXSERVER=" + vertex,
             "VERTEXUSER=demo", "VERTEXPWD=demo", "VERTEXGEO=" + vertex + "/location.dat",
             "VERTEXRATE=" + vertex + "/rate.dat", "VERTEXTDM=" + vertex + "/tdm.dat",
             "VERTEXREG=" + dir.at("register.dat")};
    if (setup.mode == 'd') {
      o.args = Texts{"-dt"};  // no log, but every message on standard error
    } else {
      o.env.push_back("AVPDEBUG=");
    }
    for (auto& [name, value] : vars) {
      if (setup.drop == name) {
        o.unset.push_back(name);
        continue;
      }
      if (setup.drop == name + "=") value = "";
      o.env.push_back(name + "=" + value);
    }
    return o;
  }
  Texts log() const { return test_util::log_messages(test_util::slurp(dir.at("avp.log"))); }

  // Expands the tokens below, "@envN" (the check and the first N variables)
  // and "@close <zip> <tax>" (each "passed" or "failed").
  Texts expand(const Texts& lines) {
    static const std::map<std::string, Texts> tokens = {
        {"@tax", {"Loading AVPTAX.DLL.", "Loading AVPTAX.DLL succeeded."}},
        {"@loaded", {"@tax", "Loading AVPZIP.DLL.", "Loading AVPZIP.DLL succeeded."}},
        {"@open", {"@loaded", "@env10", "Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
                   "TaxOpenStr succeeded", "Initialize Zip Structure.", "ZipOpenStr succeeded"}},
        {"@tax-call", {"Initialize Jurisdiction Structure.", "Initialize Tax Structure.",
                       "Call AvpTaxCmn/TAX010 to determine tax."}},
        {"@addr-call",
         {"Initialize Zip Structure.", "Format Address.", "Call ZIP020Add/ZIP020 to determine Geo Code."}}};
    Texts out;
    for (const std::string& l : lines) {
      Texts more = {l};
      if (tokens.count(l) != 0) {
        more = expand(tokens.at(l));
      } else if (l.rfind("@env", 0) == 0) {
        more = {"Checking environment variables"};
        for (int i = 0; i < std::stoi(l.substr(4)); ++i) {
          more.push_back(std::string(kVars[i]) + " - <" + vars[kVars[i]] + ">");
        }
      } else if (l.rfind("@close ", 0) == 0) {
        const bool zip = l.substr(7, 6) == "passed", tax = l.substr(14) == "passed";
        more = {"Initialize Zip Structure.", zip ? "ZipClose/ZIP020 passed" : "ZipClose/ZIP020 failed: Unknown",
                "Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
                tax ? "AvpTaxClose/TAX010 passed." : "AvpTaxClose/TAX010 failed: Unknown"};
      }
      out.insert(out.end(), more.begin(), more.end());
    }
    return out;
  }
};

// Ship-to San Albero 90411; the ship-from place is found by its city (field 6) alone.
const Fields kSanAlbero = {{"addr1_slot1", "CA"},          {"addr1_slot2", "SAN ALBERO"}, {"addr1_slot3", "90411"},
                           {"addr2_slot2", "PORTO CALMA"}, {"addr2_slot1", "CA"},         {"tax144", "100.00"}};
Fields with(Fields f, const std::string& name, const std::string& value) {
  f.emplace_back(name, value);
  return f;
}
std::string place(int i, const char* city, const char* state, const char* zip, const char* geo, const char* county,
                  const char* name, char ind) {
  return "7~2~1~1~" + std::to_string(i) + "~" + pad(city, 26) + "~" + state + "~" + zip + "~" + geo + "~" + county +
         "~" + pad(name, 26) + "~" + ind + "~";
}

struct Row {
  const char* name;
  int action;  // 1 tax, 2 address; 0: no request (the process stops at start-up)
  const char* kind;
  Fields body;
  Texts replies;  // every reply in order, the start-up one first; -dt: exit status and standard output
  Texts log;      // every avp.log message (see Scene::expand), unchecked when empty; -dt: standard error
  Setup with = {};
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const std::string kError4 = "5~0~1~1~0~4.000000~";
const Texts kNotOpen = {"10~0~1~2~0~~", kAck, "5~0~1~1~0~1.000000~"};
const std::string kStdResult =
    "7~1~1~1~1~6.000000~0.250000~1.000000~0.250000~0.000000~0.060000~0.002500~0.010000~0.002500~0.000000~D~"
    "CA 90411 00 SAN ALBERO   ~";

// The replies of a lookup that finds 300 places: the sample's first, then
// the stand-in's generated ones.
Texts three_hundred_places() {
  Texts many = {kAck, kAck, "6~2~1~1~300~29~", place(1, "FAIRHAVEN", "NY", "12810", "00", "001", "KESTREL", 'I')};
  for (int i = 2; i <= 300; ++i) {
    char city[16], geo[3], county[4];
    std::snprintf(city, sizeof city, "CANDIDATE %03d", i);
    std::snprintf(geo, sizeof geo, "%02d", (i - 1) % 100);
    std::snprintf(county, sizeof county, "%03d", i);
    many.push_back(place(i, city, "NY", "12810", geo, county, "GENERATED COUNTY", 'I'));
  }
  return many;
}

const Row kRows[] = {
    {"standard", 1, "tax", kSanAlbero, {kAck, kAck, "6~1~1~1~1~0~", kStdResult},
     {"@open", "@tax-call", "Return from AvpTaxCmn/TAX010: 0", "Send Tax.", "@close passed passed"}},
    {"enhanced, level 7's rate given", 1, "tax-enh", with(kSanAlbero, "level7_flt", "0.05"),
     {kAck, kAck, "6~1~1~1~1~18~",
      "7~1~1~1~1~0.000000~6.000000~0.250000~1.000000~5.000000~0.000000~0.250000~0.000000~0.000000~0.060000~"
      "0.002500~0.010000~0.050000~0.000000~0.002500~0.000000~D~CA 90411 00 SAN ALBERO   ~"},
     {"@open", "@tax-call", "Return from AvpTaxCmn/TAX010: 18", "Send Tax Enhanced.", "@close passed passed"}},
    {"address, one place", 2, "addr", {{"state", "NY"}, {"zip", "12810"}},
     {kAck, kAck, "6~2~1~1~1~0~", place(1, "FAIRHAVEN", "NY", "12810", "00", "001", "KESTREL", 'I')},
     {"@open", "@addr-call", "Return from ZIP020Add/ZIP020: 0", "Send Address.", "@close passed passed"}},
    {"address, several places", 2, "addr", {{"state", "CA"}, {"zip", "90412"}},
     {kAck, kAck, "6~2~1~1~2~29~", place(1, "SAN ALBERO", "CA", "90412", "00", "037", "LORENA", 'I'),
      place(2, "SAN ALBERO", "CA", "90412", "01", "059", "MARISOL", 'I')},
     {}},
    {"address, 300 places to a slow reader", 2, "addr", {{"state", "NY"}, {"zip", "12810"}},
     three_hundred_places(), {}, {.control = "ZipCandidates = 300\n", .mode = 's'}},
    {"general failure", 1, "tax", with(kSanAlbero, "tax168", "2e11"), {kAck, kAck, "5~0~1~1~0~1221.000000~"},
     {"@open", "@tax-call", "Return from AvpTaxCmn/TAX010: 21", "@close passed passed"}},
    {"a result too wide for one message", 1, "tax-enh", kSanAlbero, {kAck, kAck, "5~0~1~1~0~1299.000000~"},
     {"@open", "@tax-call", "Return from AvpTaxCmn/TAX010: 0", "Tax result does not fit the message.",
      "@close passed passed"},
     {.control = "LevelTaxExp10 = 300\n"}},
    {"jurisdiction failure", 1, "tax-enh", with(kSanAlbero, "jur225", "X"),
     {kAck, kAck, "5~0~1~1~0~1301.000000~"}, {}},
    {"failed places", 1, "tax", {{"addr1_slot1", "ZZ"}, {"addr4_slot1", "ZZ"}, {"tax144", "1"}},
     {kAck, kAck, "5~0~1~1~0~1399.100100~"}, {}},
    {"address failure", 2, "addr", {{"state", "CA"}}, {kAck, kAck, "5~0~1~1~0~1113.000000~"},
     {"@open", "@addr-call", "Return from ZIP020Add/ZIP020: 13", "@close passed passed"}},
    {"tax, engine not open", 1, "tax", kSanAlbero, kNotOpen, {}, {.stype = 2}},
    {"address, engine not open", 2, "addr", {}, kNotOpen, {}, {.stype = 2}},
    {"no library", 0, "", {}, {kError4},
     {"Loading AVPTAX.DLL.",
      "Loading AVPTAX.DLL failed: Load of shared library 'libavptax.so' failed. libavptax.so: cannot open shared "
      "object file: No such file or directory",
      "@close passed failed"},
     {.shlib = "none"}},
    {"tax entry point missing", 0, "", {}, {kError4},
     {"@tax", "Missing function 'AVPTAXCLOSE' in DLL", "@close passed failed"},
     {.shlib = AVP_VARIANTS_DIR "/no_AVPTAXCLOSE"}},
    {"ZIP entry point missing", 0, "", {}, {kError4},
     {"@loaded", "Missing function 'ZIP020' in DLL", "@close failed failed"},
     {.shlib = AVP_VARIANTS_DIR "/no_ZIP020"}},
    {"variable empty", 0, "", {}, {"5~0~1~1~0~3.000000~"},
     {"@loaded", "@env1", "AVPIN not set.", "@close failed failed"}, {.drop = "AVPIN="}},
    {"-dt, the engine opens", 0, "", {}, {"0", ""}, {"@open", "@close passed passed"}, {.mode = 'd'}},
    {"-dt, an entry point missing", 0, "", {}, {"1", "init_apis() failed: API failed to open\n"},
     {"@loaded", "Missing function 'ZIP020' in DLL"}, {.shlib = AVP_VARIANTS_DIR "/no_ZIP020", .mode = 'd'}},
};

// The diagnostic mode: exit status, standard output, the bare messages on
// standard error; avp.log opened all the same but written to only by a server.
void run_diagnostic(const Row& row, Scene& scene, erp::ErpPeer& peer) {
  test_util::FdCapture out(1, scene.dir.at("stdout")), err(2, scene.dir.at("stderr"));
  const bool spawned = peer.spawn();
  const int status = peer.wait_exit(10000);
  const Texts got = {std::to_string(status), out.text()};
  const std::string err_text = err.text();
  ASSERT_TRUE(spawned);
  EXPECT_EQ(got, row.replies);
  std::string want;
  for (const std::string& m : scene.expand(row.log)) want += m + "\n";
  EXPECT_EQ(err_text, want);
  struct stat st;
  EXPECT_EQ(stat(scene.dir.at("avp.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

// Every reply of the start-up and of the row's request, in order.
Texts serve(const Row& row, erp::ErpPeer& peer) {
  Texts got;
  EXPECT_TRUE(peer.spawn());
  if (std::optional<std::string> first = peer.receive()) got.push_back(*first);
  if (row.action == 0) {
    EXPECT_EQ(peer.wait_exit(10000), 0);
    return got;
  }
  std::string body, err;
  EXPECT_TRUE(erp::build_avp_body(row.kind, row.body, &body, &err)) << err;
  const std::string head = std::to_string(row.action) + "~1~1~1~";
  EXPECT_TRUE(peer.send("8~" + head));
  if (std::optional<std::string> ack = peer.receive()) got.push_back(*ack);
  EXPECT_TRUE(peer.send("9~" + head + body));
  // Slowly, so the process meets a full queue and has to wait for room.
  if (row.with.mode == 's') std::this_thread::sleep_for(std::chrono::milliseconds(300));
  while (got.size() < row.replies.size()) {
    std::optional<std::string> reply = peer.receive(3000);
    if (!reply) break;
    got.push_back(*reply);
  }
  EXPECT_EQ(peer.terminate(), 0);
  return got;
}

class AvpEndToEnd : public ::testing::TestWithParam<Row> {};

TEST_P(AvpEndToEnd, Replies) {
  const Row& row = GetParam();
  Scene scene;
  erp::ErpPeer peer(scene.options(row.with));
  if (row.with.mode == 'd') {
    run_diagnostic(row, scene, peer);
    return;
  }
  EXPECT_EQ(serve(row, peer), row.replies);
  if (!row.log.empty()) {
    EXPECT_EQ(scene.log(), scene.expand(row.log));
  }
}

INSTANTIATE_TEST_SUITE_P(Taxware, AvpEndToEnd, ::testing::ValuesIn(kRows), test_util::RowName());

// The log's frame, and the stand-in's own records of a session.
TEST(AvpEndToEndOnce, LogFrameAndTheEnginesRecords) {
  Scene scene;
  pid_t pid = -1;
  {
    erp::ErpPeer peer(scene.options({}));
    ASSERT_TRUE(peer.start());
    pid = peer.pid();
    std::string body, err;
    ASSERT_TRUE(erp::build_avp_body("tax", kSanAlbero, &body, &err)) << err;
    EXPECT_EQ(peer.request(1, 1, body).results, Texts{kStdResult});
    EXPECT_EQ(peer.terminate(), 0);
  }
  const std::regex frame(R"(^(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])([^:\n]+):
\1\2: Avp Log Start \*{29}
\1\2: Pid )" + std::to_string(pid) + " Uid " + std::to_string(getuid()) + R"(
\1\2: Log mesg: Loading AVPTAX\.DLL\.
\1\2: File: lib/tax/avp:\d+
\1\2: Avp Log End   \*{29}
)");
  const std::string text = test_util::slurp(scene.dir.at("avp.log"));
  EXPECT_TRUE(std::regex_search(text, frame)) << text;
  EXPECT_EQ(test_util::slurp(scene.vars["AVPOUT"] + "/avptax.sum"), "calculations 1\nfailures 0\n");
  EXPECT_EQ(test_util::slurp(scene.vars["ZIPOUT"] + "/avpzip.sum"), "lookups 0\n");
  EXPECT_EQ(test_util::lines_of(test_util::slurp(scene.vars["AVPAUDIT"])).size(), 1u);
}

}  // namespace

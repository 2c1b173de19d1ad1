// The Taxware adapter end to end: the real taxapi started by the ERP peer on
// real queues, with the stand-in engine libraries. One row per reply path;
// outcomes the sample data cannot produce are forced through the stand-in's
// control file.
#include <sys/stat.h>
#include <unistd.h>

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

// One process's directory: queue files, logs (as HOME), the engine's files
// and its control file; removed with everything in it.
struct Scene {
  test_util::TempDir dir{"avp_e2e."};
  std::map<std::string, std::string> vars;  // the engine variables given to the process

  // The environment: `drop` leaves a variable out ("NAME") or empty ("NAME=").
  erp::PeerOptions options(const std::string& shlib, const std::string& drop, const std::string& control) {
    const std::string data = AVP_DATA_DIR;
    vars = {{"AVPIN", data + "/rates.txt"}, {"ZIPIN", data + "/zipmaster.txt"}, {"STEPIN", data + "/exempt.txt"},
            {"AVPAUDIT", dir.at("audit.log")}};
    for (const char* v : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) vars[v] = dir.mkdir(v);
    erp::PeerOptions o;
    o.taxapi = TAXAPI_BIN;
    o.dir = dir.path();
    o.unset = {"QSE", "QSE_BIN", "APILOG", "LD_LIBRARY_PATH", "AVPDEBUG"};
    o.env = {"HOME=" + dir.path(), "QSE_SHLIB=" + shlib, "AVPDEBUG=",
             "AVP_STANDIN_CONTROL=" + dir.write("control", control)};
    for (auto& [name, value] : vars) {
      if (drop == name) {
        o.unset.push_back(name);
        continue;
      }
      if (drop == name + "=") value = "";
      o.env.push_back(name + "=" + value);
    }
    return o;
  }
  Texts log() const { return test_util::log_messages(test_util::slurp(dir.at("avp.log"))); }

  // Expands "@tax" / "@loaded" (library loads), "@envN" (the check and the
  // first N variables), "@opened" and "@close <zip> <tax>".
  Texts expand(const Texts& lines) {
    Texts out;
    for (const std::string& l : lines) {
      if (l == "@tax" || l == "@loaded") {
        out.insert(out.end(), {"Loading AVPTAX.DLL.", "Loading AVPTAX.DLL succeeded."});
        if (l == "@loaded") out.insert(out.end(), {"Loading AVPZIP.DLL.", "Loading AVPZIP.DLL succeeded."});
      } else if (l.rfind("@env", 0) == 0) {
        out.push_back("Checking environment variables");
        for (int i = 0; i < std::stoi(l.substr(4)); ++i) out.push_back(std::string(kVars[i]) + " - <" + vars[kVars[i]] + ">");
      } else if (l == "@opened") {
        out.insert(out.end(), {"Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
                               "TaxOpenStr succeeded", "Initialize Zip Structure.", "ZipOpenStr succeeded"});
      } else if (l.rfind("@close ", 0) == 0) {
        const std::string zip = l.substr(7, 6), tax = l.substr(14);
        out.insert(out.end(), {"Initialize Zip Structure.", "ZipClose/ZIP020 " + (zip == "passed" ? zip : std::string("failed: Unknown")),
                               "Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
                               std::string("AvpTaxClose/TAX010 ") + (tax == "passed" ? "passed." : "failed: Unknown")});
      } else {
        out.push_back(l);
      }
    }
    return out;
  }
};

const Fields kSanAlbero = {
    {"addr1_slot1", "CA"}, {"addr1_slot2", "SAN ALBERO"}, {"addr1_slot3", "90411"}, {"tax144", "100.00"}};
Fields with(Fields f, const std::string& name, const std::string& value) {
  f.emplace_back(name, value);
  return f;
}
std::string place(int i, const char* city, const char* state, const char* zip, const char* geo, const char* county,
                  const char* name, char ind) {
  return "7~2~1~1~" + std::to_string(i) + "~" + pad(city, 26) + "~" + state + "~" + zip + "~" + geo + "~" + county +
         "~" + pad(name, 26) + "~" + ind + "~";
}
const Texts kTaxCall = {"Initialize Jurisdiction Structure.", "Initialize Tax Structure.",
                        "Call AvpTaxCmn/TAX010 to determine tax."};
const Texts kAddrCall = {"Initialize Zip Structure.", "Format Address.", "Call ZIP020Add/ZIP020 to determine Geo Code."};
Texts operator+(Texts a, const Texts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Row {
  const char* name;
  std::string shlib;    // library directory
  const char* drop;     // a variable left out or emptied
  const char* control;  // the stand-in's control file
  int stype;            // the sub-provider the process serves
  int action;           // 0: none, the process does not start
  const char* kind;
  Fields body;
  Texts replies;  // every reply in order, the start-up one first
  Texts log;      // every avp.log message (see Scene::expand)
};

const std::string kShlib = SHLIB_DIR;
const std::string kNoTaxClose = AVP_VARIANTS_DIR "/no_AVPTAXCLOSE";
const std::string kNoZip020 = AVP_VARIANTS_DIR "/no_ZIP020";

TEST(AvpEndToEnd, EveryReplyPath) {
  const std::string error4 = "5~0~1~1~0~4.000000~";
  const Row rows[] = {
      {"standard", kShlib, "", "", 1, 1, "tax", kSanAlbero, {kAck, kAck, "6~1~1~1~1~0~",
        "7~1~1~1~1~6.000000~0.250000~1.000000~0.250000~0.000000~0.060000~0.002500~0.010000~0.002500~0.000000~D~"
        "CA 90411 00 SAN ALBERO   ~"},
       Texts{"@loaded", "@env10", "@opened"} + kTaxCall +
           Texts{"Return from AvpTaxCmn/TAX010: 0", "Send Tax.", "@close passed passed"}},
      {"enhanced, level 7's rate given", kShlib, "", "", 1, 1, "tax-enh", with(kSanAlbero, "level7_flt", "0.05"),
       {kAck, kAck, "6~1~1~1~1~18~",
        "7~1~1~1~1~0.000000~6.000000~0.250000~1.000000~5.000000~0.000000~0.250000~0.000000~0.000000~0.060000~"
        "0.002500~0.010000~0.050000~0.000000~0.002500~0.000000~D~CA 90411 00 SAN ALBERO   ~"},
       Texts{"@loaded", "@env10", "@opened"} + kTaxCall +
           Texts{"Return from AvpTaxCmn/TAX010: 18", "Send Tax Enhanced.", "@close passed passed"}},
      {"address, one place", kShlib, "", "", 1, 2, "addr", {{"state", "NY"}, {"zip", "12810"}},
       {kAck, kAck, "6~2~1~1~1~0~", place(1, "FAIRHAVEN", "NY", "12810", "00", "001", "KESTREL", 'I')},
       Texts{"@loaded", "@env10", "@opened"} + kAddrCall +
           Texts{"Return from ZIP020Add/ZIP020: 0", "Send Address.", "@close passed passed"}},
      {"address, several places", kShlib, "", "", 1, 2, "addr", {{"state", "CA"}, {"zip", "90412"}},
       {kAck, kAck, "6~2~1~1~2~29~", place(1, "SAN ALBERO", "CA", "90412", "00", "037", "LORENA", 'I'),
        place(2, "SAN ALBERO", "CA", "90412", "01", "059", "MARISOL", 'I')},
       {}},
      {"general failure", kShlib, "", "", 1, 1, "tax", with(kSanAlbero, "tax168", "2e11"),
       {kAck, kAck, "5~0~1~1~0~1221.000000~"},
       Texts{"@loaded", "@env10", "@opened"} + kTaxCall +
           Texts{"Return from AvpTaxCmn/TAX010: 21", "@close passed passed"}},
      {"jurisdiction failure", kShlib, "", "", 1, 1, "tax-enh", with(kSanAlbero, "jur225", "X"),
       {kAck, kAck, "5~0~1~1~0~1301.000000~"}, {}},
      {"failed places", kShlib, "", "", 1, 1, "tax",
       {{"addr1_slot1", "ZZ"}, {"addr4_slot1", "ZZ"}, {"tax144", "1"}}, {kAck, kAck, "5~0~1~1~0~1399.100100~"}, {}},
      {"address failure", kShlib, "", "", 1, 2, "addr", {{"state", "CA"}}, {kAck, kAck, "5~0~1~1~0~1113.000000~"},
       Texts{"@loaded", "@env10", "@opened"} + kAddrCall +
           Texts{"Return from ZIP020Add/ZIP020: 13", "@close passed passed"}},
      {"tax, engine not open", kShlib, "", "", 2, 1, "tax", kSanAlbero,
       {"10~0~1~2~0~~", kAck, "5~0~1~1~0~1.000000~"}, {}},
      {"address, engine not open", kShlib, "", "", 2, 2, "addr", {{"state", "NY"}},
       {"10~0~1~2~0~~", kAck, "5~0~1~1~0~1.000000~"}, {}},
      {"no library", "none", "", "", 1, 0, "", {}, {error4},
       {"Loading AVPTAX.DLL.",
        "Loading AVPTAX.DLL failed: Load of shared library 'libavptax.so' failed. libavptax.so: cannot open shared "
        "object file: No such file or directory",
        "@close passed failed"}},
      {"tax entry point missing", kNoTaxClose, "", "", 1, 0, "", {}, {error4},
       {"@tax", "Missing function 'AVPTAXCLOSE' in DLL", "@close passed failed"}},
      {"ZIP entry point missing", kNoZip020, "", "", 1, 0, "", {}, {error4},
       {"@loaded", "Missing function 'ZIP020' in DLL", "@close failed failed"}},
      {"variable empty", kShlib, "AVPIN=", "", 1, 0, "", {}, {"5~0~1~1~0~3.000000~"},
       {"@loaded", "@env1", "AVPIN not set.", "@close failed failed"}},
      {"tax engine refuses", kShlib, "", "AVPTAXOPEN = 0\n", 1, 0, "", {}, {error4},
       {"@loaded", "@env10", "Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
        "TaxOpenStr failed: Unknown", "@close failed passed"}},
      {"ZIP engine refuses", kShlib, "", "ZIPOPEN = 2\n", 1, 0, "", {}, {error4},
       {"@loaded", "@env10", "Initialize Tax Structure.", "Initialize Jurisdiction Structure.",
        "TaxOpenStr succeeded", "Initialize Zip Structure.", "ZipOpenStr failed: Unknown", "@close passed passed"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Scene run;
    erp::PeerOptions o = run.options(row.shlib == "none" ? run.dir.mkdir("none") : row.shlib, row.drop, row.control);
    o.stype = row.stype;
    if (row.stype == 2) {
      const std::string data = VERTEX_DATA_DIR;
      o.env.insert(o.env.end(), {"VERTEXSERVER=" + data, std::string("VERTEXUSER=demo"), std::string("VERTEXPWD=demo"),
                                 "VERTEXGEO=" + data + "/location.dat", "VERTEXRATE=" + data + "/rate.dat",
                                 "VERTEXTDM=" + data + "/tdm.dat", "VERTEXREG=" + run.dir.at("register.dat")});
    }
    erp::ErpPeer peer(o);
    ASSERT_TRUE(peer.spawn());
    const pid_t pid = peer.pid();
    Texts got;
    if (std::optional<std::string> first = peer.receive()) got.push_back(*first);
    if (row.action != 0) {
      std::string body, err;
      ASSERT_TRUE(erp::build_avp_body(row.kind, row.body, &body, &err)) << err;
      const erp::Exchange ex = peer.request(row.action, 1, body);
      got.insert(got.end(), ex.replies.begin(), ex.replies.end());
      EXPECT_EQ(peer.terminate(), 0);
    } else {
      EXPECT_EQ(peer.wait_exit(10000), 0);
    }
    EXPECT_EQ(got, row.replies);
    if (!row.log.empty()) {
      EXPECT_EQ(run.log(), run.expand(row.log));
    }
    if (&row != &rows[0]) continue;
    // Once: the log's frame, and the stand-in's own records of the session.
    const std::regex frame(R"(^(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])([^:\n]+):
\1\2: Avp Log Start \*{29}
\1\2: Pid )" + std::to_string(pid) + " Uid " + std::to_string(getuid()) + R"(
\1\2: Log mesg: Loading AVPTAX\.DLL\.
\1\2: File: lib/tax/avp:\d+
\1\2: Avp Log End   \*{29}
)");
    const std::string text = test_util::slurp(run.dir.at("avp.log"));
    EXPECT_TRUE(std::regex_search(text, frame)) << text;
    EXPECT_EQ(test_util::slurp(run.vars["AVPOUT"] + "/avptax.sum"), "calculations 1\nfailures 0\n");
    EXPECT_EQ(test_util::slurp(run.vars["ZIPOUT"] + "/avpzip.sum"), "lookups 0\n");
    EXPECT_EQ(test_util::lines_of(test_util::slurp(run.vars["AVPAUDIT"])).size(), 1u);
  }
}

TEST(AvpEndToEnd, ThreeHundredPlacesReachASlowReader) {
  Scene run;
  erp::ErpPeer peer(run.options(kShlib, "", "ZipCandidates = 300\n"));
  ASSERT_TRUE(peer.start());
  ASSERT_TRUE(peer.send("8~2~1~1~1~"));
  ASSERT_EQ(peer.receive(), std::optional<std::string>(kAck));
  ASSERT_TRUE(peer.send("9~2~1~1~1~~NY~12810~"));
  Texts want = {"6~2~1~1~300~29~", place(1, "FAIRHAVEN", "NY", "12810", "00", "001", "KESTREL", 'I')};
  for (int i = 2; i <= 300; ++i) {
    char city[16], geo[3], county[4];
    std::snprintf(city, sizeof city, "CANDIDATE %03d", i);
    std::snprintf(geo, sizeof geo, "%02d", (i - 1) % 100);
    std::snprintf(county, sizeof county, "%03d", i);
    want.push_back(place(i, city, "NY", "12810", geo, county, "GENERATED COUNTY", 'I'));
  }
  Texts got;
  // Slowly, so the process meets a full queue and has to wait for room.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  while (got.size() < want.size()) {
    std::optional<std::string> r = peer.receive();
    if (!r) break;
    got.push_back(*r);
    if (got.size() % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(peer.terminate(), 0);
}

TEST(AvpEndToEnd, DiagnosticMode) {
  struct DiagRow {
    const char* name;
    std::string shlib;
    const char* drop;
    int status;
    const char* out;
    Texts err;  // every message, bare, on standard error
  };
  const DiagRow rows[] = {
      {"opens and closes", kShlib, "", 0, "", {"@loaded", "@env10", "@opened", "@close passed passed"}},
      {"an entry point missing", kNoZip020, "", 1, "init_apis() failed: API failed to open\n",
       {"@loaded", "Missing function 'ZIP020' in DLL"}},
  };
  for (const DiagRow& row : rows) {
    SCOPED_TRACE(row.name);
    Scene run;
    erp::PeerOptions o = run.options(row.shlib, row.drop, "");
    o.args = Texts{"-dt"};
    std::erase(o.env, std::string("AVPDEBUG="));  // no log, but everything on standard error
    erp::ErpPeer peer(o);
    test_util::FdCapture out(1, run.dir.at("stdout")), err(2, run.dir.at("stderr"));
    const bool spawned = peer.spawn();
    const int status = peer.wait_exit(10000);
    const std::string out_text = out.text(), err_text = err.text();
    ASSERT_TRUE(spawned);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(out_text, row.out);
    std::string want;
    for (const std::string& m : run.expand(row.err)) want += m + "\n";
    EXPECT_EQ(err_text, want);
    struct stat st;
    EXPECT_EQ(stat(run.dir.at("avp.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
  }
}

}  // namespace

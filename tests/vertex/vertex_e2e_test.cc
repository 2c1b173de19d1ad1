// End to end: the real taxapi process over real queues with the real
// stand-in Vertex libraries and their sample data. Failures are forced
// through the stand-in's control file and its copies without an entry point.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "erp_peer.h"
#include "vertex_request.h"
#include "vertex_test_util.h"

namespace {

namespace fs = std::filesystem;
using Fields = std::vector<std::pair<std::string, std::string>>;

// A standard line of 100.00 shipped to Millbrook (Alder County, Brenmark).
Fields millbrook_line() {
  return {{"ship_to_geo", "110010100"}, {"line_amount", "100.00"}, {"prod_number", "1"},
          {"product_code", "GEN"},      {"customer_1", "C1"},      {"customer_2", "C2"},
          {"invoice_number", "INV-1"},  {"invoice_text", "T"},     {"line_number", "1"},
          {"company_code", "CO1"},      {"user_area", "UA"}};
}

std::string body_of(const char* kind, const Fields& fields) {
  std::string body, err;
  EXPECT_TRUE(erp::build_vertex_body(kind, fields, &body, &err)) << err;
  return body;
}

class VertexE2ETest : public ::testing::Test {
 protected:
  erp::PeerOptions options(const std::string& shlib = SHLIB_DIR) {
    erp::PeerOptions o;
    o.taxapi = TAXAPI_BIN;
    o.dir = dir_.path() + "/queues";
    o.stype = 2;
    o.timeout_ms = 15000;
    o.unset = {"QSE", "QSE_BIN", "LD_LIBRARY_PATH", "APILOG", "VERTEXTDM", "VERTEXGEO", "VERTEXRATE"};
    o.env = {"QSE_SHLIB=" + shlib,
             "HOME=" + dir_.path(),
             std::string("VERTEXSERVER=") + VTX_DATA_DIR,
             "VERTEXUSER=e2e",
             "VERTEXPWD=secret",
             "VERTEXREG=" + dir_.path() + "/register.dat",
             "VERTEXDEBUG=1",
             "VST_STANDIN_CONTROL=" + control_path()};
    return o;
  }
  std::string control_path() const { return dir_.path() + "/control"; }
  void control(const std::string& text) { std::ofstream(control_path()) << text << "\n"; }
  std::string vertex_log() const { return read_file(dir_.path() + "/vertex.log"); }

  // A shlib directory holding the tax or location library built without
  // `entry`, beside the complete other one.
  std::string variant_dir(const std::string& entry) {
    const bool tax = entry.rfind("Vst", 0) == 0;
    const std::string dir = dir_.path() + "/no_" + entry;
    fs::create_directories(dir);
    const fs::path variant = fs::path(BUILD_DIR) / "vertex_variants" / ("no_" + entry);
    const std::string broken = tax ? "libvst.so" : "libloc.so";
    const std::string whole = tax ? "libloc.so" : "libvst.so";
    fs::create_symlink(variant / broken, fs::path(dir) / broken);
    fs::create_symlink(fs::path(SHLIB_DIR) / whole, fs::path(dir) / whole);
    return dir;
  }

  TempDir dir_;
};

TEST_F(VertexE2ETest, StandardTaxRequest) {
  erp::ErpPeer peer(options());
  std::string first;
  ASSERT_TRUE(peer.start(&first)) << first;
  EXPECT_EQ(first, "10~0~1~2~0~~");
  const std::string body = body_of("tax", millbrook_line());
  const erp::Exchange ex = peer.request(1, 2, body);
  ASSERT_TRUE(ex.ok) << ex.problem;
  ASSERT_EQ(ex.replies.size(), 3u);
  EXPECT_EQ(ex.replies[0], "10~0~1~2~0~~");
  EXPECT_EQ(ex.replies[1], "6~1~1~2~1~0~");
  // State 5 %, county 1 %, city 1 % and the city-owned district 0.25 %
  // added to the city.
  EXPECT_EQ(ex.results[0],
            "7~1~1~2~1~0.050000~0.010000~0.012500~0.000000~0.000000~5.000000~1.000000~"
            "1.250000~0.000000~0.000000~0.072500~7.250000~T~T~");
  EXPECT_EQ(peer.terminate(), 0);
  EXPECT_NE(vertex_log().find("Log mesg: VstCalcTax passed."), std::string::npos);
}

TEST_F(VertexE2ETest, EnhancedTaxRequestReportsDistrictsInTheirOwnFields) {
  erp::ErpPeer peer(options());
  ASSERT_TRUE(peer.start());
  const erp::Exchange ex = peer.request(1, 2, body_of("tax-enh", millbrook_line()));
  ASSERT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.replies[1], "6~1~1~2~1~0~");
  EXPECT_EQ(ex.results[0],
            "7~1~1~2~1~0.050000~0.010000~0.010000~0.002500~0.000000~0.000000~0.000000~"
            "5.000000~1.000000~1.000000~0.250000~0.000000~0.000000~0.000000~0.072500~7.250000~");
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(VertexE2ETest, AddressRequest) {
  erp::ErpPeer peer(options());
  ASSERT_TRUE(peer.start());
  const erp::Exchange ex =
      peer.request(2, 2, body_of("addr", {{"city", "Millbrook"}, {"state", "BR"}, {"zip", "61020"}}));
  ASSERT_TRUE(ex.ok) << ex.problem;
  EXPECT_EQ(ex.replies[1], "6~2~1~2~2~0~");
  EXPECT_EQ(ex.results, (std::vector<std::string>{
                            "7~2~1~2~1~Millbrook~BR~61020~110010100~Alder County~",
                            "7~2~1~2~2~Millbrook~BR~61020~110010000~Alder County~",
                        }));
  EXPECT_EQ(peer.terminate(), 0);
}

struct ForcedFailure {
  const char* control;
  int action;  // 1 tax, 2 address
  const char* error_reply;
};

TEST_F(VertexE2ETest, EveryForcedFailureGetsItsErrorCode) {
  const ForcedFailure cases[] = {
      {"VstSetLineProd = 0", 1, "5~0~1~2~0~1520.000000~"},
      {"VstGetInvDetail.invoice = \"inv-1\"", 1, "5~0~1~2~0~1521.000000~"},
      {"VstGetInvDetail.write_register = 1", 1, "5~0~1~2~0~1523.000000~"},
      {"VstGetLineDetail.amount = 100.000001", 1, "5~0~1~2~0~1524.000000~"},
      {"VstGetLineProd.product = \"OTHER\"", 1, "5~0~1~2~0~1525.000000~"},
      {"VstCalcTax = 14", 1, "5~0~1~2~0~1526.000000~"},
      {"VstGetInvDetail.company = \"ZZ\"", 1, "5~0~1~2~0~1527.000000~"},
      {"VstGetLineLocal(0) = 0", 1, "5~0~1~2~0~1528.000000~"},
      {"VstGetLineLocal(2) = 0", 1, "5~0~1~2~0~1529.000000~"},
      {"VstGetLineLocal(1) = 0", 1, "5~0~1~2~0~1530.000000~"},
      {"VstGetLineLocal(3) = 0", 1, "5~0~1~2~0~1531.000000~"},
      {"VstGetLineLocalAddtl(0) = 0", 1, "5~0~1~2~0~1532.000000~"},
      {"VstGetLineLocalAddtl(1) = 0", 1, "5~0~1~2~0~1533.000000~"},
      {"VstGetLineLocalAddtl(2) = 0\nVstGetLineLocalAddtl(2).owner = 1", 1, "5~0~1~2~0~1534.000000~"},
      {"VstGetInvDetail.customer_2 = \"X\"", 1, "5~0~1~2~0~1535.000000~"},
      {"VstResetHdl = 0", 1, "5~0~1~2~0~1536.000000~"},
      {"VstGetLineLocal(0).status = 22", 1, "5~0~1~2~0~1600.000100~"},
      {"VstGetLineLocal(0).status = 22\nVstGetLineDetail.juris = 3", 1, "5~0~1~2~0~1600.001000~"},
      {"VstGetLineLocal(2).status = 22\nVstGetLineDetail.juris = 4", 1, "5~0~1~2~0~1600.010000~"},
      {"VstGetLineLocal(1).status = 22\nVstGetLineDetail.juris = 7", 1, "5~0~1~2~0~1600.011100~"},
      {"VstGetLineLocalAddtl(1).status = 22\nVstGetLineLocalAddtl(1).juris = 3", 1,
       "5~0~1~2~0~1600.001000~"},
      {"LocCreateFindContext = null", 2, "5~0~1~2~0~1401.000000~"},
      {"LocSetNameCriteria = 0", 2, "5~0~1~2~0~1402.000000~"},
  };
  erp::ErpPeer peer(options());
  ASSERT_TRUE(peer.start());
  const std::string tax = body_of("tax", millbrook_line());
  const std::string addr = body_of("addr", {{"city", "Millbrook"}, {"state", "BR"}});
  for (const ForcedFailure& c : cases) {
    SCOPED_TRACE(c.control);
    control(c.control);
    const erp::Exchange ex = peer.request(c.action, 2, c.action == 1 ? tax : addr);
    EXPECT_TRUE(ex.error) << ex.problem;
    EXPECT_EQ(ex.replies.back(), c.error_reply);
    // Every path leaves the engine ready for the next request.
    control("");
    const erp::Exchange again = peer.request(c.action, 2, c.action == 1 ? tax : addr);
    EXPECT_TRUE(again.ok) << again.problem;
  }
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(VertexE2ETest, WriteRegisterRecordsTheInvoiceAndResubmitsAfterAStop) {
  erp::ErpPeer peer(options());
  ASSERT_TRUE(peer.start());
  Fields line = millbrook_line();
  line.push_back({"write_register", "1"});
  const std::string body = body_of("tax", line);
  erp::Exchange ex = peer.request(1, 2, body);
  ASSERT_TRUE(ex.ok) << ex.problem;
  std::vector<std::string> register_lines = split_lines(read_file(dir_.path() + "/register.dat"));
  ASSERT_EQ(register_lines.size(), 1u);
  EXPECT_NE(register_lines[0].find("|INV-1|T|CO1|C1|C2|1|GEN|"), std::string::npos) << register_lines[0];

  // A stop at the additional city: the line goes back with its own totals.
  control("VstGetLineLocalAddtl(1).status = 22\nVstGetLineLocalAddtl(1).juris = 2");
  ex = peer.request(1, 2, body);
  EXPECT_TRUE(ex.error);
  EXPECT_EQ(ex.replies.back(), "5~0~1~2~0~1600.000100~");
  register_lines = split_lines(read_file(dir_.path() + "/register.dat"));
  // The first calculation is recorded as usual, the re-submission with its
  // given totals.
  ASSERT_EQ(register_lines.size(), 3u);
  EXPECT_EQ(register_lines[1].substr(register_lines[1].size() - 2), "|0");
  EXPECT_EQ(register_lines[2].substr(register_lines[2].size() - 2), "|1");
  EXPECT_NE(vertex_log().find("Log mesg: VstGetLineLocal(eVstStLocTypeDist) unknown status."),
            std::string::npos);
  EXPECT_EQ(peer.terminate(), 0);
}

TEST_F(VertexE2ETest, FailedDatabaseOpenAnswersEveryRequestWithAnError) {
  // The session opens, but without a tax connection: no engine call may get
  // the null handle, and the ERP gets an error reply.
  control("VstOpenDb(1) = 4");
  erp::ErpPeer peer(options());
  std::string first;
  ASSERT_TRUE(peer.start(&first)) << first;
  erp::Exchange ex = peer.request(1, 2, body_of("tax", millbrook_line()));
  EXPECT_TRUE(ex.error) << ex.problem;
  EXPECT_EQ(ex.replies.back(), "5~0~1~2~0~1.000000~");
  ex = peer.request(2, 2, body_of("addr", {{"city", "Millbrook"}}));
  EXPECT_EQ(ex.replies.back(), "5~0~1~2~0~1.000000~");
  EXPECT_EQ(peer.terminate(), 0);
  const std::string log = vertex_log();
  EXPECT_NE(log.find("VstOpenDb(eVstDbTypeRate) failed, returned eVstDbRetCdInvalidPassword."),
            std::string::npos);
  EXPECT_NE(log.find("VstCloseDb(eVstDbTypeRate) skipped, no connection."), std::string::npos);
}

TEST_F(VertexE2ETest, MissingEntryPointFailsTheStart) {
  for (const char* entry : {"VstSetLineProd", "LocGetName"}) {
    SCOPED_TRACE(entry);
    erp::ErpPeer peer(options(variant_dir(entry)));
    std::string first;
    EXPECT_FALSE(peer.start(&first));
    EXPECT_EQ(first, "5~0~1~2~0~4.000000~");
    EXPECT_EQ(peer.wait_exit(15000), 0);
    EXPECT_NE(vertex_log().find(std::string("Missing function '") + entry + "' in DLL"),
              std::string::npos);
  }
}

TEST_F(VertexE2ETest, DiagnosticMode) {
  erp::PeerOptions o = options();
  o.args = std::vector<std::string>{"-dv"};
  {
    erp::ErpPeer peer(o);
    ASSERT_TRUE(peer.spawn());
    EXPECT_EQ(peer.wait_exit(15000), 0);
  }
  o = options(variant_dir("VstCalcTax"));
  o.args = std::vector<std::string>{"-DV"};
  {
    erp::ErpPeer peer(o);
    ASSERT_TRUE(peer.spawn());
    EXPECT_EQ(peer.wait_exit(15000), 1);
  }
}

}  // namespace

// The adapter object as the dispatcher drives it: readiness, the request
// records it hands out, and the outcome rule that picks result or error code.
#include "avp_adapter.h"

#include <cstring>
#include <string>
#include <vector>

#include "avp_calls.h"
#include "avp_test_util.h"

namespace {

struct Outcome {
  int gen = 0, jur = 0, poo = 0, poa = 0, shpto = 0, shpfr = 0, zip = 0;
  int tax_calls = 0, zip_calls = 0;
  char text_seen[30] = {};
  char flags_seen[2] = {};
  int int_904_seen = 0;
} engine;

int fake_cmn(Tax_Str* tax, int, Jur_Str* jur) {
  ++engine.tax_calls;
  tax->GenCmplCd = engine.gen;
  jur->JurCmplCd = engine.jur;
  jur->POOJurRC = engine.poo;
  jur->POAJurRC = engine.poa;
  jur->ShpToJurRC = engine.shpto;
  jur->ShpFrJurRC = engine.shpfr;
  std::memcpy(engine.text_seen, jur->block[1].slot2, 26);
  engine.flags_seen[0] = tax->chr_1139;
  engine.flags_seen[1] = tax->chr_1140;
  engine.int_904_seen = tax->int_904;
  return 0;
}
int fake_zip020(Zip_Str* zip) {
  ++engine.zip_calls;
  zip->ZipCmplCd = engine.zip;
  std::memcpy(engine.text_seen, zip->city, 29);
  return 0;
}
int fake_int(void) { return 0; }
int fake_int_arg(int) { return 0; }

class AdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = Outcome{};
    ready_session();
  }
  static void ready_session() {
    TaxwareSession& s = avp_session;
    s.AvpTaxOpenAdd = fake_int;
    s.AvpTaxCloseAdd = fake_int;
    s.AvpTaxCmnAdd = fake_cmn;
    s.AvpTaxIOErrAdd = fake_int_arg;
    s.ZipOpenAdd = fake_int_arg;
    s.ZipCloseAdd = fake_int;
    s.ZIP020Add = fake_zip020;
    s.opened = 1;
  }
  // Runs one tax request through the steps: 0 results, else the error code.
  double run_tax(const std::string& text, int enhanced) {
    void* req = avp_adapter.tax_new();
    avp_adapter.tax_parse(req, text.c_str(), enhanced);
    const int r = avp_adapter.tax_determine(req, enhanced);
    double code = 0;
    const int failed = avp_adapter.tax_error_code(req, r, &code);
    avp_adapter.tax_free(req);
    return failed ? code : 0;
  }
  double run_addr(const std::string& text) {
    void* req = avp_adapter.addr_new();
    avp_adapter.addr_parse(req, text.c_str());
    const int r = avp_adapter.addr_determine(req);
    double code = 0;
    const int failed = avp_adapter.addr_error_code(req, r, &code);
    avp_adapter.addr_free(req);
    return failed ? code : 0;
  }
  avptest::Scene scene;
};

TEST_F(AdapterTest, ReadyOnlyWhenOpenedWithEveryEntryPoint) {
  EXPECT_NE(avp_adapter.ready(), 0);
  avp_adapter.close();
  EXPECT_EQ(avp_adapter.ready(), 0);
  void (*const clear[])(TaxwareSession&) = {
      [](TaxwareSession& s) { s.AvpTaxOpenAdd = nullptr; }, [](TaxwareSession& s) { s.AvpTaxCloseAdd = nullptr; },
      [](TaxwareSession& s) { s.AvpTaxCmnAdd = nullptr; },  [](TaxwareSession& s) { s.AvpTaxIOErrAdd = nullptr; },
      [](TaxwareSession& s) { s.ZipOpenAdd = nullptr; },    [](TaxwareSession& s) { s.ZipCloseAdd = nullptr; },
      [](TaxwareSession& s) { s.ZIP020Add = nullptr; }};
  for (int i = 0; i < 7; ++i) {
    ready_session();
    clear[i](avp_session);
    EXPECT_EQ(avp_adapter.ready(), 0) << i;
  }
}

TEST_F(AdapterTest, TaxRequestRecordsStartClearedAndMarkedForCalculation) {
  void* req = avp_adapter.tax_new();
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(scene.messages(),
            (std::vector<std::string>{"Initialize Jurisdiction Structure.\n", "Initialize Tax Structure.\n"}));
  avp_adapter.tax_determine(req, 0);  // unparsed: the engine sees the initial values
  avp_adapter.tax_free(req);
  EXPECT_EQ(engine.flags_seen[0], 'Y');
  EXPECT_EQ(engine.flags_seen[1], '1');
  EXPECT_EQ(engine.int_904_seen, 1);
}

TEST_F(AdapterTest, TaxOutcomes) {
  struct Case {
    int gen, jur, poo, shpto;
    double code;  // 0: results are sent
  };
  const Case cases[] = {{0, 0, 0, 0, 0}, {63, 0, 0, 0, 0}, {5, 0, 0, 0, 1205}, {4, 7, 0, 0, 1307},
                        {95, 99, 2, 3, 1399.1001}};
  for (const Case& c : cases) {
    for (int enhanced : {0, 1}) {
      SCOPED_TRACE(std::to_string(c.gen) + "/" + std::to_string(c.jur));
      engine.gen = c.gen;
      engine.jur = c.jur;
      engine.poo = c.poo;
      engine.shpto = c.shpto;
      EXPECT_NEAR(run_tax(avptest::message({{6, "CITY"}}, enhanced ? 57 : 47), enhanced), c.code, 1e-9);
    }
  }
  EXPECT_STREQ(engine.text_seen, ("CITY" + std::string(22, ' ')).c_str());
}

TEST_F(AdapterTest, AddressOutcomes) {
  for (int code : {0, 29, 13, 30, -1}) {
    engine.zip = code;
    EXPECT_EQ(run_addr(avptest::message({{6, "Springfield"}}, 8, "9~2~1~1~1~")),
              code == 0 || code == 29 ? 0 : 1100.0 + code)
        << code;
  }
  EXPECT_STREQ(engine.text_seen, "Springfield");
}

TEST_F(AdapterTest, AnEngineNotOpenIsNeverCalledAndAnswersCodeOne) {
  avp_session.opened = 0;
  EXPECT_EQ(run_tax(avptest::message({}, 47), 0), API_ENGINE_NOT_OPEN_CODE);
  EXPECT_EQ(run_addr(avptest::message({}, 8)), API_ENGINE_NOT_OPEN_CODE);
  // Opened but an entry point missing: the same.
  ready_session();
  avp_session.AvpTaxCmnAdd = nullptr;
  avp_session.ZIP020Add = nullptr;
  EXPECT_EQ(run_tax(avptest::message({}, 57), 1), API_ENGINE_NOT_OPEN_CODE);
  EXPECT_EQ(run_addr(avptest::message({}, 8)), API_ENGINE_NOT_OPEN_CODE);
  EXPECT_EQ(engine.tax_calls + engine.zip_calls, 0);
}

}  // namespace

// The tax determination against the fake engine: every result code, stop,
// engine argument and log line.
#include "vertex_determine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_vertex_engine.h"
#include "vertex_session.h"

namespace {

template <std::size_t N>
void put(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::memcpy(field, text, strnlen(text, N - 1));
}

VertexTaxRequest sample_request() {
  VertexTaxRequest r{};
  put(r.ship_to.geo_code, "440610000");
  put(r.ship_from.geo_code, "440610001");
  put(r.order_accept.geo_code, "440610002");
  r.ship_to.juris_flag = 1;
  put(r.invoice_number, "INV-1");
  put(r.invoice_text, "TXT");
  put(r.customer_1, "CUST1");
  put(r.customer_2, "CUST2");
  put(r.company_code, "CO1");
  put(r.user_area, "UA");
  put(r.product_code, "PROD");
  r.line_number = 1;
  r.line_amount = 100.0;
  r.prod_number = 7;
  return r;
}

struct Outcome {
  int result;
  VertexTaxResult res;
  std::vector<std::string> log;
};

Outcome run(VertexTaxRequest req, bool enh = false) {
  Outcome out{};
  out.result = enh ? determine_tax_vertex_enh(&out.res, &req) : determine_tax_vertex(&out.res, &req);
  out.log = log_messages();
  return out;
}

class VertexDetermineTest : public ::testing::Test {
 protected:
  FakeVertexScope scope_;
};

TEST_F(VertexDetermineTest, SuccessfulStandardRunLogsEveryStepAndResets) {
  Outcome r = run(sample_request());
  EXPECT_EQ(r.result, 0);
  const std::vector<std::string> expected = {
      "VstSetInvJuris(eVstJurisTypeShipFrom) passed.",
      "VstSetInvJuris(eVstJurisTypeShipTo) passed.",
      "VstSetInvJuris(eVstJurisTypeOrderAccept) passed.",
      "VstSetInvDetail() passed.",
      "VstSetLineDetail passed.",
      "VstSetLineProd passed.",
      "VstCalcTax passed.",
      "VstGetInvDetail passed.",
      "Invoice check passed.",
      "Customer check passed.",
      "Write register and company code check passed",
      "VstGetLineDetail passed",
      "User area check passed",
      "VstGetLineProd passed.",
      "Product check passed.",
      "VstGetLineLocal(eVstStLocTypeState) passed.",
      "VstGetLineLocal(eVstStLocTypeCity) passed.",
      "VstGetLineLocal(eVstStLocTypeCnty) passed.",
      "VstGetLineLocal(eVstStLocTypeDist) passed.",
      "VstGetLineLocalAddtl(eVstLocAddtlTypeCity) passed.",
      "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) passed.",
      "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.",
      "VstResetHdl passed.",
  };
  EXPECT_EQ(r.log, expected);
  EXPECT_EQ(r.res.taxing_juris, 'T');
  // Jurisdictions in the order ship-from, ship-to, order-acceptance.
  EXPECT_EQ(fake.geo[eVstJurisTypeShipTo], 440610000);
  EXPECT_EQ(fake.geo[eVstJurisTypeShipFrom], 440610001);
  EXPECT_EQ(fake.geo[eVstJurisTypeOrderAccept], 440610002);
  EXPECT_EQ(fake.juris_flag[eVstJurisTypeShipTo], 1);
  EXPECT_EQ(fake.set_product, 7.0);
  EXPECT_EQ(fake.set_enh_code, "<null>");
  EXPECT_EQ(fake.calls.back(), "VstResetHdl");
  EXPECT_EQ(fake.get_local_levels, (std::vector<int>{0, 2, 1, 3}));
}

// One engine answer scripted per case; `line` is the step's log line.
struct Case {
  const char* name;
  std::function<void(VertexTaxRequest&)> setup;
  int code;
  const char* line;
  bool enh = false;
};

void write_register_stop(VertexTaxRequest& r) {
  r.write_register = 1;
  fake.level[eVstStLocTypeState].b = 1.0;
  fake.addtl[eVstLocAddtlTypeCity] = {1, 22, 0.0, 0.0, {}, 2};
}

// A false answer fails the request with its code and still resets the handle.
TEST_F(VertexDetermineTest, EngineCallAnsweringFalseFailsAndResets) {
  const Case cases[] = {
      {"ShipFrom", [](VertexTaxRequest&) { fake.set_inv_juris_ok[eVstJurisTypeShipFrom] = 0; }, 20,
       "VstSetInvJuris(eVstJurisTypeShipFrom) failed, returned FALSE."},
      {"ShipTo", [](VertexTaxRequest&) { fake.set_inv_juris_ok[eVstJurisTypeShipTo] = 0; }, 20,
       "VstSetInvJuris(eVstJurisTypeShipTo) failed, returned FALSE."},
      {"OrderAccept", [](VertexTaxRequest&) { fake.set_inv_juris_ok[eVstJurisTypeOrderAccept] = 0; },
       20, "VstSetInvJuris(eVstJurisTypeOrderAccept) failed, returned FALSE."},
      {"InvDetail", [](VertexTaxRequest&) { fake.set_inv_detail_ok = 0; }, 20,
       "VstSetInvDetail() failed, returned FALSE."},
      {"LineDetail", [](VertexTaxRequest&) { fake.set_line_detail_ok = {0}; }, 20,
       "VstSetLineDetail failed, returned FALSE."},
      {"ResubmittedLineDetail", [](VertexTaxRequest& r) { write_register_stop(r); fake.set_line_detail_ok = {1, 0}; },
       20, "VstSetLineDetail failed, returned FALSE."},
      {"LineProd", [](VertexTaxRequest&) { fake.set_line_prod_ok = 0; }, 20,
       "VstSetLineProd failed, returned FALSE."},
      {"LineLocal",
       [](VertexTaxRequest& r) {
         r.local_override = 1;
         r.city_a = 0.5;
         fake.set_line_local_ok[eVstStLocTypeCity] = 0;
       },
       20, "VstSetLineLocal(eVstStLocTypeCity, eVstTaxbltyTaxable) failed, returned FALSE."},
      {"GetInv", [](VertexTaxRequest&) { fake.get_inv_ok = 0; }, 20,
       "VstGetInvDetail failed, returned FALSE."},
      {"GetLine", [](VertexTaxRequest&) { fake.get_line_ok = 0; }, 20,
       "VstGetLineDetail failed, returned FALSE"},
      {"GetProd", [](VertexTaxRequest&) { fake.get_prod_ok = 0; }, 20,
       "VstGetLineProd failed, returned FALSE."},
      {"State", [](VertexTaxRequest&) { fake.level[eVstStLocTypeState].ok = 0; }, 28,
       "VstGetLineLocal(eVstStLocTypeState) failed, returned FALSE."},
      {"City", [](VertexTaxRequest&) { fake.level[eVstStLocTypeCity].ok = 0; }, 29,
       "VstGetLineLocal(eVstStLocTypeCity) failed, returned FALSE."},
      {"County", [](VertexTaxRequest&) { fake.level[eVstStLocTypeCnty].ok = 0; }, 30,
       "VstGetLineLocal(eVstStLocTypeCnty) failed, returned FALSE."},
      // The enhanced county keeps the standard spelling when it fails.
      {"EnhancedCounty", [](VertexTaxRequest&) { fake.level[eVstStLocTypeCnty].ok = 0; }, 30,
       "VstGetLineLocal(eVstStLocTypeCnty) failed, returned FALSE.", true},
      {"District", [](VertexTaxRequest&) { fake.level[eVstStLocTypeDist].ok = 0; }, 31,
       "VstGetLineLocal(eVstStLocTypeDist) failed, returned FALSE."},
      // The additional reads reset the handle too, so no stale invoice is
      // left in it for the next request.
      {"AddtlCity", [](VertexTaxRequest&) { fake.addtl[eVstLocAddtlTypeCity].ok = 0; }, 33,
       "VstGetLineLocalAddtl(eVstLocAddtlTypeCity) failed, returned FALSE."},
      {"AddtlCounty", [](VertexTaxRequest&) { fake.addtl[eVstLocAddtlTypeCnty].ok = 0; }, 32,
       "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) failed, returned FALSE."},
      {"AddtlDistrictOwned",
       [](VertexTaxRequest&) {
         fake.addtl[eVstLocAddtlTypeDist].ok = 0;
         fake.addtl[eVstLocAddtlTypeDist].owner = 1;
       },
       34, "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) failed, returned FALSE."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install_fake_vertex();
    VertexTaxRequest req = sample_request();
    c.setup(req);
    Outcome r = run(req, c.enh);
    EXPECT_EQ(r.result, c.code);
    ASSERT_GE(r.log.size(), 2u);
    EXPECT_EQ(r.log[r.log.size() - 2], c.line);
    EXPECT_EQ(r.log.back(), "VstResetHdl passed.");
    EXPECT_EQ(fake.calls.back(), "VstResetHdl");
  }
}

// The read-back checks, and the outcomes that end without a failed call.
TEST_F(VertexDetermineTest, ReadBackChecksAndOutcomes) {
  const Case cases[] = {
      {"InvoiceTrailingBlanks", [](VertexTaxRequest&) { fake.invoice = "INV-1   "; }, 0,
       "Invoice check passed."},
      {"InvoiceRequestTrailingBlanks",
       [](VertexTaxRequest& r) { put(r.invoice_number, "INV-1  "); fake.invoice = "INV-1"; }, 0,
       "Invoice check passed."},
      // A read-back that fills its buffer still compares sanely.
      {"InvoiceFullWidth",
       [](VertexTaxRequest& r) { put(r.invoice_number, std::string(30, 'X').c_str()); fake.invoice = std::string(40, 'X'); },
       0, "Invoice check passed."},
      {"InvoiceCase", [](VertexTaxRequest&) { fake.invoice = "inv-1"; }, 21, "Invoice check failed."},
      {"InvoiceLeadingBlank", [](VertexTaxRequest&) { fake.invoice = " INV-1"; }, 21,
       "Invoice check failed."},
      {"Customer1", [](VertexTaxRequest&) { fake.customer_1 = "OTHER"; }, 35,
       "Customer check failed."},
      {"Customer2", [](VertexTaxRequest&) { fake.customer_2 = "OTHER"; }, 35,
       "Customer check failed."},
      {"WriteRegister1Engine0",
       [](VertexTaxRequest& r) { r.write_register = 1; fake.write_register = 0; }, 23,
       "Write register check failed"},
      {"WriteRegister5Engine0",
       [](VertexTaxRequest& r) { r.write_register = 5; fake.write_register = 0; }, 0,
       "Write register and company code check passed"},
      {"WriteRegister0Engine1", [](VertexTaxRequest&) { fake.write_register = 1; }, 23,
       "Write register check failed"},
      {"Company", [](VertexTaxRequest&) { fake.company = "CO2"; }, 27, "Company code check failed"},
      {"AmountOff", [](VertexTaxRequest&) { fake.amount = 100.000001; }, 24,
       "User area check failed"},
      {"UserArea", [](VertexTaxRequest&) { fake.user_area = "UB"; }, 24, "User area check failed"},
      {"UserAreaBlanks", [](VertexTaxRequest&) { fake.user_area = "UA    "; }, 0,
       "User area check passed"},
      {"Product", [](VertexTaxRequest&) { fake.product = "PRO"; }, 25, "Product check failed."},
      {"ResetAfterSuccess", [](VertexTaxRequest&) { fake.reset_ok = 0; }, 36,
       "VstResetHdl failed, returned FALSE."},
      // An additional district nobody owns may answer false.
      {"UnownedAddtlDistrict", [](VertexTaxRequest&) { fake.addtl[eVstLocAddtlTypeDist].ok = 0; }, 0,
       "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed."},
      {"AddtlDistrictStop",
       [](VertexTaxRequest&) { fake.addtl[eVstLocAddtlTypeDist] = {1, 22, 0.0, 0.0, {}, 2}; }, 1,
       "VstResetHdl passed."},
      {"EnhancedCountySpelling", [](VertexTaxRequest&) {}, 0,
       "VstGetLineeLocal(eVstStLocTypeCnty) passed.", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install_fake_vertex();
    VertexTaxRequest req = sample_request();
    c.setup(req);
    Outcome r = run(req, c.enh);
    EXPECT_EQ(r.result, c.code);
    EXPECT_TRUE(has_message(r.log, c.line));
    EXPECT_EQ(fake.calls.back(), "VstResetHdl");
  }
}

TEST_F(VertexDetermineTest, CalculationStatuses) {
  struct {
    int status, code;
    const char* line;
  } cases[] = {
      {0, 0, "VstCalcTax passed."}, {8, 0, "VstCalcTax passed."},
      {1, 26, "VstCalcTax failed, returned eVstCalcRetCdMem."},
      {2, 26, "VstCalcTax failed, returned eVstCalcRetCdInvalidShipTo."},
      {11, 26, "VstCalcTax failed, returned eVstCalcRetCdRegDbConnError."},
      {13, 26, "VstCalcTax failed, returned eVstCalcRetCdNumElems."},
      {14, 26, "VstCalcTax failed, returned "}, {-3, 26, "VstCalcTax failed, returned "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    install_fake_vertex();
    fake.calc_status = {c.status};
    Outcome r = run(sample_request());
    EXPECT_EQ(r.result, c.code);
    EXPECT_TRUE(has_message(r.log, c.line));
  }
}

TEST_F(VertexDetermineTest, DomesticStateStopReturnsByTaxingJurisdiction) {
  const struct {
    int juris, code;
    char ch;
  } cases[] = {{2, 1, 'T'}, {3, 10, 'F'}, {4, 100, 'A'}, {7, 111, ' '}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.juris);
    install_fake_vertex();
    fake.juris = c.juris;
    fake.level[eVstStLocTypeState].status = 22;
    fake.level[eVstStLocTypeCity].a = 9.0;
    Outcome r = run(sample_request());
    EXPECT_EQ(r.result, c.code);
    EXPECT_EQ(r.res.taxing_juris, c.ch);
    // Only the state was read; the others get their passed line all the same.
    EXPECT_EQ(fake.get_local_levels, std::vector<int>{0});
    EXPECT_TRUE(has_message(r.log, "VstGetLineLocal(eVstStLocTypeCity) passed."));
    EXPECT_TRUE(has_message(r.log, "VstGetLineLocal(eVstStLocTypeDist) passed."));
    EXPECT_EQ(r.res.city_a, 0.0);
    EXPECT_EQ(fake.calls.back(), "VstResetHdl");
  }
}

TEST_F(VertexDetermineTest, StopsAfterCityCountyAndDistrict) {
  for (int level : {eVstStLocTypeCity, eVstStLocTypeCnty, eVstStLocTypeDist}) {
    SCOPED_TRACE(level);
    install_fake_vertex();
    fake.level[level].status = 22;
    fake.level[eVstStLocTypeCnty].a = 0.02;
    Outcome r = run(sample_request());
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstGetLineLocalAddtl"), 0);
    // Levels read before the stop keep their values, later ones stay zero.
    EXPECT_EQ(r.res.county_a, level == eVstStLocTypeCity ? 0.0 : 0.02);
  }
}

TEST_F(VertexDetermineTest, ForeignLineNeverStopsOnStatus22) {
  VertexTaxRequest req = sample_request();
  put(req.ship_to.geo_code, "770000000");
  for (FakeLevel& l : fake.level) l.status = 22;
  for (FakeLevel& l : fake.addtl) l.status = 22;
  Outcome r = run(req);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(fake.get_local_levels.size(), 4u);
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstGetLineLocalAddtl"), 3);
}

TEST_F(VertexDetermineTest, LevelValuesAndDistrictOwner) {
  fake.level[eVstStLocTypeState] = {1, 0, 0.06, 6.0, {}, {}};
  fake.level[eVstStLocTypeCity] = {1, 0, 0.01, 1.0, {}, {}};
  fake.level[eVstStLocTypeCnty] = {1, 0, 0.02, 2.0, {}, {}};
  fake.level[eVstStLocTypeDist] = {1, 0, 0.005, 0.5, 1, {}};
  fake.addtl[eVstLocAddtlTypeCity] = {1, 0, 0.003, 0.3, {}, 3};
  fake.addtl[eVstLocAddtlTypeCnty] = {1, 0, 0.004, 0.4, {}, {}};
  fake.addtl[eVstLocAddtlTypeDist] = {1, 0, 0.001, 0.1, 2, {}};
  fake.line_a = 0.1;
  fake.line_b = 10.0;
  Outcome r = run(sample_request());
  ASSERT_EQ(r.result, 0);
  EXPECT_DOUBLE_EQ(r.res.state_a, 0.06);
  EXPECT_DOUBLE_EQ(r.res.city_a, 0.015);  // district owned by the city
  EXPECT_DOUBLE_EQ(r.res.city_b, 1.5);
  EXPECT_DOUBLE_EQ(r.res.county_a, 0.021);  // additional district owned by the county
  EXPECT_DOUBLE_EQ(r.res.county_b, 2.1);
  EXPECT_DOUBLE_EQ(r.res.addtl_city_a, 0.003);
  EXPECT_DOUBLE_EQ(r.res.addtl_county_b, 0.4);
  EXPECT_EQ(r.res.district_a, 0.0);
  EXPECT_EQ(r.res.line_a, 0.1);
  EXPECT_EQ(r.res.line_b, 10.0);
  EXPECT_EQ(r.res.addtl_juris, 'F');
}

TEST_F(VertexDetermineTest, EnhancedDistrictValuesStayInTheirOwnFields) {
  const struct {
    int owner;
    double district_a;
  } cases[] = {{1, 0.005}, {2, 0.005}, {0, 0.0}, {3, 0.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.owner);
    install_fake_vertex();
    fake.level[eVstStLocTypeCnty] = {1, 0, 0.02, 2.0, {}, {}};
    fake.level[eVstStLocTypeDist] = {1, 0, 0.005, 0.5, c.owner, {}};
    fake.addtl[eVstLocAddtlTypeDist] = {1, 0, 0.001, 0.1, c.owner, {}};
    Outcome r = run(sample_request(), true);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.res.district_a, c.district_a);
    EXPECT_EQ(r.res.county_a, 0.02);
    EXPECT_EQ(r.res.city_a, 0.0);
    EXPECT_EQ(r.res.addtl_district_a, c.district_a == 0.0 ? 0.0 : 0.001);
  }
}

TEST_F(VertexDetermineTest, AdditionalStopWithoutWriteRegisterReturnsByAdditionalType) {
  fake.addtl[eVstLocAddtlTypeCity].status = 22;
  fake.addtl[eVstLocAddtlTypeCity].juris = 4;
  Outcome r = run(sample_request());
  EXPECT_EQ(r.result, 100);
  EXPECT_EQ(r.res.addtl_juris, 'A');
  // County and district skipped, with their passed lines.
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstGetLineLocalAddtl"), 1);
  EXPECT_TRUE(has_message(r.log, "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) passed."));
  EXPECT_TRUE(has_message(r.log, "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed."));
  EXPECT_EQ(fake.line_details.size(), 1u);
}

TEST_F(VertexDetermineTest, ResubmissionHandsTheSumsAndRereadsTheLevels) {
  VertexTaxRequest req = sample_request();
  req.write_register = 1;
  fake.level[eVstStLocTypeState] = {1, 0, 0.06, 6.0, {}, {}};
  fake.level[eVstStLocTypeCnty] = {1, 0, 0.01, 1.0, {}, {}};
  fake.addtl[eVstLocAddtlTypeCity] = {1, 22, 0.0, 0.0, {}, 3};
  Outcome r = run(req);
  EXPECT_EQ(r.result, 10);
  ASSERT_EQ(fake.line_details.size(), 2u);
  const FakeLineDetail& again = fake.line_details[1];
  EXPECT_FALSE(again.sums_null);
  EXPECT_DOUBLE_EQ(again.sum_a, 0.07);
  EXPECT_DOUBLE_EQ(again.sum_b, 7.0);
  EXPECT_EQ(again.line_kind, 3);
  EXPECT_EQ(again.transaction_type, 0);
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstCalcTax"), 2);
  EXPECT_EQ(fake.get_local_levels, (std::vector<int>{0, 2, 1, 3, 1, 2, 0, 3}));
  const std::vector<std::string> tail(r.log.end() - 8, r.log.end());
  const std::vector<std::string> expected = {
      "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.",
      "VstSetLineDetail passed.",
      "VstCalcTax unknown status.",
      "VstGetLineLocal(eVstStLocTypeCnty) unknown status.",
      "VstGetLineLocal(eVstStLocTypeCity) unknown status.",
      "VstGetLineLocal(eVstStLocTypeState) unknown status.",
      "VstGetLineLocal(eVstStLocTypeDist) unknown status.",
      "VstResetHdl passed.",
  };
  EXPECT_EQ(tail, expected);
}

TEST_F(VertexDetermineTest, EnhancedResubmissionSumsEveryLevelAndKeepsItsSpelling) {
  VertexTaxRequest req = sample_request();
  req.write_register = 1;
  fake.level[eVstStLocTypeDist] = {1, 0, 0.001, 0.1, 2, {}};
  fake.addtl[eVstLocAddtlTypeCity] = {1, 0, 0.002, 0.2, {}, 2};
  fake.addtl[eVstLocAddtlTypeCnty] = {1, 22, 0.0, 0.0, {}, 2};
  Outcome r = run(req, true);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(fake.line_details.size(), 2u);
  EXPECT_DOUBLE_EQ(fake.line_details[1].sum_b, 0.3);
  EXPECT_DOUBLE_EQ(fake.line_details[1].sum_a, 0.003);
  EXPECT_EQ(fake.line_details[1].enh_code, "<null>");
  EXPECT_TRUE(has_message(r.log, "VstGetlineLocal(eVstStLocTypeState) unknown status."));
}

TEST_F(VertexDetermineTest, ResubmissionWithNothingToSubmitGives111WithoutRecalculating) {
  VertexTaxRequest req = sample_request();
  write_register_stop(req);
  fake.level[eVstStLocTypeState].b = 0.0;
  EXPECT_EQ(run(req).result, 111);
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstCalcTax"), 1);
  EXPECT_EQ(fake.calls.back(), "VstResetHdl");
}

// The local-level calls as "level taxability code amount a b text", "-" for
// no amount.
std::vector<std::string> locals_sent() {
  std::vector<std::string> out;
  for (const FakeLocalCall& l : fake.locals) {
    std::ostringstream o;
    o << l.level << ' ' << l.taxability << ' ' << l.local_code << ' ';
    if (l.amount_null) o << '-'; else o << l.amount;
    o << ' ' << l.a << ' ' << l.b << ' ' << l.local_text;
    out.push_back(o.str());
  }
  return out;
}

// Standard: state, city, county, district; a level with value A 0 is
// non-taxable on the line amount; the district follows the city with zeros.
TEST_F(VertexDetermineTest, StandardLocalLevels) {
  const struct {
    int override_value, transaction_type;
    const char* code;  // null: no local call
  } cases[] = {{0, 2, nullptr}, {2, 2, nullptr}, {1, 2, "9"}, {1, 3, "8"}, {1, 1, "6"}, {1, 7, "6"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.override_value * 10 + c.transaction_type);
    install_fake_vertex();
    VertexTaxRequest req = sample_request();
    req.local_override = c.override_value;
    req.transaction_type = c.transaction_type;
    req.city_a = 0.01;
    req.county_a = 0.02;
    req.county_b = 3.0;
    Outcome r = run(req);
    EXPECT_EQ(r.result, 0);
    if (c.code == nullptr) {
      EXPECT_TRUE(fake.locals.empty());
      continue;
    }
    const std::string k = c.code;
    EXPECT_EQ(locals_sent(), (std::vector<std::string>{"0 2 " + k + " 100 0 0 <null>", "2 1 " + k + " - 0.01 0 <null>",
                                                       "1 1 " + k + " - 0.02 3 <null>", "3 1 " + k + " - 0 0 <null>"}));
    EXPECT_TRUE(has_message(r.log, "VstSetLineLocal(eVstStLocTypeState, eVstTaxbltyNonTaxable) passed."));
    EXPECT_TRUE(has_message(r.log, "VstSetLineLocal(eVstStLocTypeDist, eVstTaxbltyTaxable) passed."));
  }
}

// Enhanced: state, county, city, district, each on its own value A, with the
// enhanced local text; no override, no call.
TEST_F(VertexDetermineTest, EnhancedLocalLevels) {
  const struct {
    int override_value, local_kind;
    const char* code;
  } cases[] = {{2, 5, "3"}, {2, 6, "4"}, {2, 7, "5"}, {2, 1, "2"}, {1, 5, "7"},
               {1, 6, "8"}, {1, 7, "9"}, {1, 0, "6"}, {0, 5, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.override_value * 10 + c.local_kind);
    install_fake_vertex();
    VertexTaxRequest req = sample_request();
    req.local_override = c.override_value;
    req.local_kind = c.local_kind;
    req.city_a = 0.01;
    put(req.enh_local_code, "L");
    Outcome r = run(req, true);
    EXPECT_EQ(r.result, 0);
    if (c.code == nullptr) {
      EXPECT_TRUE(fake.locals.empty());
      continue;
    }
    const std::string k = c.code;
    EXPECT_EQ(locals_sent(), (std::vector<std::string>{"0 2 " + k + " 100 0 0 L", "1 2 " + k + " 100 0 0 L",
                                                       "2 1 " + k + " - 0.01 0 L", "3 2 " + k + " 100 0 0 L"}));
  }
}

TEST_F(VertexDetermineTest, LineDetailArguments) {
  struct {
    int transaction_type, line_kind, sent_type, sent_kind;
  } cases[] = {{1, 2, 1, 1}, {2, 6, 2, 5}, {3, 1, 3, 0}, {4, 7, 0, 0}, {0, 3, 0, 2}, {-1, -5, 0, 0}};
  for (const auto& c : cases) {
    install_fake_vertex();
    VertexTaxRequest req = sample_request();
    req.transaction_type = c.transaction_type;
    req.line_kind = c.line_kind;
    req.line_number = 42;
    run(req);
    ASSERT_FALSE(fake.line_details.empty());
    EXPECT_EQ(fake.line_details[0].transaction_type, c.sent_type);
    EXPECT_EQ(fake.line_details[0].line_kind, c.sent_kind);
    EXPECT_EQ(fake.line_details[0].line_number, 42);
    EXPECT_TRUE(fake.line_details[0].sums_null);
  }
}

TEST_F(VertexDetermineTest, InvoiceArgumentsAndEnhancedTexts) {
  VertexTaxRequest req = sample_request();
  req.invoice_flag = 1;
  req.write_register = 1;
  put(req.enh_code, "EC");
  put(req.enh_line_text, "LINE");
  run(req, true);
  EXPECT_EQ(fake.set_invoice_mode, 3);
  EXPECT_EQ(fake.set_write_register, 1);
  EXPECT_EQ(fake.set_invoice, "INV-1");
  EXPECT_EQ(fake.set_invoice_text, "TXT");
  EXPECT_EQ(fake.set_enh_code, "EC");
  EXPECT_EQ(fake.line_details[0].enh_code, "EC");
  EXPECT_EQ(fake.line_details[0].enh_line_text, "LINE");

  install_fake_vertex();
  req.invoice_flag = 2;
  req.write_register = 2;
  run(req, false);
  EXPECT_EQ(fake.set_invoice_mode, 0);
  EXPECT_EQ(fake.set_write_register, 0);
  EXPECT_EQ(fake.line_details[0].enh_code, "<null>");
}

TEST_F(VertexDetermineTest, DumpsAroundTheCalculationOnlyWhenLogging) {
  run(sample_request());
  ASSERT_EQ(fake.debug_texts.size(), 2u);
  EXPECT_EQ(fake.debug_texts[0].rfind("tarn.out|", 0), 0u);
  EXPECT_NE(fake.debug_texts[0].find("]before calculation: \n"), std::string::npos);
  EXPECT_NE(fake.debug_texts[1].find("]after calculation: \n"), std::string::npos);
  install_fake_vertex();
  vertex_session.vertex_debug = 0;
  run(sample_request());
  EXPECT_TRUE(fake.debug_texts.empty());
}

TEST_F(VertexDetermineTest, SessionWithoutHandlesMakesNoEngineCall) {
  for (int which = 0; which < 3; ++which) {
    install_fake_vertex();
    if (which == 0) vertex_session.pVstHdl = nullptr;
    if (which == 1) vertex_session.pVstConnHdl = nullptr;
    if (which == 2) vertex_session.VstGetLineLocalAddtlAdd = nullptr;
    Outcome r = run(sample_request());
    EXPECT_EQ(r.result, 20);
    EXPECT_TRUE(fake.calls.empty());
  }
}

}  // namespace

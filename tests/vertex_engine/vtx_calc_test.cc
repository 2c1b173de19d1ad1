#include "vtx_calc.h"

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx::CalcHandle;

template <class Db>
std::shared_ptr<const Db> load_sample(const char* file, const char* kind) {
  std::vector<vtx::Record> records;
  EXPECT_EQ(vtx::read_data_file(vtx_test::sample(file), kind, nullptr, nullptr, &records),
            vtx::DataStatus::kOk);
  auto db = std::make_shared<Db>();
  EXPECT_TRUE(db->load(records));
  return db;
}

class VtxCalc : public ::testing::Test {
 protected:
  void SetUp() override {
    dbs.geo = load_sample<vtx::GeoDb>("location.dat", "location");
    dbs.rate = load_sample<vtx::RateDb>("rate.dat", "rate");
    dbs.tdm = load_sample<vtx::TdmDb>("tdm.dat", "tdm");
    h.line.set = true;
    h.line.number = 1;
    h.line.amount = 200.0;
  }
  void juris(int type, long long geo, int flag = 0) {
    h.invoice.juris[type].set = true;
    h.invoice.juris[type].geo = geo;
    h.invoice.juris[type].flag = flag;
  }
  vtx::VstDatabases dbs;
  CalcHandle h;
};

TEST_F(VtxCalc, SourcingAndCityLimits) {
  struct Case {
    const char* what;
    long long ship_to, ship_from;
    int flag, taxing_type;
    double city_rate, district_rate, line_b;
  } cases[] = {
      {"destination", 110010100, 0, 0, 2, 0.01, 0.0025, 14.5},
      {"unincorporated: no city level", 110010000, 0, 0, 2, 0.0, 0.0, 12.0},
      {"outside city limits: no city nor its district", 110010100, 0, 1, 2, 0.0, 0.0, 12.0},
      {"ship-from in another state", 230130100, 110010100, 0, 2, 0.0125, 0.0, 16.5},
      {"origin state taxes the ship-from", 230130100, 230110100, 0, 3, 0.02, 0.005, 19.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.invoice = vtx::Invoice();
    juris(0, c.ship_to, c.flag);
    if (c.ship_from != 0) juris(1, c.ship_from);
    ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
    EXPECT_EQ(h.result.taxing_type, c.taxing_type);
    EXPECT_EQ(h.result.level[2].status, 0);
    EXPECT_DOUBLE_EQ(h.result.level[2].rate, c.city_rate);
    EXPECT_DOUBLE_EQ(h.result.level[3].rate, c.district_rate);
    EXPECT_DOUBLE_EQ(h.result.line_b, c.line_b);
  }
  // Origin-sourced, yet the additional localities follow the destination: Lisk has none.
  EXPECT_EQ(h.result.taxing_geo, 230110100);
  EXPECT_EQ(h.result.addtl_type, 2);
  EXPECT_EQ(h.result.addtl[vtx::kAddtlCity].rate, 0.0);
}

TEST_F(VtxCalc, AdditionalLocalitiesAndTheirSourcing) {
  juris(0, 230110100);  // Halvern City has three additional localities
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  const auto& ad = h.result.addtl;
  EXPECT_DOUBLE_EQ(ad[vtx::kAddtlCounty].rate, 0.002);
  EXPECT_DOUBLE_EQ(ad[vtx::kAddtlCity].tax, 0.5);
  EXPECT_EQ(ad[vtx::kAddtlDistrict].owner, vtx::kOwnerOwn);
  EXPECT_DOUBLE_EQ(ad[vtx::kAddtlDistrict].tax, 0.2);

  juris(0, 460210100);  // Port Tarquay: its additional city follows the origin
  juris(1, 460230100);  // Wrenford, same state, no additional localities
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_EQ(h.result.taxing_type, 2);
  EXPECT_EQ(h.result.addtl_type, 3);
  EXPECT_EQ(h.result.addtl[vtx::kAddtlCity].rate, 0.0);
  h.invoice.juris[1] = vtx::JurisSetting();
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_EQ(h.result.addtl_type, 2);
  EXPECT_DOUBLE_EQ(h.result.addtl[vtx::kAddtlCity].rate, 0.003);
}

TEST_F(VtxCalc, RateMissingOrForeignGivesStatus22) {
  juris(0, 460230200);  // Millbrook, Tarquay: additional county without a rate
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcDoneWithUnknown);
  for (const auto& l : h.result.level) EXPECT_EQ(l.status, 0);
  EXPECT_EQ(h.result.addtl[vtx::kAddtlCounty].status, vtx::kLevelUnknown);
  EXPECT_EQ(h.result.addtl[vtx::kAddtlCity].status, 0);

  juris(0, 770000001);  // foreign
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcDoneWithUnknown);
  for (const auto& l : h.result.level) EXPECT_EQ(l.status, vtx::kLevelUnknown);
  for (const auto& l : h.result.addtl) EXPECT_EQ(l.status, vtx::kLevelUnknown);
  EXPECT_EQ(h.result.line_b, 0.0);
}

TEST_F(VtxCalc, TaxabilityFromTheTdm) {
  juris(0, 230130100);  // Lisk, Halvern: groceries half taxable
  h.line.product_code = "FOOD-01";
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_DOUBLE_EQ(h.result.level[0].base, 100.0);
  EXPECT_DOUBLE_EQ(h.result.level[0].tax, 6.25);
  h.invoice.customer_2 = "GOV-HV";
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_EQ(h.result.line_b, 0.0);
  EXPECT_DOUBLE_EQ(h.result.line_a, 0.0825);  // rates are still reported
}

TEST_F(VtxCalc, LevelSettingsOverrideTheDatabase) {
  juris(0, 110010100);
  auto set = [this](int level, int taxability, int code) -> vtx::LocalSetting& {
    vtx::LocalSetting& s = h.line.local[level];
    s.set = true;
    s.taxability = taxability;
    s.local_code = code;
    return s;
  };
  vtx::LocalSetting& state = set(0, 2, 0);  // non-taxable for 150 of the 200
  state.has_amount = true;
  state.amount = 150.0;
  vtx::LocalSetting& city = set(2, 1, 6);
  city.has_a = city.has_b = true;
  city.a = 0.03;
  vtx::LocalSetting& county = set(1, 1, 8);
  county.has_a = county.has_b = true;
  county.a = 0.5;
  county.b = 1.23;  // a fixed tax
  vtx::LocalSetting& district = set(3, 1, 2);  // below 6: the rate stays the database's
  district.has_a = true;
  district.a = 0.9;
  district.owner = vtx::kOwnerCounty;
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_DOUBLE_EQ(h.result.level[0].exempt, 150.0);
  EXPECT_DOUBLE_EQ(h.result.level[0].tax, 2.5);
  EXPECT_DOUBLE_EQ(h.result.level[1].tax, 1.23);
  EXPECT_DOUBLE_EQ(h.result.level[2].tax, 6.0);
  EXPECT_DOUBLE_EQ(h.result.level[3].rate, 0.0025);
  EXPECT_EQ(h.result.level[3].owner, vtx::kOwnerCounty);

  // A settled level clears a status 22.
  juris(0, 460210200);
  h.line.local[2].a = 0.01;
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_EQ(h.result.level[2].status, 0);
}

TEST_F(VtxCalc, RoundingAndCredits) {
  juris(0, 110010100);
  h.line.amount = 0.1;  // 0.005 state tax rounds up to a cent
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_DOUBLE_EQ(h.result.level[0].tax, 0.01);
  h.line.amount = -200.0;
  ASSERT_EQ(vtx::calculate(dbs, &h), vtx::kCalcOk);
  EXPECT_DOUBLE_EQ(h.result.line_b, -14.5);
}

TEST_F(VtxCalc, NoLocationDatabase) {
  juris(0, 110010100);
  dbs.geo.reset();
  EXPECT_EQ(vtx::calculate(dbs, &h), vtx::kCalcLocDbConn);
  EXPECT_FALSE(h.result.done);
}

TEST_F(VtxCalc, RegisterLineAndUnwritableRegister) {
  vtx_test::TempDir dir;
  juris(0, 110010100);
  h.invoice.number = "INV|7";
  h.invoice.write_register = 1;
  int st = vtx::calculate(dbs, &h);
  EXPECT_EQ(vtx::register_line(h, "STAMP"),
            "INVOICE|STAMP|INV 7|||||1||2|110010100|200.00|0.072500|14.50|0");
  dbs.register_open = dbs.register_writable = true;
  dbs.register_path = dir.at("reg");
  EXPECT_EQ(vtx::write_register(dbs, h, st), vtx::kCalcOk);
  EXPECT_EQ(vtx_test::read_file(dir.at("reg")).substr(0, 8), "INVOICE|");
  dbs.register_path = dir.at("no/such/dir/reg");
  EXPECT_EQ(vtx::write_register(dbs, h, st), vtx::kCalcRegDbError);
}

}  // namespace

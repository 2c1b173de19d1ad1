#include "avp_calc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "avp_engine_support.h"

namespace avp_standin {
namespace {

using avp_test::TaxRequest;

class AvpCalc : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string data = AVP_DATA_DIR, error;
    ASSERT_TRUE(zips.load(data + "/zipmaster.txt", &error)) << error;
    ASSERT_TRUE(rates.load(data + "/rates.txt", &error)) << error;
    ASSERT_TRUE(exempt.load(data + "/exempt.txt", &error)) << error;
  }
  int run(TaxRequest& r, int select = AVP_CMN_SELECT) {
    return calculate(TaxData{&zips, &rates, &exempt}, &r.tax, select, &r.jur, &summary);
  }
  ZipMaster zips;
  RateTable rates;
  ExemptList exempt;
  CalcSummary summary;
};

void expect_levels(const Tax_Str& t, std::initializer_list<double> amounts) {
  int k = 0;
  for (double a : amounts) {
    EXPECT_DOUBLE_EQ(t.level_out_dbl[k], a) << "level " << k;
    ++k;
  }
}

TEST_F(AvpCalc, DestinationTaxAtEveryLevel) {
  TaxRequest r;
  r.block(1, "CA", "San Albero", "90411").block(2, "NY", "", "12810").amount(100);
  EXPECT_EQ(run(r), kGenOk);
  EXPECT_EQ(r.jur.JurCmplCd, 0);
  EXPECT_EQ(r.jur.ShpToJurRC, kPlaceFound);
  EXPECT_EQ(r.jur.ShpFrJurRC, kPlaceFound);
  EXPECT_EQ(r.jur.POAJurRC, kPlaceNotGiven);
  EXPECT_EQ(r.jur.POOJurRC, kPlaceNotGiven);
  expect_levels(r.tax, {0, 6.00, 0.25, 1.00, 0.25, 0, 0, 0});
  EXPECT_FLOAT_EQ(r.tax.level_out_flt[1], 0.06f);
  EXPECT_FLOAT_EQ(r.tax.level_out_flt[3], 0.01f);
  EXPECT_EQ(r.jur.chr_236, 'D');
  EXPECT_EQ(std::string(r.tax.copy_686[0], 25), "CA 90411 00 SAN ALBERO   ");
  EXPECT_DOUBLE_EQ(summary.total, 7.50);
  EXPECT_EQ(summary.zip, "90411");
}

TEST_F(AvpCalc, LevelAmounts) {
  struct Case {
    const char* name;
    void (*set)(TaxRequest&);
    int gen;
    std::initializer_list<double> levels;
  };
  const Case cases[] = {
      // 6.25% state, 0.5% county, 1% city, 0.25% secondary city, 0.25% transit at the ship-from place.
      {"origin", [](TaxRequest& r) {
         r.block(1, "CA", "", "90411").block(2, "TX", "CEDAR BLUFF", "75510").amount(200);
         r.jur.chr_225 = 'O';
       }, kGenOk, {0, 12.50, 1.00, 2.00, 0, 0, 0.50, 0.50}},
      {"services pay country and state only", [](TaxRequest& r) {
         r.block(1, "CA", "", "90411").amount(100);
         r.jur.chr_226 = 'S';
       }, kGenOk, {0, 6.00, 0, 0, 0, 0, 0, 0}},
      {"freight and discount: base 100", [](TaxRequest& r) { r.block(1, "WA", "HARBOR POINT", "98610").amount(90, 20, 10); },
       kGenOk, {0, 6.50, 0.10, 2.30, 1.40}},
      // 4% -> 1.3332, 4% county, 0.375% district -> 0.1249875
      {"cents", [](TaxRequest& r) { r.block(1, "NY", "", "12830").amount(33.33); }, kGenOk, {0, 1.33, 1.33, 0, 0.12}},
      {"credit, exempt amount towards zero", [](TaxRequest& r) {
         r.block(1, "CA", "", "90411").amount(-100);
         *avp_level_in_dbl(&r.tax, 1) = 40;
       }, kGenOk, {0, -3.60, -0.25, -1.00, -0.25}},
      {"exemptions never pass zero", [](TaxRequest& r) {
         r.block(1, "CA", "", "90411").amount(100);
         *avp_level_in_dbl(&r.tax, 1) = 250;
         *avp_level_in_dbl(&r.tax, 2) = 60;
       }, kGenOk, {0, 0, 0.10, 1.00, 0.25}},
      {"inside the city limits", [](TaxRequest& r) { r.block(1, "CA", "", "90441").amount(100); }, kGenOk,
       {0, 6.00, 0.10, 0.50}},
      {"outside the city limits", [](TaxRequest& r) { r.block(1, "CA", "", "90440").amount(100); }, kGenOk,
       {0, 6.00, 0.10, 0}},
      {"a rate from the request replaces the data", [](TaxRequest& r) {
         r.block(1, "OR", "", "97710").amount(100);
         *avp_level_in_flt(&r.tax, 7) = 0.05f;
       }, kGenRateGiven, {0, 0, 0, 0, 0, 0, 0, 5.00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TaxRequest r;
    c.set(r);
    EXPECT_EQ(run(r), c.gen);
    expect_levels(r.tax, c.levels);
  }
}

TEST_F(AvpCalc, ExemptProductsAndZeroBases) {
  TaxRequest exempt_line;
  exempt_line.block(1, "CA", "", "90411").amount(100).product("prescription-drugs");
  EXPECT_EQ(run(exempt_line), kGenExempt);
  expect_levels(exempt_line.tax, {0, 0, 0, 0, 0});
  EXPECT_FLOAT_EQ(exempt_line.tax.level_out_flt[1], 0.06f);
  TaxRequest elsewhere;
  elsewhere.block(1, "NY", "", "12810").amount(100).product("PRESCRIPTION-DRUGS");
  EXPECT_EQ(run(elsewhere), kGenOk);
  TaxRequest zero;
  zero.block(1, "CA", "", "90411");
  EXPECT_EQ(run(zero), kGenZeroBase);
}

TEST_F(AvpCalc, JurisdictionReturnCodes) {
  struct Case {
    const char* state;
    const char* city;
    const char* zip;
    const char* geo;
    int rc;
  } cases[] = {
      {"CA", "", "90411", "", kPlaceFound},
      {"CA", "", "90412", "01", kPlaceFound},
      {"CA", "SAN ALBERO", "", "02", kPlaceFound},
      {"", "", "", "", kPlaceNotGiven},
      {"ZZ", "", "90411", "", kPlaceBadState},
      {"", "", "90411", "", kPlaceBadState},
      {"CA", "", "99999", "", kPlaceUnknown},
      {"CA", "", "9041", "", kPlaceUnknown},
      {"CA", "", "90411", "7", kPlaceUnknown},
      {"CA", "NOWHERE", "90411", "", kPlaceUnknown},
      {"CA", "", "90412", "", kPlaceAmbiguous},
      {"CA", "SAN ALBERO", "", "", kPlaceAmbiguous},
  };
  for (const Case& c : cases) {
    TaxRequest r;
    r.block(1, "CA", "", "90411").block(3, c.state, c.city, c.zip, c.geo).amount(10);
    run(r);
    EXPECT_EQ(r.jur.POAJurRC, c.rc) << c.state << "/" << c.city << "/" << c.zip << "/" << c.geo;
    EXPECT_EQ(r.jur.JurCmplCd, c.rc > 1 ? kJurPlaces : kJurOk);
    EXPECT_EQ(r.tax.GenCmplCd, c.rc > 1 ? kGenJurisdiction : kGenOk);
  }
}

TEST_F(AvpCalc, TheTaxedPlaceMustBeGiven) {
  TaxRequest dest;
  dest.block(2, "CA", "", "90411").amount(10);
  EXPECT_EQ(run(dest), kGenJurisdiction);
  EXPECT_EQ(dest.jur.ShpToJurRC, kPlaceMissing);
  EXPECT_EQ(dest.jur.ShpFrJurRC, kPlaceFound);
  TaxRequest origin;
  origin.block(1, "CA", "", "90411").amount(10);
  origin.jur.chr_225 = 'O';
  EXPECT_EQ(run(origin), kGenJurisdiction);
  EXPECT_EQ(origin.jur.ShpFrJurRC, kPlaceMissing);
  EXPECT_EQ(origin.jur.ShpToJurRC, kPlaceFound);
  EXPECT_EQ(origin.jur.JurCmplCd, kJurPlaces);
  expect_levels(origin.tax, {0, 0, 0, 0, 0, 0, 0, 0});
}

TEST_F(AvpCalc, JurisdictionCompletionCodesInOrder) {
  struct Case {
    int select;
    char title;
    char service;
    bool bad_place;
    int jur;
  } cases[] = {
      {51, 'D', 'G', false, kJurOk},        {51, '\0', '\0', false, kJurOk},
      {51, ' ', ' ', false, kJurOk},        {52, 'X', 'X', true, kJurBadSelect},
      {0, 'D', 'G', false, kJurBadSelect},  {51, 'X', 'X', true, kJurBadTitle},
      {51, 'D', 'X', true, kJurBadService}, {51, 'D', 'G', true, kJurPlaces},
  };
  for (const Case& c : cases) {
    TaxRequest r;
    r.block(1, "CA", "", "90411").amount(10);
    if (c.bad_place) r.block(4, "ZZ", "", "", "");
    r.jur.chr_225 = c.title;
    r.jur.chr_226 = c.service;
    run(r, c.select);
    EXPECT_EQ(r.jur.JurCmplCd, c.jur) << c.select << c.title << c.service;
    EXPECT_EQ(r.tax.GenCmplCd, c.jur == 0 ? kGenOk : kGenJurisdiction);
  }
}

TEST_F(AvpCalc, RefusesAmountsThatAreNotMoney) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf, 2e11}) {
    TaxRequest a, f, d, ex;
    a.amount(bad);
    f.amount(1, bad);
    d.amount(1, 0, bad);
    ex.amount(1);
    *avp_level_in_dbl(&ex.tax, 3) = bad;
    for (TaxRequest* r : {&a, &f, &d, &ex}) {
      r->block(1, "CA", "", "90411");
      EXPECT_EQ(run(*r), kGenBadAmount);
    }
  }
  for (float bad : {-0.5f, 1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    TaxRequest r;
    r.block(1, "CA", "", "90411").amount(10);
    *avp_level_in_flt(&r.tax, 0) = bad;
    EXPECT_EQ(run(r), kGenBadAmount);
  }
  TaxRequest neg;
  neg.block(1, "CA", "", "90411").amount(10);
  *avp_level_in_dbl(&neg.tax, 0) = -1;
  EXPECT_EQ(run(neg), kGenBadAmount);
}

TEST_F(AvpCalc, AnOpenOrCloseRecordIsNoCalculation) {
  TaxRequest r;
  r.block(1, "CA", "", "90411").amount(10);
  std::memcpy(r.tax.function, "OPEN ", 5);
  EXPECT_EQ(run(r), kGenBadFunction);
  std::memset(r.tax.function, 0, 5);
  EXPECT_EQ(run(r), kGenOk);
}

TEST_F(AvpCalc, ClearsEveryResultOfAnEarlierCall) {
  TaxRequest r;
  r.block(1, "CA", "", "90411").amount(100);
  for (int k = 0; k < AVP_LEVELS; ++k) {
    r.tax.level_out_dbl[k] = 99;
    r.tax.level_out_flt[k] = 99;
  }
  r.tax.GenCmplCd = 77;
  r.jur.JurCmplCd = 77;
  r.jur.POOJurRC = r.jur.POAJurRC = 77;
  EXPECT_EQ(run(r), kGenOk);
  EXPECT_DOUBLE_EQ(r.tax.level_out_dbl[0], 0);
  EXPECT_DOUBLE_EQ(r.tax.level_out_dbl[7], 0);
  EXPECT_FLOAT_EQ(r.tax.level_out_flt[6], 0);
  EXPECT_EQ(r.jur.JurCmplCd, 0);
  EXPECT_EQ(r.jur.POOJurRC, kPlaceNotGiven);
}

TEST_F(AvpCalc, ArbitraryRecordsNeverCrash) {
  unsigned seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    TaxRequest r;
    unsigned char* t = reinterpret_cast<unsigned char*>(&r.tax);
    unsigned char* j = reinterpret_cast<unsigned char*>(&r.jur);
    for (std::size_t i = 0; i < sizeof r.tax; ++i) {
      seed = seed * 1103515245u + 12345u;
      if ((seed >> 8) % 7 == 0) t[i] = static_cast<unsigned char>(seed >> 16);
    }
    for (std::size_t i = 0; i < sizeof r.jur; ++i) {
      seed = seed * 1103515245u + 12345u;
      j[i] = static_cast<unsigned char>(seed >> 16);
    }
    if (round % 3 == 0) r.block(1, "CA", "", "90411");
    int gen = run(r, round % 5 == 0 ? 0 : AVP_CMN_SELECT);
    EXPECT_EQ(gen, r.tax.GenCmplCd);
    for (int k = 0; k < AVP_LEVELS; ++k) EXPECT_TRUE(std::isfinite(r.tax.level_out_dbl[k]));
  }
}

}  // namespace
}  // namespace avp_standin

#include "avp_rates.h"

#include <gtest/gtest.h>

namespace avp_standin {
namespace {

ZipRow place(const char* state, const char* county, const char* city, const char* geo, char ind = 'I') {
  ZipRow r;
  r.state = state;
  r.county_code = county;
  r.city = city;
  r.geo = geo;
  r.indicator = ind;
  r.county_name = "X";
  return r;
}

class AvpRates : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(t.parse("1|CA|*|*|*|0.06|state\n"
                        "1|CA|*|*|*|0.99|a later tie loses\n"
                        "2|CA|037|*|*|0.0025|county 037\n"
                        "2|*|*|*|*|0.001|any county\n"
                        "3|CA|*|SAN ALBERO|*|0.01|city\n"
                        "4|CA|059|SAN ALBERO|01|0.005|district\n"
                        "4|CA|059|*|*|0.002|county district\n",
                        &error))
        << error;
  }
  RateTable t;
};

TEST_F(AvpRates, TheNarrowestRowWins) {
  ZipRow lorena = place("CA", "037", "SAN ALBERO", "00");
  ZipRow marisol = place("CA", "059", "SAN ALBERO", "01");
  EXPECT_DOUBLE_EQ(t.rate_for(1, lorena).rate, 0.06);
  EXPECT_DOUBLE_EQ(t.rate_for(2, lorena).rate, 0.0025);
  EXPECT_DOUBLE_EQ(t.rate_for(2, marisol).rate, 0.001);
  EXPECT_DOUBLE_EQ(t.rate_for(4, marisol).rate, 0.005);
  EXPECT_DOUBLE_EQ(t.rate_for(4, place("CA", "059", "OTHER", "00")).rate, 0.002);
  EXPECT_EQ(t.rate_for(4, lorena).row, nullptr);
  EXPECT_DOUBLE_EQ(t.rate_for(4, lorena).rate, 0);
  EXPECT_DOUBLE_EQ(t.rate_for(1, place("NY", "001", "X", "00")).rate, 0);
}

TEST_F(AvpRates, CityRowsApplyOnlyInsideTheCityLimits) {
  EXPECT_DOUBLE_EQ(t.rate_for(3, place("CA", "037", "SAN ALBERO", "00", 'I')).rate, 0.01);
  EXPECT_DOUBLE_EQ(t.rate_for(3, place("CA", "037", "SAN ALBERO", "00", 'O')).rate, 0);
  EXPECT_DOUBLE_EQ(t.rate_for(4, place("CA", "059", "SAN ALBERO", "01", 'O')).rate, 0.002);
}

TEST(AvpRatesParse, RefusesMalformedRows) {
  const char* bad[] = {
      "8|CA|*|*|*|0.06|level",      "-1|CA|*|*|*|0.06|level",  "1|CAL|*|*|*|0.06|state",
      "1|CA|37|*|*|0.06|county",    "1|CA|*||*|0.06|city",     "1|CA|*|*|1|0.06|geo",
      "1|CA|*|*|*|1|rate too big",  "1|CA|*|*|*|-0.01|neg",    "1|CA|*|*|*|nan|nan",
      "1|CA|*|*|*|0.06",            "x|CA|*|*|*|0.06|level",
  };
  for (const char* line : bad) {
    RateTable t;
    std::string error;
    EXPECT_FALSE(t.parse(line, &error)) << line;
    EXPECT_EQ(error.rfind("line 1:", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace avp_standin

#include "avp_ziplookup.h"

#include <gtest/gtest.h>

#include <cstring>

#include "avp_engine_support.h"

namespace avp_standin {
namespace {

using avp_test::entry_text;
using avp_test::ZipRequest;

class AvpZipLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(master.load(std::string(AVP_DATA_DIR) + "/zipmaster.txt", &error)) << error;
  }
  ZipMaster master;
};

TEST_F(AvpZipLookup, CodesAndCountsOverTheSampleData) {
  struct Case {
    const char* state;
    const char* zip;
    const char* city;
    int code;
    int count;
  } cases[] = {
      {"NY", "12810", "", 0, 1},
      {"NY", "12810", "Fairhaven", 0, 1},
      {"ny", "12810-1234", "", 0, 1},
      {"NY", "128101234", "", 0, 1},
      {"CA", "90412", "", 29, 2},
      {"CA", "", "SAN ALBERO", 29, 5},
      {"CA", "", "san  albero", 29, 5},
      {"CA", "90432", "", 0, 1},          // inside a range
      {"IL", "60910", "", 29, 2},         // one ZIP, two cities
      {"ZZ", "12810", "", 12, 0},
      {"", "12810", "", 12, 0},
      {"C1", "12810", "", 12, 0},
      {"CA", "", "", 13, 0},
      {"CA", "99999", "", 14, 0},
      {"CA", "12810", "", 30, 1},         // a New York ZIP
      {"CA", "", "NOWHERE", 15, 0},
      {"CA", "99999", "NOWHERE", 16, 0},
      {"CA", "90420", "SAN ALBERO", 17, 5},  // the city's places
      {"CA", "90420", "NOWHERE", 18, 1},     // the ZIP's places
      {"CA", "9041", "", 43, 0},
      {"CA", "9041X", "", 43, 0},
      {"CA", "90410-12X", "", 43, 0},
  };
  for (const Case& c : cases) {
    ZipRequest r(c.state, c.zip, c.city);
    EXPECT_EQ(zip_lookup(master, &r.z), c.code) << c.state << "/" << c.zip << "/" << c.city;
    EXPECT_EQ(r.z.ZipCmplCd, c.code);
    EXPECT_EQ(zip_count_candidates(&r.z), c.count) << c.state << "/" << c.zip << "/" << c.city;
  }
}

TEST_F(AvpZipLookup, FillsEntriesBlankPadded) {
  ZipRequest r("CA", "90412", "");
  ASSERT_EQ(zip_lookup(master, &r.z), 29);
  const auto text = [](const ZipEntry& e) { return std::string(reinterpret_cast<const char*>(&e), sizeof e); };
  // state, zip, 5 reserved, geo, 8 reserved, city, county code and name, indicator
  EXPECT_EQ(text(r.z.entry[0]), "CA90412     00        SAN ALBERO                037LORENA                    I");
  EXPECT_EQ(text(r.z.entry[1]), "CA90412     01        SAN ALBERO                059MARISOL                   I");
  // The list ends at a blank entry; nothing after it keeps the caller's zeros.
  EXPECT_EQ(std::string(r.z.entry[2].state, 2), "  ");
  EXPECT_EQ(r.z.entry[299].indicator, ' ');
}

TEST_F(AvpZipLookup, RangeRowsReportTheRequestedZipOrTheLowEnd) {
  ZipRequest by_zip("CA", "90433", "");
  ASSERT_EQ(zip_lookup(master, &by_zip.z), 0);
  EXPECT_EQ(std::string(by_zip.z.entry[0].zip, 5), "90433");
  ZipRequest by_city("CA", "", "PORTO CALMA");
  ASSERT_EQ(zip_lookup(master, &by_city.z), 0);
  EXPECT_EQ(std::string(by_city.z.entry[0].zip, 5), "90430");
}

TEST_F(AvpZipLookup, ReadsTheRequestFieldsOnlyWithinTheirWidths) {
  ZipRequest r("NY", "12810", "");
  // City field full to its 29 bytes without a terminator, ZIP full to 9.
  std::memset(r.z.city, 'Q', sizeof r.z.city);
  std::memcpy(r.z.zip, "12810-123", 9);
  EXPECT_EQ(zip_lookup(master, &r.z), 18);  // no such city: the ZIP's place
  EXPECT_EQ(zip_count_candidates(&r.z), 1);
}

TEST(AvpZipForce, AddsGeneratedCandidatesUpTo300) {
  ZipRequest r("CA", "90412", "X");
  zip_blank_table(&r.z);
  EXPECT_EQ(zip_force_candidates(&r.z, 500), 0);
  EXPECT_EQ(zip_count_candidates(&r.z), 300);
  EXPECT_EQ(entry_text(r.z.entry[0].city, 26), "CANDIDATE 001");
  EXPECT_EQ(entry_text(r.z.entry[299].city, 26), "CANDIDATE 300");
  EXPECT_EQ(std::string(r.z.entry[299].state, 2), "CA");
  EXPECT_EQ(std::string(r.z.entry[299].zip, 5), "90412");
  EXPECT_EQ(std::string(r.z.entry[123].geo, 2), "23");
  EXPECT_EQ(zip_force_candidates(&r.z, 3), 300);
  EXPECT_EQ(zip_count_candidates(&r.z), 3);
  EXPECT_EQ(zip_force_candidates(&r.z, -4), 3);
  EXPECT_EQ(zip_count_candidates(&r.z), 0);
}

TEST_F(AvpZipLookup, ForcedCandidatesKeepTheRealMatchesFirst) {
  ZipRequest r("CA", "90412", "");
  zip_lookup(master, &r.z);
  EXPECT_EQ(zip_force_candidates(&r.z, 4), 2);
  EXPECT_EQ(entry_text(r.z.entry[1].county_name, 26), "MARISOL");
  EXPECT_EQ(entry_text(r.z.entry[2].city, 26), "CANDIDATE 003");
  EXPECT_EQ(zip_count_candidates(&r.z), 4);
}

}  // namespace
}  // namespace avp_standin

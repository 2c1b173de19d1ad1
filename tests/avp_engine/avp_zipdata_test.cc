#include "avp_zipdata.h"

#include <gtest/gtest.h>

#include "avp_engine_support.h"

namespace avp_standin {
namespace {

const std::string kData = AVP_DATA_DIR;

TEST(AvpZipData, FindsByEveryCriterion) {
  ZipMaster m;
  std::string error;
  ASSERT_TRUE(m.parse("CA|90412|SAN ALBERO|037|LORENA|00|I\n"
                      "CA|90412|san  albero|059|MARISOL|01|I\n"
                      "CA|90430-90434|PORTO CALMA|059|MARISOL|00|o\n"
                      "NY|90412|ELSEWHERE|001|KESTREL|00|I\n",
                      &error))
      << error;
  EXPECT_EQ(m.find("CA", 90412, "", "").size(), 2u);
  EXPECT_EQ(m.find("CA", 90412, "SAN ALBERO", "01").size(), 1u);
  EXPECT_EQ(m.find("CA", -1, "SAN ALBERO", "").size(), 2u);
  EXPECT_EQ(m.find("CA", 90433, "", "").size(), 1u);
  EXPECT_EQ(m.find("CA", 90435, "", "").size(), 0u);
  EXPECT_EQ(m.find("NY", 90412, "", "").size(), 1u);
  EXPECT_EQ(m.find_zip_any_state(90412).size(), 3u);
  const ZipRow* r = m.find("CA", 90430, "", "")[0];
  EXPECT_EQ(r->zip_lo, 90430);
  EXPECT_EQ(r->zip_hi, 90434);
  EXPECT_EQ(r->indicator, 'O');
  EXPECT_EQ(m.find("CA", 90412, "", "01")[0]->city, "SAN ALBERO");
}

TEST(AvpZipData, RefusesMalformedLinesWithTheirNumber) {
  const char* bad[] = {
      "CA|90412|CITY|037|COUNTY|00",              // six fields
      "C1|90412|CITY|037|COUNTY|00|I",            // state
      "CA|9041|CITY|037|COUNTY|00|I",             // short ZIP
      "CA|90420-90410|CITY|037|COUNTY|00|I",      // reversed range
      "CA|90410-9042x|CITY|037|COUNTY|00|I",      // range end
      "CA|90412||037|COUNTY|00|I",                // no city
      "CA|90412|ABCDEFGHIJKLMNOPQRSTUVWXYZA|037|COUNTY|00|I",  // 27 characters
      "CA|90412|CITY|37|COUNTY|00|I",             // county code
      "CA|90412|CITY|037||00|I",                  // county name
      "CA|90412|CITY|037|COUNTY|0|I",             // geo
      "CA|90412|CITY|037|COUNTY|00|X",            // indicator
  };
  for (const char* line : bad) {
    ZipMaster m;
    std::string error;
    EXPECT_FALSE(m.parse(std::string("# header\n") + line + "\n", &error)) << line;
    EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    EXPECT_EQ(m.size(), 0u);
  }
}

TEST(AvpZipData, AFailedParseKeepsTheRowsItHad) {
  ZipMaster m;
  std::string error;
  ASSERT_TRUE(m.parse("CA|90412|CITY|037|COUNTY|00|I\n", &error));
  EXPECT_FALSE(m.parse("garbage\n", &error));
  EXPECT_FALSE(m.parse("# only comments\n\n", &error));
  EXPECT_EQ(m.size(), 1u);
}

TEST(AvpZipData, LoadReportsMissingAndNonRegularFiles) {
  avp_test::TempDir dir;
  ZipMaster m;
  std::string error;
  EXPECT_FALSE(m.load(dir.at("absent"), &error));
  EXPECT_NE(error.find("absent"), std::string::npos);
  EXPECT_FALSE(m.load(dir.path(), &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  EXPECT_FALSE(m.load("", &error));
}

TEST(AvpZipData, BinaryGarbageNeverCrashes) {
  std::string text;
  unsigned seed = 7;
  for (int round = 0; round < 200; ++round) {
    text.clear();
    for (int i = 0; i < 300; ++i) {
      seed = seed * 1103515245u + 12345u;
      text.push_back(static_cast<char>((seed >> 16) & 0xff));
      if (i % 37 == 0) text += "|";
    }
    ZipMaster m;
    std::string error;
    EXPECT_FALSE(m.parse(text, &error));
  }
}

}  // namespace
}  // namespace avp_standin

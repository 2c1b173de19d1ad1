#include "vtx_rate_db.h"

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

// The calculation tests cover the sample's rates; a district owned by its
// county is read nowhere else.
TEST(VtxRateDb, DistrictOwners) {
  std::vector<vtx::Record> records;
  ASSERT_EQ(vtx::read_data_file(vtx_test::sample("rate.dat"), "rate", nullptr, nullptr, &records),
            vtx::DataStatus::kOk);
  vtx::RateDb db;
  ASSERT_TRUE(db.load(records));
  EXPECT_EQ(db.district(110010100)->owner, vtx::kOwnerCity);
  EXPECT_EQ(db.district(230110200)->owner, vtx::kOwnerCounty);
  EXPECT_EQ(db.addtl(230110100, vtx::kAddtlDistrict)->owner, vtx::kOwnerOwn);
}

TEST(VtxRateDb, MalformedRecordsRefuseTheWholeFile) {
  const std::vector<vtx::Record> bad[] = {
      {{"STATE", "11", "0.05", "D"}},
      {{"STATE", "11", "0.05", "X", "D"}},
      {{"STATE", "11", "1.5", "D", "D"}},
      {{"STATE", "11", "-0.1", "D", "D"}},
      {{"STATE", "11", "abc", "D", "D"}},
      {{"STATE", "11", "0.05", "D", "D"}, {"STATE", "11", "0.05", "D", "D"}},
      {{"COUNTY", "1100", "0.01"}},
      {{"CITY", "11001010x", "0.01"}},
      {{"DISTRICT", "110010100", "0.01"}},
      {{"DISTRICT", "110010100", "0.01", "MAYOR"}},
      {{"ADDTL", "110010100", "TOWN", "0.01"}},
      {{"ADDTL", "110010100", "DISTRICT", "0.01"}},
      {{"ADDTL", "110010100", "CITY", "0.01", "CITY"}},
      {{"ADDTL", "110010100", "CITY", "0.01"}, {"ADDTL", "110010100", "CITY", "0.02"}},
      {{"RATE", "1"}},
  };
  for (const auto& records : bad) {
    vtx::RateDb db;
    EXPECT_FALSE(db.load(records)) << records[0][0] << " " << records[0][1];
    EXPECT_EQ(db.state(11), nullptr);
  }
}

}  // namespace

#include "vtx_tdm_db.h"

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

vtx::TdmDb sample_tdm() {
  std::vector<vtx::Record> records;
  EXPECT_EQ(vtx::read_data_file(vtx_test::sample("tdm.dat"), "tdm", nullptr, nullptr, &records),
            vtx::DataStatus::kOk);
  vtx::TdmDb db;
  EXPECT_TRUE(db.load(records));
  return db;
}

TEST(VtxTdmDb, ProductPortionsAndExemptCustomers) {
  vtx::TdmDb db = sample_tdm();
  struct Case {
    const char* code;
    const char* state;
    double portion;
  } cases[] = {
      {"FOOD-01", "BR", 0.0},  {"FOOD-01", "HV", 0.5}, {"FOOD-01   ", "hv", 0.5},
      {"CLOTH-02", "BR", 0.0}, {"CLOTH-02", "TQ", 1.0}, {"MED-07", "TQ", 0.0},
      {"food-01", "BR", 1.0},  {"", "BR", 1.0},         {"WIDGET", "BR", 1.0},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(db.product_portion(c.code, c.state), c.portion) << c.code << c.state;
  EXPECT_TRUE(db.customer_exempt("EXEMPT-ORG", "BR"));
  EXPECT_TRUE(db.customer_exempt("GOV-HV  ", "HV"));
  EXPECT_FALSE(db.customer_exempt("GOV-HV", "BR"));
  EXPECT_FALSE(db.customer_exempt("", "HV"));
}

TEST(VtxTdmDb, MalformedRecordsRefuseTheWholeFile) {
  const std::vector<vtx::Record> bad[] = {
      {{"PRODUCT", "X", "BR"}},
      {{"PRODUCT", "", "BR", "EXEMPT"}},
      {{"PRODUCT", "X", "BRR", "EXEMPT"}},
      {{"PRODUCT", "X", "BR", "1.5"}},
      {{"PRODUCT", "X", "BR", "half"}},
      {{"PRODUCT", "X", "BR", "EXEMPT"}, {"PRODUCT", "X", "br", "TAXABLE"}},
      {{"CUSTOMER", "C", "*", "TAXABLE"}},
      {{"SERVICE", "C", "*", "EXEMPT"}},
  };
  for (const auto& records : bad) {
    vtx::TdmDb db;
    EXPECT_FALSE(db.load(records)) << records[0][0] << " " << records[0][1];
  }
}

}  // namespace

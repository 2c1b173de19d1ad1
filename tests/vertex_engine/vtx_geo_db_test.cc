#include "vtx_geo_db.h"

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx::DataStatus;

vtx::GeoDb sample_geo() {
  std::vector<vtx::Record> records;
  EXPECT_EQ(vtx::read_data_file(vtx_test::sample("location.dat"), "location", nullptr, nullptr,
                                &records),
            DataStatus::kOk);
  vtx::GeoDb db;
  EXPECT_TRUE(db.load(records));
  return db;
}

std::vector<std::string> cities(const vtx::GeoDb& db, const std::vector<std::size_t>& idx) {
  std::vector<std::string> out;
  for (std::size_t i : idx) {
    const vtx::GeoPlace* p = db.place_at(i);
    out.push_back(p->city + "/" + std::to_string(p->geo));
  }
  return out;
}

TEST(VtxGeoDb, LookupsByCode) {
  vtx::GeoDb db = sample_geo();
  ASSERT_NE(db.place(110010100), nullptr);
  EXPECT_EQ(db.place(110010100)->city, "Millbrook");
  EXPECT_EQ(db.state(11)->abbr, "BR");
  EXPECT_EQ(db.county(11003)->name, "Harrow County");
  EXPECT_EQ(db.place(770000001), nullptr);
}

TEST(VtxGeoDb, SearchByStateCityAndZip) {
  vtx::GeoDb db = sample_geo();
  struct Case {
    const char* state;
    const char* city;
    const char* zip;
    bool prefix;
    std::vector<std::string> want;
  } cases[] = {
      {"BR", "Millbrook", "", false,
       {"Millbrook/110010100", "Millbrook/110010000", "Millbrook/110030200"}},
      {"BR", "millbrook", "61020", false, {"Millbrook/110010100", "Millbrook/110010000"}},
      {"", "Millbrook", "", false,
       {"Millbrook/110010100", "Millbrook/110010000", "Millbrook/110030200",
        "Millbrook/460230200"}},
      {"TQ", "Millbrook", "", false, {"Millbrook/460230200"}},
      {"HV", "", "83001", false, {"Halvern City/230110100"}},
      {"HV", "Brack*", "", false, {"Brackenfield/230110200", "Brackenfield/230110000"}},
      {"HV", "Brack", "", false, {}},
      {"HV", "Brack", "", true, {"Brackenfield/230110200", "Brackenfield/230110000"}},
      {"", "", "8310*", false, {"Lisk/230130100"}},  // once, though both ZIPs match
      {"ZZ", "Millbrook", "", false, {}},
      {"BR", "Millbrook", "99999", false, {}},
  };
  for (const Case& c : cases) {
    vtx::GeoCriteria crit{c.state, c.city, c.zip, c.prefix};
    EXPECT_EQ(cities(db, db.search(crit)), c.want) << c.state << "/" << c.city << "/" << c.zip;
  }
}

TEST(VtxGeoDb, MalformedRecordsRefuseTheWholeFile) {
  const std::vector<vtx::Record> base = {{"STATE", "11", "BR", "Brenmark"},
                                         {"COUNTY", "11001", "Alder County"}};
  const std::vector<vtx::Record> bad[] = {
      {{"STATE", "1", "BR", "x"}},
      {{"STATE", "11", "BRR", "x"}},
      {{"STATE", "11", "BR", ""}},
      {{"STATE", "11", "BR", "dup"}},
      {{"COUNTY", "12001", "no state"}},
      {{"COUNTY", "11001", "dup"}},
      {{"PLACE", "110020100", "no county", "61000"}},
      {{"PLACE", "11001010", "short geo", "61000"}},
      {{"PLACE", "110010100", "zip too long", "12345678901"}},
      {{"PLACE", "110010100", "x", "1"}, {"PLACE", "110010100", "dup", "2"}},
      {{"PLACE", "110010100", "missing zips"}},
      {{"TOWN", "x"}},
  };
  for (const auto& extra : bad) {
    std::vector<vtx::Record> records = base;
    records.insert(records.end(), extra.begin(), extra.end());
    vtx::GeoDb db;
    EXPECT_FALSE(db.load(records)) << extra[0][0] << " " << extra[0][1];
    EXPECT_EQ(db.place_count(), 0u);
  }
  std::vector<vtx::Record> good = base;
  good.push_back({"PLACE", "110010100", "Millbrook", ""});
  vtx::GeoDb db;
  EXPECT_TRUE(db.load(good));
  EXPECT_EQ(db.place_count(), 1u);
}

}  // namespace

// vtx_rate_db: the rate database of the stand-in engine.
//
// Rates per state, county, city, district and additional locality, with the
// states' sourcing rules, loaded from a "rate" data file (README.md).
// Immutable once loaded, shared through a shared_ptr like vtx_geo_db.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "vtx_data_file.h"

namespace vtx {

// Owners of a district (the values the district reads report).
enum { kOwnerNone = 0, kOwnerCity = 1, kOwnerCounty = 2, kOwnerOwn = 3 };
// Kinds of additional locality, numbered as VstGetLineLocalAddtl's.
enum { kAddtlCounty = 0, kAddtlCity = 1, kAddtlDistrict = 2 };

struct RateEntry {
  bool has_rate = false;  // false: on file, but without a rate (status 22)
  double rate = 0.0;
  int owner = kOwnerNone;  // districts only
};

struct StateRate {
  RateEntry entry;
  char sourcing = 'D';        // D, O or A
  char addtl_sourcing = 'D';  // the same for the additional localities
};

class RateDb {
 public:
  // False for a record it does not understand (the database stays empty).
  bool load(const std::vector<Record>& records);

  const StateRate* state(int code) const;
  const RateEntry* county(int county_key) const;
  const RateEntry* city(long long geo) const;
  const RateEntry* district(long long geo) const;
  const RateEntry* addtl(long long geo, int kind) const;

 private:
  std::map<int, StateRate> states_;
  std::map<int, RateEntry> counties_;
  std::map<long long, RateEntry> cities_;
  std::map<long long, RateEntry> districts_;
  std::map<std::pair<long long, int>, RateEntry> addtl_;
};

}  // namespace vtx

#include "vtx_rate_db.h"

#include "vtx_text.h"

namespace vtx {

namespace {

// An empty rate is allowed (on file without a rate); otherwise 0 <= r <= 1.
bool parse_rate(std::string_view s, RateEntry* e) {
  if (s.empty()) {
    e->has_rate = false;
    return true;
  }
  double r = 0.0;
  if (!parse_double(s, &r) || r < 0.0 || r > 1.0) return false;
  e->has_rate = true;
  e->rate = r;
  return true;
}

bool parse_sourcing(std::string_view s, char* out) {
  if (s != "D" && s != "O" && s != "A") return false;
  *out = s[0];
  return true;
}

bool parse_owner(std::string_view s, int* out) {
  if (s == "CITY") *out = kOwnerCity;
  else if (s == "COUNTY") *out = kOwnerCounty;
  else if (s == "OWN") *out = kOwnerOwn;
  else return false;
  return true;
}

bool parse_digits(std::string_view s, std::size_t n, long long* out) {
  long long v = 0;
  if (s.size() != n) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

template <class Map, class Key>
bool insert_new(Map& m, const Key& k, const RateEntry& e) {
  return m.emplace(k, e).second;
}

}  // namespace

bool RateDb::load(const std::vector<Record>& records) {
  RateDb db;
  for (const Record& r : records) {
    const std::string& kind = r[0];
    long long key = 0;
    RateEntry e;
    if (kind == "STATE") {
      StateRate s;
      if (r.size() != 5 || !parse_digits(r[1], 2, &key) || !parse_rate(r[2], &s.entry) ||
          !parse_sourcing(r[3], &s.sourcing) || !parse_sourcing(r[4], &s.addtl_sourcing) ||
          !db.states_.emplace(static_cast<int>(key), s).second)
        return false;
    } else if (kind == "COUNTY") {
      if (r.size() != 3 || !parse_digits(r[1], 5, &key) || !parse_rate(r[2], &e) ||
          !insert_new(db.counties_, static_cast<int>(key), e))
        return false;
    } else if (kind == "CITY") {
      if (r.size() != 3 || !parse_geo(r[1], &key) || !parse_rate(r[2], &e) ||
          !insert_new(db.cities_, key, e))
        return false;
    } else if (kind == "DISTRICT") {
      if (r.size() != 4 || !parse_geo(r[1], &key) || !parse_rate(r[2], &e) ||
          !parse_owner(r[3], &e.owner) || !insert_new(db.districts_, key, e))
        return false;
    } else if (kind == "ADDTL") {
      int which = 0;
      if (r.size() < 4 || r.size() > 5 || !parse_geo(r[1], &key)) return false;
      if (r[2] == "COUNTY") which = kAddtlCounty;
      else if (r[2] == "CITY") which = kAddtlCity;
      else if (r[2] == "DISTRICT") which = kAddtlDistrict;
      else return false;
      if (!parse_rate(r[3], &e)) return false;
      // Only a district has an owner, and it must have one.
      if ((which == kAddtlDistrict) != (r.size() == 5)) return false;
      if (r.size() == 5 && !parse_owner(r[4], &e.owner)) return false;
      if (!insert_new(db.addtl_, std::make_pair(key, which), e)) return false;
    } else {
      return false;
    }
  }
  *this = std::move(db);
  return true;
}

const StateRate* RateDb::state(int code) const {
  auto it = states_.find(code);
  return it == states_.end() ? nullptr : &it->second;
}

const RateEntry* RateDb::county(int county_key) const {
  auto it = counties_.find(county_key);
  return it == counties_.end() ? nullptr : &it->second;
}

const RateEntry* RateDb::city(long long geo) const {
  auto it = cities_.find(geo);
  return it == cities_.end() ? nullptr : &it->second;
}

const RateEntry* RateDb::district(long long geo) const {
  auto it = districts_.find(geo);
  return it == districts_.end() ? nullptr : &it->second;
}

const RateEntry* RateDb::addtl(long long geo, int kind) const {
  auto it = addtl_.find(std::make_pair(geo, kind));
  return it == addtl_.end() ? nullptr : &it->second;
}

}  // namespace vtx

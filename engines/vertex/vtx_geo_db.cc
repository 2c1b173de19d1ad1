#include "vtx_geo_db.h"

#include "vtx_text.h"

namespace vtx {

namespace {

constexpr std::size_t kMaxName = 64;
constexpr std::size_t kMaxZip = 10;

bool name_ok(std::string_view s) { return !s.empty() && s.size() <= kMaxName; }

bool parse_code(std::string_view s, std::size_t digits, int* out) {
  if (s.size() != digits) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// Matches `want` against `have`: equal ignoring case, or a prefix when
// `prefix` is set or `want` ends in '*'.
bool text_matches(std::string_view want, std::string_view have, bool prefix) {
  want = trim(want);
  if (want.empty()) return true;
  if (want.back() == '*') {
    want.remove_suffix(1);
    prefix = true;
  }
  return prefix ? istarts_with(have, want) : iequals(have, want);
}

}  // namespace

bool GeoDb::load(const std::vector<Record>& records) {
  GeoDb db;
  for (const Record& r : records) {
    if (r[0] == "STATE") {
      GeoState s;
      if (r.size() != 4 || !parse_code(r[1], 2, &s.code) || s.code < 10 ||
          r[2].size() != 2 || !name_ok(r[3]) || db.states_.count(s.code) != 0)
        return false;
      s.abbr = to_upper(r[2]);
      s.name = r[3];
      db.states_[s.code] = s;
    } else if (r[0] == "COUNTY") {
      GeoCounty c;
      if (r.size() != 3 || !parse_code(r[1], 5, &c.key) || !name_ok(r[2]) ||
          db.states_.count(c.key / 1000) == 0 || db.counties_.count(c.key) != 0)
        return false;
      c.name = r[2];
      db.counties_[c.key] = c;
    } else if (r[0] == "PLACE") {
      GeoPlace p;
      if (r.size() != 4 || !parse_geo(r[1], &p.geo) || !name_ok(r[2]) ||
          db.counties_.count(geo_county_key(p.geo)) == 0 || db.by_geo_.count(p.geo) != 0)
        return false;
      p.city = r[2];
      for (std::string_view z : split_fields(r[3], ' ')) {
        if (z.empty()) continue;
        if (z.size() > kMaxZip) return false;
        p.zips.emplace_back(z);
      }
      db.by_geo_[p.geo] = db.places_.size();
      db.places_.push_back(std::move(p));
    } else {
      return false;
    }
  }
  *this = std::move(db);
  return true;
}

const GeoPlace* GeoDb::place(long long geo) const {
  auto it = by_geo_.find(geo);
  return it == by_geo_.end() ? nullptr : &places_[it->second];
}

const GeoPlace* GeoDb::place_at(std::size_t index) const {
  return index < places_.size() ? &places_[index] : nullptr;
}

const GeoState* GeoDb::state(int code) const {
  auto it = states_.find(code);
  return it == states_.end() ? nullptr : &it->second;
}

const GeoCounty* GeoDb::county(int key) const {
  auto it = counties_.find(key);
  return it == counties_.end() ? nullptr : &it->second;
}

std::vector<std::size_t> GeoDb::search(const GeoCriteria& c) const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < places_.size(); ++i) {
    const GeoPlace& p = places_[i];
    const GeoState* s = state(geo_state(p.geo));
    if (s == nullptr || !text_matches(c.state, s->abbr, false)) continue;
    if (!text_matches(c.city, p.city, c.city_prefix)) continue;
    if (!trim(c.zip).empty()) {
      bool any = false;
      for (const std::string& z : p.zips) any = any || text_matches(c.zip, z, false);
      if (!any) continue;
    }
    out.push_back(i);
  }
  return out;
}

}  // namespace vtx

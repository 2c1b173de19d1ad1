// vtx_geo_db: the location database of the stand-in engine.
//
// States, counties and places (one place = one location, with its nine-digit
// geo code SSCCCPPPP and its ZIP codes), loaded from a "location" data file
// (README.md). Immutable once loaded; the libraries share one loaded
// database between a connection and the searches and location handles made
// from it through a shared_ptr, so closing a connection never pulls data
// from under a search.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "vtx_data_file.h"

namespace vtx {

// Parts of a geo code.
inline int geo_state(long long geo) { return static_cast<int>(geo / 10000000); }
inline int geo_county(long long geo) { return static_cast<int>((geo / 10000) % 1000); }
inline int geo_place(long long geo) { return static_cast<int>(geo % 10000); }
inline int geo_county_key(long long geo) { return static_cast<int>(geo / 10000); }

struct GeoState {
  int code = 0;
  std::string abbr;
  std::string name;
};

struct GeoCounty {
  int key = 0;  // SSCCC
  std::string name;
};

struct GeoPlace {
  long long geo = 0;
  std::string city;
  std::vector<std::string> zips;
};

// What an address search asks for; empty members match everything. A
// trailing '*' makes city or zip a prefix; `city_prefix` makes the city a
// prefix in any case.
struct GeoCriteria {
  std::string state;
  std::string city;
  std::string zip;
  bool city_prefix = false;
};

class GeoDb {
 public:
  // False for a record it does not understand (the database stays empty).
  bool load(const std::vector<Record>& records);

  const GeoPlace* place(long long geo) const;
  const GeoPlace* place_at(std::size_t index) const;
  const GeoState* state(int code) const;
  const GeoCounty* county(int key) const;
  std::size_t place_count() const { return places_.size(); }

  // Indices (place_at) of the places that match, in file order.
  std::vector<std::size_t> search(const GeoCriteria& c) const;

 private:
  std::map<int, GeoState> states_;
  std::map<int, GeoCounty> counties_;
  std::vector<GeoPlace> places_;
  std::map<long long, std::size_t> by_geo_;
};

}  // namespace vtx

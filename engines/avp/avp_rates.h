// avp_rates: the rate data of the stand-in tax engine (file named by AVPIN).
//
// Each row gives the rate of one tax level (0 to 7) for the places it
// matches: a state (or every state), optionally narrowed to a county, a city
// and a geo code. For a place, each level takes the rate of its narrowest
// matching row. The format is described in engines/avp/README.md.
#pragma once

#include <string>
#include <vector>

#include "avp_zipdata.h"

namespace avp_standin {

constexpr int kLevels = 8;

struct RateRow {
  int level = 0;
  std::string state;   // two letters or "*"
  std::string county;  // three digits or "*"
  std::string city;    // folded city name or "*"
  std::string geo;     // two digits or "*"
  double rate = 0;     // 0 <= rate < 1
  std::string name;
};

// The rate of one level for one place; `row` is null when no row matched
// (the level is then not taxed there).
struct LevelRate {
  double rate = 0;
  const RateRow* row = nullptr;
};

class RateTable {
 public:
  // Same failure contract as ZipMaster::load.
  bool load(const std::string& path, std::string* error);
  bool parse(const std::string& text, std::string* error);

  // A row naming a city applies only to a place inside the city limits.
  LevelRate rate_for(int level, const ZipRow& place) const;

  std::size_t size() const { return rows_.size(); }

 private:
  std::vector<RateRow> rows_;
};

}  // namespace avp_standin

#include "avp_rates.h"

#include "avp_data_file.h"
#include "avp_text.h"

namespace avp_standin {

namespace {

bool parse_row(const std::string& line, RateRow* row, std::string* why) {
  std::vector<std::string> f = split_trim(line, '|');
  if (f.size() != 7) {
    *why = "expected 7 fields";
    return false;
  }
  long level = 0;
  if (!parse_long(f[0], 0, kLevels - 1, &level)) {
    *why = "level must be 0 to 7";
    return false;
  }
  row->level = static_cast<int>(level);
  row->state = fold(f[1]);
  if (row->state != "*" && !all_letters(row->state, 2)) {
    *why = "state must be two letters or *";
    return false;
  }
  row->county = f[2];
  if (row->county != "*" && !all_digits(row->county, 3)) {
    *why = "county must be three digits or *";
    return false;
  }
  row->city = fold(f[3]);
  if (row->city.empty() || row->city.size() > 26) {
    *why = "city must be a name of at most 26 characters or *";
    return false;
  }
  row->geo = f[4];
  if (row->geo != "*" && !all_digits(row->geo, 2)) {
    *why = "geo code must be two digits or *";
    return false;
  }
  if (!parse_double(f[5], &row->rate) || row->rate < 0 || row->rate >= 1) {
    *why = "rate must be a number from 0 up to 1";
    return false;
  }
  row->name = f[6];
  return true;
}

bool matches(const std::string& pattern, const std::string& value) {
  return pattern == "*" || pattern == value;
}

}  // namespace

bool RateTable::load(const std::string& path, std::string* error) {
  return load_data_file(
      path, [this](const std::string& text, std::string* e) { return parse(text, e); }, error);
}

bool RateTable::parse(const std::string& text, std::string* error) {
  std::vector<RateRow> rows;
  if (!parse_data_rows(text, parse_row, &rows, error)) return false;
  if (rows.empty()) {
    *error = "no rate rows";
    return false;
  }
  rows_ = std::move(rows);
  return true;
}

LevelRate RateTable::rate_for(int level, const ZipRow& place) const {
  LevelRate best;
  int best_score = -1;
  for (const RateRow& r : rows_) {
    if (r.level != level) continue;
    if (!matches(r.state, place.state) || !matches(r.county, place.county_code) ||
        !matches(r.city, place.city) || !matches(r.geo, place.geo))
      continue;
    if (r.city != "*" && place.indicator == 'O') continue;
    int score = (r.state != "*") + (r.county != "*") + (r.city != "*") + (r.geo != "*");
    // Of equally narrow rows the first wins.
    if (score > best_score) {
      best_score = score;
      best.rate = r.rate;
      best.row = &r;
    }
  }
  return best;
}

}  // namespace avp_standin

#include "avp_zipdata.h"

#include "avp_data_file.h"
#include "avp_text.h"

namespace avp_standin {

namespace {

// "12345" or "12300-12399".
bool parse_zip_range(const std::string& text, int* lo, int* hi) {
  long a = 0, b = 0;
  std::size_t dash = text.find('-');
  if (dash == std::string::npos) {
    if (!all_digits(text, 5) || !parse_long(text, 0, 99999, &a)) return false;
    *lo = *hi = static_cast<int>(a);
    return true;
  }
  std::string l = text.substr(0, dash), h = text.substr(dash + 1);
  if (!all_digits(l, 5) || !all_digits(h, 5)) return false;
  if (!parse_long(l, 0, 99999, &a) || !parse_long(h, 0, 99999, &b) || a > b) return false;
  *lo = static_cast<int>(a);
  *hi = static_cast<int>(b);
  return true;
}

bool parse_row(const std::string& line, ZipRow* row, std::string* why) {
  std::vector<std::string> f = split_trim(line, '|');
  if (f.size() != 7) {
    *why = "expected 7 fields";
    return false;
  }
  row->state = fold(f[0]);
  if (!all_letters(row->state, 2)) {
    *why = "state must be two letters";
    return false;
  }
  if (!parse_zip_range(f[1], &row->zip_lo, &row->zip_hi)) {
    *why = "ZIP must be five digits or a range of two";
    return false;
  }
  row->city = fold(f[2]);
  if (row->city.empty() || row->city.size() > 26) {
    *why = "city must have 1 to 26 characters";
    return false;
  }
  row->county_code = f[3];
  if (!all_digits(row->county_code, 3)) {
    *why = "county code must be three digits";
    return false;
  }
  row->county_name = fold(f[4]);
  if (row->county_name.empty() || row->county_name.size() > 26) {
    *why = "county name must have 1 to 26 characters";
    return false;
  }
  row->geo = f[5];
  if (!all_digits(row->geo, 2)) {
    *why = "geo code must be two digits";
    return false;
  }
  std::string ind = fold(f[6]);
  if (ind != "I" && ind != "O") {
    *why = "indicator must be I or O";
    return false;
  }
  row->indicator = ind[0];
  return true;
}

}  // namespace

bool ZipMaster::load(const std::string& path, std::string* error) {
  return load_data_file(
      path, [this](const std::string& text, std::string* e) { return parse(text, e); }, error);
}

bool ZipMaster::parse(const std::string& text, std::string* error) {
  std::vector<ZipRow> rows;
  if (!parse_data_rows(text, parse_row, &rows, error)) return false;
  if (rows.empty()) {
    *error = "no ZIP rows";
    return false;
  }
  rows_ = std::move(rows);
  return true;
}

bool ZipMaster::has_state(const std::string& state) const {
  for (const ZipRow& r : rows_)
    if (r.state == state) return true;
  return false;
}

std::vector<const ZipRow*> ZipMaster::find(const std::string& state, int zip, const std::string& city,
                                           const std::string& geo) const {
  std::vector<const ZipRow*> out;
  for (const ZipRow& r : rows_) {
    if (r.state != state) continue;
    if (zip >= 0 && (zip < r.zip_lo || zip > r.zip_hi)) continue;
    if (!city.empty() && r.city != city) continue;
    if (!geo.empty() && r.geo != geo) continue;
    out.push_back(&r);
  }
  return out;
}

std::vector<const ZipRow*> ZipMaster::find_zip_any_state(int zip) const {
  std::vector<const ZipRow*> out;
  for (const ZipRow& r : rows_)
    if (zip >= r.zip_lo && zip <= r.zip_hi) out.push_back(&r);
  return out;
}

}  // namespace avp_standin

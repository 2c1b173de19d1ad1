#include "avp_zipdata.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "avp_text.h"

namespace avp_standin {

bool read_data_file(const std::string& path, std::string* text, std::string* error) {
  constexpr long kMaxSize = 16L << 20;
  struct stat st;
  if (path.empty()) {
    *error = "no file named";
    return false;
  }
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (st.st_size > kMaxSize) {
    *error = path + ": file too big";
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string out;
  char buf[8192];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out.append(buf, n);
    if (static_cast<long>(out.size()) > kMaxSize) break;
  }
  bool bad = std::ferror(f) != 0 || static_cast<long>(out.size()) > kMaxSize;
  std::fclose(f);
  if (bad) {
    *error = path + ": read error";
    return false;
  }
  *text = std::move(out);
  return true;
}

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
  std::string text;
  if (!read_data_file(path, &text, error)) return false;
  if (!parse(text, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool ZipMaster::parse(const std::string& text, std::string* error) {
  std::vector<ZipRow> rows;
  std::size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    ZipRow row;
    std::string why;
    if (!parse_row(std::string(line), &row, &why)) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    rows.push_back(std::move(row));
  }
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

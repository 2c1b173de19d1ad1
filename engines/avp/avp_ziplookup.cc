#include "avp_ziplookup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avp_text.h"

namespace avp_standin {

namespace {

void fill_entry(ZipEntry* e, const ZipRow& row, int zip) {
  std::memset(e, ' ', sizeof *e);
  char code[8];
  std::snprintf(code, sizeof code, "%05d", zip);
  put_field(e->state, sizeof e->state, row.state);
  put_field(e->zip, sizeof e->zip, code);
  put_field(e->geo, sizeof e->geo, row.geo);
  put_field(e->city, sizeof e->city, row.city);
  put_field(e->county_code, sizeof e->county_code, row.county_code);
  put_field(e->county_name, sizeof e->county_name, row.county_name);
  e->indicator = row.indicator;
}

int fill_table(Zip_Str* zip, const std::vector<const ZipRow*>& rows, int query_zip, int code_one) {
  int n = 0;
  for (const ZipRow* r : rows) {
    if (n == AVP_ZIP_ENTRIES) break;
    fill_entry(&zip->entry[n++], *r, query_zip >= 0 ? query_zip : r->zip_lo);
  }
  if (n == 0) return code_one;
  return n == 1 ? kZipOk : kZipSeveral;
}

// The ZIP of a request: five digits, optionally followed by a ZIP+4 part of
// digits after an optional dash. -1 when absent, -2 when malformed.
int request_zip(const Zip_Str* zip) {
  std::string text = field_text(zip->zip, sizeof zip->zip);
  if (text.empty()) return -1;
  if (text.size() < 5 || !all_digits(text.substr(0, 5), 5)) return -2;
  for (std::size_t i = 5; i < text.size(); ++i) {
    if (text[i] == '-' && i == 5) continue;
    if (text[i] < '0' || text[i] > '9') return -2;
  }
  long v = 0;
  parse_long(text.substr(0, 5), 0, 99999, &v);
  return static_cast<int>(v);
}

}  // namespace

void zip_blank_table(Zip_Str* zip) { std::memset(zip->entry, ' ', sizeof zip->entry); }

int zip_lookup(const ZipMaster& master, Zip_Str* zip) {
  zip_blank_table(zip);
  std::string state = fold(field_text(zip->state, sizeof zip->state));
  std::string city = fold(field_text(zip->city, sizeof zip->city));
  int code = request_zip(zip);
  if (code == -2) return zip->ZipCmplCd = kZipBadInput;
  if (!all_letters(state, 2) || !master.has_state(state)) return zip->ZipCmplCd = kZipBadState;
  if (code < 0 && city.empty()) return zip->ZipCmplCd = kZipNoInput;

  int result;
  if (city.empty()) {
    result = fill_table(zip, master.find(state, code, "", ""), code, -1);
    // A ZIP of another state: report that state's places.
    if (result < 0) result = fill_table(zip, master.find_zip_any_state(code), code, kZipStateZip);
    if (result == kZipOk || result == kZipSeveral) {
      if (fold(field_text(zip->entry[0].state, 2)) != state) result = kZipOtherState;
    }
  } else if (code < 0) {
    result = fill_table(zip, master.find(state, -1, city, ""), -1, kZipStateCity);
  } else {
    result = fill_table(zip, master.find(state, code, city, ""), code, -1);
    if (result < 0) {
      // Not together: offer the city's ZIP codes, else the ZIP's cities.
      result = fill_table(zip, master.find(state, -1, city, ""), -1, -1);
      if (result >= 0) {
        result = kZipCityZips;
      } else {
        result = fill_table(zip, master.find(state, code, "", ""), code, kZipStateZipCity);
        if (result != kZipStateZipCity) result = kZipZipCities;
      }
    }
  }
  return zip->ZipCmplCd = result;
}

int zip_count_candidates(const Zip_Str* zip) {
  int n = 0;
  while (n < AVP_ZIP_ENTRIES && !(zip->entry[n].state[0] == ' ' && zip->entry[n].state[1] == ' ')) ++n;
  return n;
}

int zip_force_candidates(Zip_Str* zip, int count) {
  if (count < 0) count = 0;
  if (count > AVP_ZIP_ENTRIES) count = AVP_ZIP_ENTRIES;
  int found = zip_count_candidates(zip);
  std::string state = fold(field_text(zip->state, sizeof zip->state));
  if (!all_letters(state, 2)) state = "ZZ";
  std::string zipcode = field_text(zip->zip, sizeof zip->zip).substr(0, 5);
  if (!all_digits(zipcode, 5)) zipcode = "00000";
  for (int i = found; i < count; ++i) {
    ZipEntry* e = &zip->entry[i];
    std::memset(e, ' ', sizeof *e);
    char buf[32];
    put_field(e->state, sizeof e->state, state);
    put_field(e->zip, sizeof e->zip, zipcode);
    std::snprintf(buf, sizeof buf, "%02d", i % 100);
    put_field(e->geo, sizeof e->geo, buf);
    std::snprintf(buf, sizeof buf, "CANDIDATE %03d", i + 1);
    put_field(e->city, sizeof e->city, buf);
    std::snprintf(buf, sizeof buf, "%03d", (i + 1) % 1000);
    put_field(e->county_code, sizeof e->county_code, buf);
    put_field(e->county_name, sizeof e->county_name, "GENERATED COUNTY");
    e->indicator = 'I';
  }
  for (int i = count; i < found; ++i) std::memset(&zip->entry[i], ' ', sizeof(ZipEntry));
  return found;
}

}  // namespace avp_standin

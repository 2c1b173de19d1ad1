// avp_zipdata: the ZIP master data of the stand-in engines (file named by
// ZIPIN) and its lookups.
//
// One row per place: state, a ZIP code or ZIP range, city, county, geo code
// and whether the place lies inside the city limits. The format is described
// in engines/avp/README.md. A ZipMaster owns its rows; lookups return
// pointers into it that stay valid until the next load.
#pragma once

#include <string>
#include <vector>

namespace avp_standin {

struct ZipRow {
  std::string state;        // two upper-case letters
  int zip_lo = 0;           // ZIP range, inclusive; a single code has lo == hi
  int zip_hi = 0;
  std::string city;         // folded (upper case), at most 26 characters
  std::string county_code;  // three digits
  std::string county_name;  // at most 26 characters
  std::string geo;          // two digits
  char indicator = 'I';     // 'I' inside the city limits, 'O' outside
};

class ZipMaster {
 public:
  // Reads the whole file. On failure returns false with a one-line reason in
  // *error and keeps the rows it had before.
  bool load(const std::string& path, std::string* error);
  // Parses the text of a master file (same rules as load).
  bool parse(const std::string& text, std::string* error);

  bool has_state(const std::string& state) const;
  // Rows of `state` matching every criterion given: zip < 0 and an empty
  // city or geo mean "any".
  std::vector<const ZipRow*> find(const std::string& state, int zip, const std::string& city,
                                  const std::string& geo) const;
  // Rows of any state whose range holds `zip`.
  std::vector<const ZipRow*> find_zip_any_state(int zip) const;

  std::size_t size() const { return rows_.size(); }

 private:
  std::vector<ZipRow> rows_;
};

}  // namespace avp_standin

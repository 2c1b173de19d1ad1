#include "vtx_tdm_db.h"

#include "vtx_text.h"

namespace vtx {

namespace {

bool state_ok(std::string_view s) { return s == "*" || s.size() == 2; }

}  // namespace

bool TdmDb::load(const std::vector<Record>& records) {
  TdmDb db;
  for (const Record& r : records) {
    if (r.size() != 4 || r[1].empty() || !state_ok(r[2])) return false;
    std::pair<std::string, std::string> key(r[1], to_upper(r[2]));
    if (r[0] == "PRODUCT") {
      double portion = 0.0;
      if (r[3] == "TAXABLE") portion = 1.0;
      else if (r[3] == "EXEMPT") portion = 0.0;
      else if (!parse_double(r[3], &portion) || portion < 0.0 || portion > 1.0) return false;
      if (!db.products_.emplace(key, portion).second) return false;
    } else if (r[0] == "CUSTOMER") {
      if (r[3] != "EXEMPT" || !db.customers_.emplace(key, true).second) return false;
    } else {
      return false;
    }
  }
  *this = std::move(db);
  return true;
}

double TdmDb::product_portion(std::string_view product_code, std::string_view state) const {
  std::string code(trim_trailing_blanks(product_code));
  if (code.empty()) return 1.0;
  auto it = products_.find({code, to_upper(state)});
  if (it == products_.end()) it = products_.find({code, "*"});
  return it == products_.end() ? 1.0 : it->second;
}

bool TdmDb::customer_exempt(std::string_view customer_code, std::string_view state) const {
  std::string code(trim_trailing_blanks(customer_code));
  if (code.empty()) return false;
  return customers_.count({code, to_upper(state)}) != 0 || customers_.count({code, "*"}) != 0;
}

}  // namespace vtx

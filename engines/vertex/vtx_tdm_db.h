// vtx_tdm_db: the taxability (TDM) database of the stand-in engine.
//
// Which products are exempt or partly taxable per state, and which customers
// are exempt, loaded from a "tdm" data file (README.md). Immutable once
// loaded, shared through a shared_ptr like vtx_geo_db.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vtx_data_file.h"

namespace vtx {

class TdmDb {
 public:
  // False for a record it does not understand (the database stays empty).
  bool load(const std::vector<Record>& records);

  // The taxable share (0 to 1) of a product's amount in the state with this
  // abbreviation: its record for the state, else its '*' record, else 1.
  // Trailing blanks of the code do not count.
  double product_portion(std::string_view product_code, std::string_view state) const;
  // True when the customer has an EXEMPT record for the state or for '*'.
  bool customer_exempt(std::string_view customer_code, std::string_view state) const;

 private:
  std::map<std::pair<std::string, std::string>, double> products_;
  std::map<std::pair<std::string, std::string>, bool> customers_;
};

}  // namespace vtx

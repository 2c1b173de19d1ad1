// request_test_util: reading back the request bodies the ERP side's named-
// field builders make (tests/avp/avp_request_test.cc,
// tests/vertex/vertex_request_test.cc). Header only; returns values it owns.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace request_test {

// The fields of a built body, each ended by "~". Whatever follows the last
// "~" is not a field: it goes to *rest (when given), which a sound body
// leaves empty.
inline std::vector<std::string> body_fields(const std::string& body, std::string* rest = nullptr) {
  std::vector<std::string> out;
  std::string cur;
  for (const char c : body) {
    if (c != '~') cur += c;
    else out.push_back(std::exchange(cur, {}));
  }
  if (rest != nullptr) *rest = cur;
  return out;
}

}  // namespace request_test

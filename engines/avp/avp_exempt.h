// avp_exempt: the product exemptions of the stand-in tax engine (file named
// by STEPIN): products that carry no tax in a state, or in every state.
#pragma once

#include <string>
#include <vector>

namespace avp_standin {

class ExemptList {
 public:
  // Same failure contract as ZipMaster::load, except that an empty file is
  // valid (no product is exempt).
  bool load(const std::string& path, std::string* error);
  bool parse(const std::string& text, std::string* error);
  // True when `product` (folded) is exempt in `state`.
  bool exempt(const std::string& state, const std::string& product) const;

 private:
  struct Entry {
    std::string state;    // two letters or "*"
    std::string product;  // folded, at most 28 characters
  };
  std::vector<Entry> entries_;
};

}  // namespace avp_standin

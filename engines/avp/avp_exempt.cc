#include "avp_exempt.h"

#include "avp_data_file.h"
#include "avp_text.h"

namespace avp_standin {

bool ExemptList::load(const std::string& path, std::string* error) {
  return load_data_file(
      path, [this](const std::string& text, std::string* e) { return parse(text, e); }, error);
}

bool ExemptList::parse(const std::string& text, std::string* error) {
  auto parse_entry = [](const std::string& line, Entry* e, std::string* why) {
    std::vector<std::string> f = split_trim(line, '|');
    if (f.size() == 2) {
      e->state = fold(f[0]);
      e->product = fold(f[1]);
    }
    if (f.size() != 2 || (e->state != "*" && !all_letters(e->state, 2)) || e->product.empty() ||
        e->product.size() > 28) {
      *why = "expected STATE|PRODUCT";
      return false;
    }
    return true;
  };
  std::vector<Entry> entries;
  if (!parse_data_rows(text, parse_entry, &entries, error)) return false;
  entries_ = std::move(entries);
  return true;
}

bool ExemptList::exempt(const std::string& state, const std::string& product) const {
  if (product.empty()) return false;
  for (const Entry& e : entries_)
    if ((e.state == "*" || e.state == state) && e.product == product) return true;
  return false;
}

}  // namespace avp_standin

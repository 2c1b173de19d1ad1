#include "avp_exempt.h"

#include "avp_text.h"
#include "avp_zipdata.h"

namespace avp_standin {

bool ExemptList::load(const std::string& path, std::string* error) {
  std::string text;
  if (!read_data_file(path, &text, error)) return false;
  if (!parse(text, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool ExemptList::parse(const std::string& text, std::string* error) {
  std::vector<Entry> entries;
  std::size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = split_trim(line, '|');
    Entry e;
    if (f.size() == 2) {
      e.state = fold(f[0]);
      e.product = fold(f[1]);
    }
    if (f.size() != 2 || (e.state != "*" && !all_letters(e.state, 2)) || e.product.empty() ||
        e.product.size() > 28) {
      *error = "line " + std::to_string(number) + ": expected STATE|PRODUCT";
      return false;
    }
    entries.push_back(std::move(e));
  }
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

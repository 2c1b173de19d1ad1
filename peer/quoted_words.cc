#include "quoted_words.h"

namespace erp {

bool split_words(std::string_view line, std::vector<std::string>* words, std::string* err) {
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      word += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words->push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quoted) {
    *err = "a quote is not closed";
    return false;
  }
  if (in_word) words->push_back(word);
  return true;
}

std::string quote_word(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
  }
  return out + "\"";
}

}  // namespace erp

#include "request_file.h"

#include <fstream>

#include "engine_table.h"
#include "erp_peer.h"
#include "quoted_words.h"

namespace erp {

namespace {

std::string trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// The sub-provider field of a message text when it is 1 or 2, else `fallback`.
int stype_of_message(const std::string& text, int fallback) {
  const std::vector<std::string> f = split_fields(text);
  for (const int stype : {API_STYPE_TAXWARE, API_STYPE_VERTEX}) {
    if (f.size() > 3 && f[3] == std::to_string(stype)) return stype;
  }
  return fallback;
}

// Fills *r from the words of a named or raw line; false with a reason in *err.
bool parse_words(const std::vector<std::string>& words, FileRequest* r, std::string* err) {
  if (words[0] == "raw") {
    r->messages.assign(words.begin() + 1, words.end());
    if (r->messages.empty()) *err = "raw needs a message text";
    return !r->messages.empty();
  }
  const EngineInfo* engine = engine_named(words[0]);
  if (engine == nullptr) {
    *err = "expected avp, vertex, raw or a message text, got '" + words[0] + "'";
    return false;
  }
  if (words.size() < 2) {
    *err = "which request: tax, tax-enh or addr?";
    return false;
  }
  NamedFields fields;
  r->stype = engine->stype;
  r->kind = words[1];
  return parse_named_fields(words, 2, &fields, err) && engine->build(r->kind, fields, &r->body, err);
}

}  // namespace

bool read_request_file(const std::string& path, int default_stype, std::vector<FileRequest>* out,
                       std::vector<std::string>* errors) {
  std::ifstream in(path);
  if (!in) {
    errors->push_back(path + ": cannot be read");
    return false;
  }
  const std::size_t errors_before = errors->size();
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    FileRequest r;
    r.line = number;
    r.text = trimmed(line);
    if (r.text.empty() || r.text[0] == '#') continue;
    std::vector<std::string> words;
    std::string err;
    if (r.text[0] >= '0' && r.text[0] <= '9') {
      r.messages.push_back(r.text);
    } else if (!split_words(r.text, &words, &err) || !parse_words(words, &r, &err)) {
      errors->push_back(path + ":" + std::to_string(number) + ": " + err);
      continue;
    }
    if (!r.messages.empty()) r.stype = stype_of_message(r.messages[0], default_stype);
    out->push_back(std::move(r));
  }
  return errors->size() == errors_before;
}

}  // namespace erp

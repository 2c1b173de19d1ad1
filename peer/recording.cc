#include "recording.h"

#include <fstream>

#include "quoted_words.h"

namespace erp {

namespace {

const std::string* find_value(const RecordBlock& block, const std::string& name) {
  for (const NamedValue& v : block.values) {
    if (v.name == name) return &v.value;
  }
  return nullptr;
}

std::optional<std::string> maybe(const std::string* value) {
  return value != nullptr ? std::optional<std::string>(*value) : std::nullopt;
}

// One "name: word" line into *block, or a reason in *err.
void read_value(const std::string& line, RecordBlock* block, std::string* err) {
  const std::size_t colon = line.find(": ");
  std::vector<std::string> words;
  if (colon == std::string::npos || !split_words(line.substr(colon + 2), &words, err) || words.size() != 1) {
    if (err->empty()) *err = "expected NAME: \"VALUE\"";
    return;
  }
  block->values.push_back({line.substr(0, colon), words[0]});
}

}  // namespace

RecordBlock record_block(const ExchangeReport& r) {
  RecordBlock block{r.request, {}};
  for (std::size_t i = 0; i < r.replies.size(); ++i) {
    for (const NamedValue& v : r.replies[i].values)
      block.values.push_back({std::to_string(i + 1) + "." + v.name, v.value});
  }
  if (!r.problem.empty()) block.values.push_back({"problem", r.problem});
  return block;
}

std::string record_text(const RecordBlock& block) {
  std::string out = "== " + block.request + "\n";
  for (const NamedValue& v : block.values) out += v.name + ": " + quote_word(v.value) + "\n";
  return out + "\n";
}

bool read_record(const std::string& path, std::vector<RecordBlock>* out, std::string* err) {
  std::ifstream in(path);
  if (!in) {
    *err = path + ": cannot be read";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::string why;
    if (line.rfind("== ", 0) == 0) {
      out->push_back({line.substr(3), {}});
    } else if (out->empty()) {
      why = "a value before the first \"== request\" line";
    } else {
      read_value(line, &out->back(), &why);
    }
    if (!why.empty()) {
      *err = path + ":" + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

std::vector<Difference> compare_blocks(const RecordBlock* expected, const RecordBlock* got) {
  if (expected == nullptr || got == nullptr) {
    return {
        {"request", expected ? maybe(&expected->request) : std::nullopt, got ? maybe(&got->request) : std::nullopt}};
  }
  std::vector<Difference> out;
  if (expected->request != got->request) out.push_back({"request", expected->request, got->request});
  for (const NamedValue& v : expected->values) {
    const std::string* now = find_value(*got, v.name);
    if (now == nullptr || *now != v.value) out.push_back({v.name, v.value, maybe(now)});
  }
  for (const NamedValue& v : got->values) {
    if (find_value(*expected, v.name) == nullptr) out.push_back({v.name, std::nullopt, v.value});
  }
  return out;
}

}  // namespace erp

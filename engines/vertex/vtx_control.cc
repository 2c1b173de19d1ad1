#include "vtx_control.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "vtx_text.h"

namespace vtx {

namespace {

// A control file is a handful of lines; anything bigger is cut here.
constexpr std::size_t kMaxControlBytes = 1 << 20;

bool is_ident_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::string_view take_ident(std::string_view* s) {
  std::size_t n = 0;
  while (n < s->size() && is_ident_char((*s)[n])) ++n;
  std::string_view id = s->substr(0, n);
  s->remove_prefix(n);
  *s = trim(*s);
  return id;
}

// A quoted text with \" and \\ escapes; the rest must be blank or a comment.
bool parse_text_value(std::string_view s, std::string* out) {
  std::size_t i = 1;  // after the opening quote
  out->clear();
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      out->push_back(s[++i]);
    } else if (c == '"') {
      std::string_view rest = trim(s.substr(i + 1));
      return rest.empty() || rest.front() == '#';
    } else {
      out->push_back(c);
    }
  }
  return false;  // no closing quote
}

}  // namespace

bool Control::parse_line(std::string_view text, Line* line) {
  std::string_view s = trim(text);
  if (s.empty() || s.front() == '#') return false;
  std::size_t eq = s.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view key = trim(s.substr(0, eq));
  std::string_view value = trim(s.substr(eq + 1));

  std::string_view entry = take_ident(&key);
  if (entry.empty()) return false;
  line->entry = std::string(entry);
  if (!key.empty() && key.front() == '(') {
    std::size_t close = key.find(')');
    if (close == std::string_view::npos) return false;
    if (!parse_long(key.substr(1, close - 1), &line->selector)) return false;
    line->has_selector = true;
    key = trim(key.substr(close + 1));
  }
  if (!key.empty() && key.front() == '@') {
    key = trim(key.substr(1));
    std::size_t n = 0;
    while (n < key.size() && key[n] >= '0' && key[n] <= '9') ++n;
    if (!parse_long(key.substr(0, n), &line->call) || line->call < 1) return false;
    key = trim(key.substr(n));
  }
  if (!key.empty() && key.front() == '.') {
    key = trim(key.substr(1));
    std::string_view field = take_ident(&key);
    if (field.empty()) return false;
    line->field = std::string(field);
  }
  if (!key.empty()) return false;

  ControlValue& v = line->value;
  if (!value.empty() && value.front() == '"') {
    v.kind = ControlValue::kText;
    return parse_text_value(value, &v.text);
  }
  std::size_t hash = value.find('#');
  if (hash != std::string_view::npos) value = trim(value.substr(0, hash));
  if (value == "null") {
    v.kind = ControlValue::kNull;
    return true;
  }
  if (parse_long(value, &v.i)) {
    v.kind = ControlValue::kInt;
    v.d = static_cast<double>(v.i);
    return true;
  }
  if (parse_double(value, &v.d)) {
    v.kind = ControlValue::kReal;
    return true;
  }
  return false;
}

Control Control::parse(std::string_view text) {
  Control c;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view one = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    Line line;
    if (parse_line(one, &line)) c.lines_.push_back(std::move(line));
  }
  return c;
}

Control Control::load(std::string_view entry) {
  static std::map<std::string, long long, std::less<>> calls;
  long long call = 0;
  if (!entry.empty()) {
    auto it = calls.find(entry);
    if (it == calls.end()) it = calls.emplace(std::string(entry), 0).first;
    call = ++it->second;
  }
  Control none;
  none.call_ = call;
  const char* path = std::getenv("VST_STANDIN_CONTROL");
  if (path == nullptr || *path == '\0') return none;
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return none;
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < kMaxControlBytes)
    text.append(buf, n);
  std::fclose(f);
  Control c = parse(text);
  c.call_ = call;
  return c;
}

const ControlValue* Control::find(std::string_view entry, long long selector,
                                  std::string_view field) const {
  const ControlValue* best = nullptr;
  int best_rank = -1;
  for (const Line& l : lines_) {
    if (l.entry != entry || l.field != field) continue;
    if (l.has_selector && (selector == kNoSelector || l.selector != selector)) continue;
    if (l.call != 0 && l.call != call_) continue;
    int rank = (l.has_selector ? 2 : 0) + (l.call != 0 ? 1 : 0);
    if (rank >= best_rank) {
      best = &l.value;
      best_rank = rank;
    }
  }
  return best;
}

bool Control::get_int(std::string_view entry, long long selector,
                      std::string_view field, int* out) const {
  const ControlValue* v = find(entry, selector, field);
  if (v == nullptr) return false;
  if (v->kind == ControlValue::kInt) {
    long long i = v->i;
    *out = i > INT_MAX ? INT_MAX : i < INT_MIN ? INT_MIN : static_cast<int>(i);
    return true;
  }
  if (v->kind == ControlValue::kReal) {
    double d = std::trunc(v->d);
    *out = d >= static_cast<double>(INT_MAX)   ? INT_MAX
           : d <= static_cast<double>(INT_MIN) ? INT_MIN
                                               : static_cast<int>(d);
    return true;
  }
  return false;
}

bool Control::get_real(std::string_view entry, long long selector,
                       std::string_view field, double* out) const {
  const ControlValue* v = find(entry, selector, field);
  if (v == nullptr || (v->kind != ControlValue::kInt && v->kind != ControlValue::kReal))
    return false;
  *out = v->d;
  return true;
}

bool Control::get_text(std::string_view entry, long long selector,
                       std::string_view field, std::string* out) const {
  const ControlValue* v = find(entry, selector, field);
  if (v == nullptr || v->kind != ControlValue::kText) return false;
  *out = v->text;
  return true;
}

bool Control::is_null(std::string_view entry, long long selector,
                      std::string_view field) const {
  const ControlValue* v = find(entry, selector, field);
  return v != nullptr && v->kind == ControlValue::kNull;
}

}  // namespace vtx

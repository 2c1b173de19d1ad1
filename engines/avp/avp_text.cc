#include "avp_text.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace avp_standin {

std::string field_text(const char* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != '\0') ++n;
  std::size_t b = 0;
  while (b < n && field[b] == ' ') ++b;
  while (n > b && field[n - 1] == ' ') --n;
  return std::string(field + b, n - b);
}

std::string fold(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : trim(text)) {
    if (c == ' ' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out.push_back(' ');
    blank = false;
    out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

void put_field(char* field, std::size_t width, std::string_view text) {
  std::size_t n = text.size() < width ? text.size() : width;
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', width - n);
}

std::string_view trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::vector<std::string> split_trim(std::string_view line, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = line.find(sep, start);
    std::string_view piece = line.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
    out.emplace_back(trim(piece));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return out;
}

bool parse_long(std::string_view text, long lo, long hi, long* out) {
  text = trim(text);
  // strtol needs a terminated text; anything longer than a long's digits is
  // out of range anyway.
  if (text.empty() || text.size() > 24) return false;
  char buf[32];
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(buf, &end, 10);
  if (errno != 0 || end != buf + text.size() || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool parse_double(std::string_view text, double* out) {
  text = trim(text);
  if (text.empty() || text.size() > 40) return false;
  char buf[48];
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(buf, &end);
  if (errno != 0 || end != buf + text.size() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool all_digits(std::string_view text, std::size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool all_letters(std::string_view text, std::size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

}  // namespace avp_standin

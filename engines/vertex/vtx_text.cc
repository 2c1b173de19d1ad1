#include "vtx_text.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vtx {

void copy_bounded(char* dst, std::size_t width, std::string_view src) {
  if (dst == nullptr || width == 0) return;
  std::size_t n = src.size() < width - 1 ? src.size() : width - 1;
  if (n > 0) std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

std::string_view view_of(const char* text) {
  return text == nullptr ? std::string_view() : std::string_view(text);
}

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view trim_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string to_upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && istarts_with(a, b);
}

bool istarts_with(std::string_view s, std::string_view prefix) {
  if (prefix.size() > s.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(s[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

std::vector<std::string_view> split_fields(std::string_view line, char sep) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = line.find(sep, start);
    if (pos == std::string_view::npos) {
      out.push_back(trim(line.substr(start)));
      return out;
    }
    out.push_back(trim(line.substr(start, pos - start)));
    start = pos + 1;
  }
}

// strtoll/strtod need a terminated text; fields are short, so a bounded
// local copy is enough and anything longer is not a number of ours anyway.
static bool terminated_copy(std::string_view s, char (&buf)[64]) {
  s = trim(s);
  if (s.empty() || s.size() >= sizeof buf) return false;
  std::memcpy(buf, s.data(), s.size());
  buf[s.size()] = '\0';
  return true;
}

bool parse_long(std::string_view s, long long* out) {
  char buf[64];
  if (!terminated_copy(s, buf)) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(buf, &end, 10);
  if (errno != 0 || end == buf || *end != '\0') return false;
  *out = v;
  return true;
}

bool parse_double(std::string_view s, double* out) {
  char buf[64];
  if (!terminated_copy(s, buf)) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(buf, &end);
  if (errno != 0 || end == buf || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool parse_geo(std::string_view s, long long* out) {
  s = trim(s);
  if (s.size() != 9) return false;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

double round_cents(double v) {
  double r = std::round(v * 100.0) / 100.0;
  return r == 0.0 ? 0.0 : r;  // no negative zero in the results
}

}  // namespace vtx

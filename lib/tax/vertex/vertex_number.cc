#include "vertex_number.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

int vertex_int_of(const char* text) {
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (std::isspace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  // Unsigned arithmetic wraps, which is exactly "the low 32 bits".
  std::uint32_t value = 0;
  while (std::isdigit(*p)) value = value * 10u + static_cast<std::uint32_t>(*p++ - '0');
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

double vertex_real_of(const char* text) {
  if (text == nullptr) return 0.0;
  return std::strtod(text, nullptr);
}

int vertex_trunc_of(const char* text) {
  const double value = std::trunc(vertex_real_of(text));
  if (!(value >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        value <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<int>(value);
}

std::int64_t vertex_geo_of(const char* text) {
  if (text == nullptr) return 0;
  return std::strtoll(text, nullptr, 10);
}

// vtx_text: the small text helpers of the stand-in Vertex engine.
//
// Everything that writes into a caller's buffer goes through copy_bounded, so
// no engine call ever writes past the width it was given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vtx {

// Writes at most width-1 characters of `src` and a terminator into `dst`.
// Writes nothing when `dst` is null or `width` is 0.
void copy_bounded(char* dst, std::size_t width, std::string_view src);

// A caller's C text as a view; null reads as empty.
std::string_view view_of(const char* text);

// Without leading and trailing blanks and tabs.
std::string_view trim(std::string_view s);
// Without trailing blanks (the space character only).
std::string_view trim_trailing_blanks(std::string_view s);

std::string to_upper(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);

// Splits at every `sep`; each piece trimmed.
std::vector<std::string_view> split_fields(std::string_view line, char sep);

// Whole-text conversions (after trimming); false for anything else, also for
// values out of range.
bool parse_long(std::string_view s, long long* out);
bool parse_double(std::string_view s, double* out);
// A geo code: exactly nine digits.
bool parse_geo(std::string_view s, long long* out);

// Rounds to the cent, halves away from zero.
double round_cents(double v);

}  // namespace vtx

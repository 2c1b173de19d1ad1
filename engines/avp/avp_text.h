// avp_text: fixed-width field and data-line helpers of the stand-in engines.
//
// Record fields are fixed-width, not terminated and blank padded; a caller may
// also leave them zero-filled. Every read here is bounded by the field width
// and stops at the first NUL; every write fills exactly the field width.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace avp_standin {

// The field's text: at most `width` bytes, up to the first NUL, with leading
// and trailing blanks removed.
std::string field_text(const char* field, std::size_t width);

// Upper case and inner runs of blanks folded to one, so that "san  albero"
// and "SAN ALBERO" compare equal.
std::string fold(std::string_view text);

// Writes `text` into the field, cut at `width`, padded with blanks.
void put_field(char* field, std::size_t width, std::string_view text);

// Splits at every `sep`; each piece is trimmed of blanks and tabs.
std::vector<std::string> split_trim(std::string_view line, char sep);

// Trims blanks, tabs and a trailing CR.
std::string_view trim(std::string_view text);

// Whole-text decimal integer in [lo, hi]; false on anything else.
bool parse_long(std::string_view text, long lo, long hi, long* out);
// Whole-text finite decimal number; false on anything else.
bool parse_double(std::string_view text, double* out);

bool all_digits(std::string_view text, std::size_t length);
bool all_letters(std::string_view text, std::size_t length);

}  // namespace avp_standin

// avp_parse: the Taxware records' initial values and the parsing of request
// bodies into them.
//
// Records are owned by the caller. The parsers read fields with
// get_field_of_msg from a NUL-terminated received text. Every value is bounded
// by its room: a text longer than its field is cut to the field's width, and a
// number or character field is read from at most its first 19 characters, so
// no field ever writes beyond its own bytes.
#pragma once

#include <cstddef>

#include "avp_he.h"

// Longest numeric or character field that is converted; longer ones are cut.
constexpr std::size_t AVP_NUM_CHARS = 19;

// Order in which the eight value levels travel in enhanced requests and replies.
extern const int avp_enh_level_order[AVP_LEVELS];

// Each logs its "Initialize ... Structure." line.
void Clear_Tax_Str(Tax_Str* tax);
void Clear_Jur_Str(Jur_Str* jur);
// Sets only the first 8 bytes to blanks: the record is expected zero-filled.
void Clear_Zip_Str(Zip_Str* zip);

// Address request: field 6 city, 7 state, 8 ZIP. Logs "Format Address.\n".
void format_avp_addr(const char* text, Zip_Str* zip);
// Tax requests from field `first` (6 or more; smaller counts as 6) to 47
// (standard) or 57 (enhanced). Log nothing.
void format_avp_jur(const char* text, Jur_Str* jur, Tax_Str* tax, int first);
void format_avp_jur_enh(const char* text, Jur_Str* jur, Tax_Str* tax, int first);

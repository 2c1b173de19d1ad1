// avp_audit: the audit journal of the stand-in tax engine (file named by
// AVPAUDIT). Every calculation made while the engine is open appends one
// line; the format is described in engines/avp/README.md.
#pragma once

#include <ctime>
#include <string>

#include "avp_calc.h"
#include "avp_he.h"

namespace avp_standin {

// The journal line (with its newline) of calculation number `seq`, made at
// `when` (UTC), from the records after the engine filled them.
std::string audit_line(long seq, std::time_t when, const Tax_Str& tax, const Jur_Str& jur,
                       const CalcSummary& summary);
// Appends `line` to `path`; false when it could not be written completely.
bool audit_append(const std::string& path, const std::string& line);

}  // namespace avp_standin

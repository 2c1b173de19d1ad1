// error_codes: every error code taxapi answers with, in words.
//
// One explainer for the whole client: the reply renderer names the code of
// each error reply with it, and `taxapi-client explain` decodes a code given
// on the command line. The code families do not overlap, so the code alone
// says which engine and which step failed:
//
//   0 to 15      the process itself (start-up, message sequence)
//   1100+c       Taxware address lookup, ZIP completion code c
//   1200+c       Taxware tax calculation, general completion code c
//   1299         Taxware result too wide for one message
//   1300+j       Taxware jurisdiction check, jurisdiction code j
//   1399.pasf    Taxware jurisdiction code 99; the decimals flag the POO,
//                POA, ship-from and ship-to jurisdictions that failed
//   1401, 1402   Vertex address lookup
//   1500+r       Vertex tax determination, result r
//   1599         Vertex result too wide for one message
//   1600.0oft    Vertex jurisdiction stop; the decimals flag the order
//                acceptance, ship-from and ship-to jurisdictions
#pragma once

#include <string>
#include <string_view>

namespace erp {

constexpr const char* kUnknownCode = "unknown code";

// The meaning of `code`, written as in an error reply ("1399.100100") or
// shortened ("1399.1001", "8"); kUnknownCode for anything else.
std::string explain_error_code(std::string_view code);

}  // namespace erp

// avp_codes: the Taxware completion codes - which outcomes carry a result,
// the error number of every other outcome, and the texts that name them.
#pragma once

#include <string>

#include "api_protocol.h"
#include "avp_he.h"

// Result of a determine step when the entry point was never resolved: the
// engine is not called and the records are left as they were.
constexpr int AVP_NOT_CALLED = -1;

// GenCmplCd values that still carry a tax result.
bool avp_gen_code_has_result(int gen_cmpl_cd);
// True when the calculation's results are to be sent: GenCmplCd carries a result
// and JurCmplCd is 0.
bool avp_tax_has_result(const Tax_Str* tax, const Jur_Str* jur);
// True for ZipCmplCd 0 (one candidate) and 29 (several).
bool avp_addr_has_result(const Zip_Str* zip);

// The error reply's number for a failed calculation: 1399 + fraction for
// JurCmplCd 99, 1300 + JurCmplCd for any other non-zero one, else 1200 + GenCmplCd.
double avp_tax_error_number(const Tax_Str* tax, const Jur_Str* jur);
// 1100 + ZipCmplCd.
double avp_addr_error_number(const Zip_Str* zip);

// 0.0001 x (1000 POO + 100 POA + 10 ship-from + 1 ship-to), each counted when
// its return code is above 1.
double get_jur_error_avp(const Jur_Str* jur);

// The texts naming a ZIP outcome and a calculation's outcome.
std::string GetZipErrorMess(const Zip_Str* zip);
std::string GetAvpErrorMess(const Tax_Str* tax, const Jur_Str* jur);

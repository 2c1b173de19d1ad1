// avp_reply: the status and result messages of a Taxware tax calculation,
// standard (ten numbers) and enhanced (sixteen).
//
// The records belong to the caller. The senders build each message into
// `out` (API_TEXT_SIZE bytes) and send it from there.
#pragma once

#include "avp_he.h"

// Status message and one result message with ten (standard) or sixteen
// (enhanced) numbers. 0 when the result message went out; 1 when it did not,
// when GenCmplCd carries no result (nothing sent) or when the result would not
// fit the output text (nothing cut is ever sent).
int send_avp_tax(const Tax_Str* tax, const Jur_Str* jur, char* out);
int send_avp_tax_enh(const Tax_Str* tax, const Jur_Str* jur, char* out);
// True when the result message of a calculation fits the output text
// whole. One that does not (amounts near 1e300) is answered with error
// API_ERR_AVP_TOO_WIDE instead of a status and a cut result.
bool avp_tax_result_fits(const Tax_Str* tax, const Jur_Str* jur, int enhanced);

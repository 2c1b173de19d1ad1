// avp_calls: calling the Taxware engine for one request and sending its
// replies.
//
// The records belong to the caller. The senders build each message into
// `out`, which must be the process's output text (msgout_raw.mtext, API_TEXT_SIZE
// bytes) since api_send_request sends what stands there.
#pragma once

#include "avp_he.h"

// Result of a determine step when the entry point was never resolved: the
// engine is not called and the records are left as they were.
constexpr int AVP_NOT_CALLED = -1;

// AVPTAXCMN(tax, 51, jur); the engine's result, which is only logged.
int determine_tax_avp(Tax_Str* tax, Jur_Str* jur);
// Sets the lookup function code and calls ZIP020(zip); the result is only logged.
int determine_addr_avp(Zip_Str* zip);

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

// Status message and one result message per candidate: one for ZipCmplCd 0,
// up to the first blank entry (at most 300) for 29; nothing for other codes.
// 0 when done, 1 when a send failed.
int send_avp_addr(const Zip_Str* zip, char* out);

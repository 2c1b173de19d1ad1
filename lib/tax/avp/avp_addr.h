// avp_addr: the Taxware address lookup of one request and its reply.
//
// The record belongs to the caller.
#pragma once

#include "avp_he.h"

// Sets the lookup function code and calls ZIP020(zip); the result is only
// logged. AVP_NOT_CALLED when the entry point was never resolved.
int determine_addr_avp(Zip_Str* zip);

// Status message and one result message per candidate: one for ZipCmplCd 0,
// up to the first blank entry (at most 300) for 29; nothing for other codes.
// Each is built into `out` (API_TEXT_SIZE bytes) and sent from there. 0 when
// done, 1 when a send failed.
int send_avp_addr(const Zip_Str* zip, char* out);

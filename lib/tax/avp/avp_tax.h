// avp_tax: the Taxware tax calculation of one request.
//
// The records belong to the caller.
#pragma once

#include "avp_he.h"

// AVPTAXCMN(tax, 51, jur); the engine's result, which is only logged.
// AVP_NOT_CALLED when the entry point was never resolved.
int determine_tax_avp(Tax_Str* tax, Jur_Str* jur);

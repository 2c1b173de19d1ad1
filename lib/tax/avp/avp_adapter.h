// avp_adapter: the Taxware engine behind the dispatcher's adapter seam.
//
// Requests reach the engine only while avp_ready() holds; a request whose
// engine was never called is answered with API_ENGINE_NOT_OPEN_CODE instead
// of the cleared records' success-looking codes. The object is static and
// lives for the whole process.
#pragma once

#include "api_adapter.h"

extern const api_adapter avp_adapter;

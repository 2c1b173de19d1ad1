// avp_log: the Taxware log "avp.log", written in framed six-line blocks.
//
// Every Taxware step writes through AVP_LOG. The stream itself belongs to the
// Taxware session (avp_session), which opens it and hands it out through
// avp_log_stream(); this module only writes to it and never opens or closes it.
#pragma once

#include <cstdio>

#include "api_log.h"

// Source path carried in every block's "File:" line.
#define AVP_SRC "lib/tax/avp"

// In diagnostic mode for Taxware (diag_mode == 1) the formatted message alone
// goes to standard error first. A framed block follows in `log` only when
// source, user and format are all given, "AVPDEBUG" is set (even empty) and
// `log` is open; each block goes to the file in one write.
void avp_log_write(FILE* log, const char* source, int line, const char* user, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// The session's "avp.log" stream, or null while none is open; defined by the
// session that owns it.
FILE* avp_log_stream(void);

// Writes one message to the Taxware log with this call's line number.
#define AVP_LOG(...) avp_log_write(avp_log_stream(), AVP_SRC, __LINE__, api_settings.username, __VA_ARGS__)

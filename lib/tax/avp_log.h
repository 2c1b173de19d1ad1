// avp_log: the Taxware log "avp.log", written in framed six-line blocks.
//
// Every Taxware step writes through avp_log_write. The stream itself belongs
// to the Taxware session (avp_session), which opens it; this module only
// writes to it and never opens or closes it.
#pragma once

#include <cstdio>

// Source path carried in every block's "File:" line.
#define AVP_SRC "lib/tax/avp"

// In diagnostic mode for Taxware (diag_mode == 1) the formatted message alone
// goes to standard error first. A framed block follows in `log` only when
// source, user and format are all given, "AVPDEBUG" is set (even empty) and
// `log` is open; the stream is flushed after each block.
void avp_log_write(FILE* log, const char* source, int line, const char* user, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

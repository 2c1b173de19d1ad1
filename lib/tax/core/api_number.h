// api_number: how the process reads decimal numbers from its command line and
// environment.
#pragma once

// Decimal in the manner of strtol base 10: leading blanks and a sign allowed,
// the leading digits count, no digits (or null) gives 0. Values beyond int
// are clamped rather than wrapped.
int api_decimal(const char* text);

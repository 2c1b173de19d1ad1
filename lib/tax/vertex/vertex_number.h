// vertex_number: the number conversions of Vertex request fields and of
// "VERTEXDEBUG". Each skips leading white space, accepts a sign, stops at the
// first character that does not belong to the number and gives 0 for a null,
// empty or non-numeric text. None has undefined behaviour on any input.
#pragma once

#include <cstdint>

// The leading base-10 integer, kept to its low 32 bits (as two's complement).
int vertex_int_of(const char* text);
// The text as a decimal floating-point number, truncated toward zero; a value
// outside the 32-bit range (or not a number) gives INT32_MIN.
int vertex_trunc_of(const char* text);
// The text as a decimal floating-point number.
double vertex_real_of(const char* text);
// The leading base-10 integer as a 64-bit geo code, clamped to the 64-bit range.
std::int64_t vertex_geo_of(const char* text);

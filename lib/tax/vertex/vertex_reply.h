// vertex_reply: the status and result messages of a determined Vertex tax
// request, standard (twelve values and two characters) and enhanced
// (sixteen values).
#pragma once

#include <cstddef>

#include "vertex_tax.h"

// Build the result message text into `out` (`size` bytes, cleared first);
// return its length, or `size` when it does not fit whole.
int format_vertex_tax_result(const VertexTaxResult* res, char* out, std::size_t size);
int format_vertex_tax_result_enh(const VertexTaxResult* res, char* out, std::size_t size);

// True when the result message of `res` fits the output text whole. A
// result that does not (amounts near 1e300) is never sent cut: the request
// is answered with error API_ERR_VTX_TOO_WIDE instead.
bool vertex_tax_result_fits(const VertexTaxResult* res, int enhanced);

// Send "6~1~1~2~1~0~" and then the result message from `out` (the
// API_TEXT_SIZE-byte output text; not cleared by the caller): 0 both sent,
// 1 a send failed.
int send_vertex_tax(const VertexTaxResult* res, char* out);
int send_vertex_tax_enh(const VertexTaxResult* res, char* out);

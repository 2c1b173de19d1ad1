#include "vertex_adapter.h"

#include <cstdlib>

#include "api_adapter.h"
#include "api_log.h"
#include "vertex_addr.h"
#include "vertex_codes.h"
#include "vertex_log.h"
#include "vertex_parse.h"
#include "vertex_reply.h"
#include "vertex_session.h"
#include "vertex_tax.h"

namespace {

// One tax request's records live together from the data message to the reply.
struct TaxRequest {
  VertexTaxRequest req;
  VertexTaxResult res;
  int enhanced;
};

void* tax_new(void) { return std::calloc(1, sizeof(TaxRequest)); }

void tax_parse(void* p, const char* text, int enhanced) {
  if (p == nullptr) return;
  auto* t = static_cast<TaxRequest*>(p);
  t->enhanced = enhanced;
  if (enhanced) {
    format_vertex_jur_enh(text, &t->req, API_FIRST_BODY_FIELD);
  } else {
    format_vertex_jur(text, &t->req, API_FIRST_BODY_FIELD);
  }
}

int tax_determine(void* p, int enhanced) {
  if (p == nullptr) return VTX_TAX_CALL_FAILED;
  auto* t = static_cast<TaxRequest*>(p);
  return enhanced ? determine_tax_vertex_enh(&t->res, &t->req)
                  : determine_tax_vertex(&t->res, &t->req);
}

bool tax_error_code(void* p, int result, double* code) {
  if (result == 0) {
    const auto* t = static_cast<const TaxRequest*>(p);
    if (t == nullptr || vertex_tax_result_fits(&t->res, t->enhanced)) return false;
    VTX_LOG("Tax result does not fit the message.\n");
    *code = API_ERR_VTX_TOO_WIDE;
    return true;
  }
  *code = vertex_tax_error_number(result);
  return true;
}

int tax_send(void* p, int enhanced, char* out) {
  if (p == nullptr) return 1;
  auto* t = static_cast<TaxRequest*>(p);
  return enhanced ? send_vertex_tax_enh(&t->res, out) : send_vertex_tax(&t->res, out);
}

void tax_free(void* p) { std::free(p); }

void* addr_new(void) { return std::calloc(1, sizeof(VertexAddrRec)); }

void addr_parse(void* p, const char* text) {
  format_vertex_addr(text, static_cast<VertexAddrRec*>(p));
}

int addr_determine(void* p) { return determine_addr_vertex(static_cast<VertexAddrRec*>(p)); }

bool addr_error_code(void*, int result, double* code) {
  switch (result) {
    case VTX_ADDR_ENGINE_FAILED: *code = API_ERR_VTX_ADDR_FAILED; return true;
    case VTX_ADDR_NOT_FOUND: *code = API_ERR_VTX_ADDR_NONE; return true;
  }
  return false;
}

int addr_send(void* p, char* out) { return send_vertex_addr(static_cast<VertexAddrRec*>(p), out); }

void addr_free(void* p) { std::free(p); }

}  // namespace

const api_adapter vertex_adapter = {
    "vertex",
    open_vertex_general,
    close_vertex,
    vertex_ready,
    tax_new,
    tax_parse,
    tax_determine,
    tax_error_code,
    tax_send,
    tax_free,
    addr_new,
    addr_parse,
    addr_determine,
    addr_error_code,
    addr_send,
    addr_free,
};

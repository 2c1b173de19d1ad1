#include "avp_adapter.h"

#include <new>

#include "avp_addr.h"
#include "avp_codes.h"
#include "avp_log.h"
#include "avp_parse.h"
#include "avp_reply.h"
#include "avp_session.h"
#include "avp_tax.h"

namespace {

// One request's records, and whether the engine was really called for them:
// records it never saw still hold their cleared, success-looking codes.
struct AvpTaxRequest {
  Jur_Str jur;
  Tax_Str tax;
  int called;
  int enhanced;
};

struct AvpAddrRequest {
  Zip_Str zip;
  int called;
};

void* tax_new(void) {
  AvpTaxRequest* r = new (std::nothrow) AvpTaxRequest();
  if (r == nullptr) return nullptr;
  Clear_Jur_Str(&r->jur);
  Clear_Tax_Str(&r->tax);
  r->tax.chr_1139 = 'Y';
  r->tax.chr_1140 = '1';
  return r;
}

void tax_parse(void* req, const char* text, int enhanced) {
  auto* r = static_cast<AvpTaxRequest*>(req);
  if (r == nullptr || text == nullptr) return;
  r->enhanced = enhanced;
  if (enhanced) {
    format_avp_jur_enh(text, &r->jur, &r->tax, API_FIRST_BODY_FIELD);
  } else {
    format_avp_jur(text, &r->jur, &r->tax, API_FIRST_BODY_FIELD);
  }
}

int tax_determine(void* req, int /*enhanced*/) {
  auto* r = static_cast<AvpTaxRequest*>(req);
  if (r == nullptr || !avp_ready()) return AVP_NOT_CALLED;
  const int result = determine_tax_avp(&r->tax, &r->jur);
  r->called = avp_session.AvpTaxCmnAdd != nullptr;
  return result;
}

bool tax_error_code(void* req, int /*result*/, double* code) {
  auto* r = static_cast<AvpTaxRequest*>(req);
  if (r == nullptr || !r->called) {
    *code = API_ENGINE_NOT_OPEN_CODE;
    return true;
  }
  if (!avp_tax_has_result(&r->tax, &r->jur)) {
    *code = avp_tax_error_number(&r->tax, &r->jur);
    return true;
  }
  if (avp_tax_result_fits(&r->tax, &r->jur, r->enhanced)) return false;
  AVP_LOG("Tax result does not fit the message.\n");
  *code = API_ERR_AVP_TOO_WIDE;
  return true;
}

int tax_send(void* req, int enhanced, char* out) {
  auto* r = static_cast<AvpTaxRequest*>(req);
  if (r == nullptr) return 1;
  return enhanced ? send_avp_tax_enh(&r->tax, &r->jur, out) : send_avp_tax(&r->tax, &r->jur, out);
}

void tax_free(void* req) { delete static_cast<AvpTaxRequest*>(req); }

void* addr_new(void) {
  AvpAddrRequest* r = new (std::nothrow) AvpAddrRequest();
  if (r == nullptr) return nullptr;
  Clear_Zip_Str(&r->zip);
  return r;
}

void addr_parse(void* req, const char* text) {
  auto* r = static_cast<AvpAddrRequest*>(req);
  if (r == nullptr || text == nullptr) return;
  format_avp_addr(text, &r->zip);
}

int addr_determine(void* req) {
  auto* r = static_cast<AvpAddrRequest*>(req);
  if (r == nullptr || !avp_ready()) return AVP_NOT_CALLED;
  const int result = determine_addr_avp(&r->zip);
  r->called = avp_session.ZIP020Add != nullptr;
  return result;
}

bool addr_error_code(void* req, int /*result*/, double* code) {
  auto* r = static_cast<AvpAddrRequest*>(req);
  if (r == nullptr || !r->called) {
    *code = API_ENGINE_NOT_OPEN_CODE;
    return true;
  }
  if (avp_addr_has_result(&r->zip)) return false;
  *code = avp_addr_error_number(&r->zip);
  return true;
}

int addr_send(void* req, char* out) {
  auto* r = static_cast<AvpAddrRequest*>(req);
  if (r == nullptr) return 1;
  return send_avp_addr(&r->zip, out);
}

void addr_free(void* req) { delete static_cast<AvpAddrRequest*>(req); }

}  // namespace

const api_adapter avp_adapter = {
    "Taxware", open_avp,  close_avp,      avp_ready, tax_new,   tax_parse,      tax_determine, tax_error_code,
    tax_send,  tax_free,  addr_new,       addr_parse, addr_determine, addr_error_code, addr_send, addr_free,
};

#include "avp_reply.h"

#include <cstdio>
#include <cstring>

#include "api_reply.h"
#include "avp_codes.h"
#include "avp_log.h"
#include "avp_parse.h"

namespace {

const int kStdLevels[5] = {1, 2, 3, 4, 5};

// The result message into `out` (`size` bytes, cleared); false when it does
// not fit whole.
bool format_tax_result(const Tax_Str* tax, const Jur_Str* jur, int enhanced, char* out, std::size_t size) {
  const int* levels = enhanced ? avp_enh_level_order : kStdLevels;
  const int count = enhanced ? AVP_LEVELS : 5;
  std::memset(out, 0, size);
  ApiReplyWriter w(out, size);
  w.header(API_MSG_RESULT, API_ACTION_TAX, API_STYPE_TAXWARE, 1);
  for (int i = 0; i < count; ++i) w.printf("%f~", tax->level_out_dbl[levels[i]]);
  for (int i = 0; i < count; ++i) w.printf("%f~", static_cast<double>(tax->level_out_flt[levels[i]]));
  if (jur->chr_236 != '\0') w.printf("%c", jur->chr_236);
  w.printf("~");
  w.field(tax->copy_686[0], sizeof tax->copy_686[0]);
  return w.ok();
}

int send_tax(const Tax_Str* tax, const Jur_Str* jur, char* out, int enhanced) {
  if (!avp_gen_code_has_result(tax->GenCmplCd)) return 1;
  // Built before the status goes out: a result that does not fit is never
  // announced, let alone sent cut.
  char result[API_TEXT_SIZE];
  if (!format_tax_result(tax, jur, enhanced, result, sizeof result)) {
    AVP_LOG("Tax result does not fit the message.\n");
    return 1;
  }
  api_format_status(out, API_ACTION_TAX, API_STYPE_TAXWARE, 1, tax->GenCmplCd);
  api_send_text(out, API_REPLY_MTYPE);  // the result message tells whether the reply went out
  std::memcpy(out, result, API_TEXT_SIZE);
  return api_send_text(out, API_REPLY_MTYPE);
}

}  // namespace

int send_avp_tax(const Tax_Str* tax, const Jur_Str* jur, char* out) {
  AVP_LOG("Send Tax.\n");
  return send_tax(tax, jur, out, 0);
}

int send_avp_tax_enh(const Tax_Str* tax, const Jur_Str* jur, char* out) {
  AVP_LOG("Send Tax Enhanced.\n");
  return send_tax(tax, jur, out, 1);
}

bool avp_tax_result_fits(const Tax_Str* tax, const Jur_Str* jur, int enhanced) {
  // The usual case is settled without formatting the reply twice: the
  // header, sixteen narrow values, a character and the returned field, each
  // with its "~".
  static_assert(10 + std::size_t{2} * AVP_LEVELS * (API_NARROW_WIDTH + 1) + 2 + sizeof tax->copy_686[0] + 1 <
                API_TEXT_SIZE);
  bool narrow = true;
  for (int i = 0; i < AVP_LEVELS; ++i) {
    narrow = narrow && api_is_narrow(tax->level_out_dbl[i]) && api_is_narrow(tax->level_out_flt[i]);
  }
  if (narrow) return true;
  char scratch[API_TEXT_SIZE];
  return format_tax_result(tax, jur, enhanced, scratch, sizeof scratch);
}

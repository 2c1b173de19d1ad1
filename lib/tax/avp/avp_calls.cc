#include "avp_calls.h"

#include <cstdio>
#include <cstring>

#include "api_reply.h"
#include "avp_codes.h"
#include "avp_log.h"
#include "avp_parse.h"
#include "avp_session.h"

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

int determine_tax_avp(Tax_Str* tax, Jur_Str* jur) {
  AVP_LOG("Call AvpTaxCmn/TAX010 to determine tax.\n");
  if (avp_session.AvpTaxCmnAdd == nullptr) {
    AVP_LOG("AvpTaxCmn/TAX010 is not loaded.\n");
    return AVP_NOT_CALLED;
  }
  const int r = avp_session.AvpTaxCmnAdd(tax, AVP_CMN_SELECT, jur);
  AVP_LOG("Return from AvpTaxCmn/TAX010: %d\n", r);
  return r;
}

int determine_addr_avp(Zip_Str* zip) {
  zip->function = AVP_ZIP_FN_LOOKUP;
  AVP_LOG("Call ZIP020Add/ZIP020 to determine Geo Code.\n");
  if (avp_session.ZIP020Add == nullptr) {
    AVP_LOG("ZIP020Add/ZIP020 is not loaded.\n");
    return AVP_NOT_CALLED;
  }
  const int r = avp_session.ZIP020Add(zip);
  AVP_LOG("Return from ZIP020Add/ZIP020: %d\n", r);
  return r;
}

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
  static_assert(10 + 2 * AVP_LEVELS * (API_NARROW_WIDTH + 1) + 2 + sizeof tax->copy_686[0] + 1 < API_TEXT_SIZE);
  bool narrow = true;
  for (int i = 0; i < AVP_LEVELS; ++i) {
    narrow = narrow && api_is_narrow(tax->level_out_dbl[i]) && api_is_narrow(tax->level_out_flt[i]);
  }
  if (narrow) return true;
  char scratch[API_TEXT_SIZE];
  return format_tax_result(tax, jur, enhanced, scratch, sizeof scratch);
}

int send_avp_addr(const Zip_Str* zip, char* out) {
  AVP_LOG("Send Address.\n");
  int count = 0;
  if (zip->ZipCmplCd == 0) {
    count = 1;
  } else if (zip->ZipCmplCd == 29) {
    while (count < AVP_ZIP_ENTRIES && !(zip->entry[count].state[0] == ' ' && zip->entry[count].state[1] == ' ')) {
      ++count;
    }
  } else {
    return 0;
  }

  api_format_status(out, API_ACTION_ADDRESS, API_STYPE_TAXWARE, count, zip->ZipCmplCd);
  if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;

  for (int i = 1; i <= count; ++i) {
    const ZipEntry& e = zip->entry[i - 1];
    std::memset(out, 0, API_TEXT_SIZE);
    ApiReplyWriter w(out);
    w.header(API_MSG_RESULT, API_ACTION_ADDRESS, API_STYPE_TAXWARE, i);
    w.field(e.city, sizeof e.city);
    w.field(e.state, sizeof e.state);
    w.field(e.zip, sizeof e.zip);
    w.field(e.geo, sizeof e.geo);
    w.field(e.county_code, sizeof e.county_code);
    w.field(e.county_name, sizeof e.county_name);
    w.field(&e.indicator, 1);
    if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;
  }
  return 0;
}

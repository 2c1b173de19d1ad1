#include "avp_calls.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api_msg.h"
#include "avp_codes.h"
#include "avp_log.h"
#include "avp_parse.h"
#include "avp_session.h"

namespace {

// Appends to the text in `out` without ever writing past its `size` bytes
// (API_TEXT_SIZE unless given); `ok` turns false once anything did not fit.
class Writer {
 public:
  explicit Writer(char* out, std::size_t size = API_TEXT_SIZE) : out_(out), size_(size), len_(std::strlen(out)) {}

  __attribute__((format(printf, 2, 3))) void printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::size_t room = size_ - len_;
    const int n = std::vsnprintf(out_ + len_, room, format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= room) {
      ok_ = false;
      out_[len_] = '\0';
      return;
    }
    len_ += static_cast<std::size_t>(n);
  }
  // A record's text field up to its width or its first byte 0, then "~".
  void field(const char* text, std::size_t width) {
    printf("%.*s~", static_cast<int>(strnlen(text, width)), text);
  }
  bool ok() const { return ok_; }

 private:
  char* out_;
  std::size_t size_;
  std::size_t len_;
  bool ok_ = true;
};

const int kStdLevels[5] = {1, 2, 3, 4, 5};

// The result message into `out` (`size` bytes, cleared); false when it does
// not fit whole.
bool format_tax_result(const Tax_Str* tax, const Jur_Str* jur, int enhanced, char* out, std::size_t size) {
  const int* levels = enhanced ? avp_enh_level_order : kStdLevels;
  const int count = enhanced ? AVP_LEVELS : 5;
  std::memset(out, 0, size);
  Writer w(out, size);
  w.printf("%d~%d~%d~%d~%d~", MSG_RESULT, 1, 1, 1, 1);
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
  std::snprintf(out, API_TEXT_SIZE, "%d%s%d%s%d%s%d%s%d%s%d%s", MSG_STATUS, "~", 1, "~", 1, "~", 1, "~", 1, "~",
                static_cast<int>(tax->GenCmplCd), "~");
  api_send_request(1);  // the result message tells whether the reply went out
  std::memcpy(out, result, API_TEXT_SIZE);
  return api_send_request(1);
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

int avp_tax_result_fits(const Tax_Str* tax, const Jur_Str* jur, int enhanced) {
  // The usual case is settled without formatting the reply twice: the
  // header, sixteen narrow values, a character and the returned field, each
  // with its "~".
  static_assert(10 + 2 * AVP_LEVELS * (API_NARROW_WIDTH + 1) + 2 + sizeof tax->copy_686[0] + 1 < API_TEXT_SIZE);
  bool narrow = true;
  for (int i = 0; i < AVP_LEVELS; ++i) {
    narrow = narrow && api_is_narrow(tax->level_out_dbl[i]) && api_is_narrow(tax->level_out_flt[i]);
  }
  if (narrow) return 1;
  // Sixteen values of over 300 characters each still fit here.
  char scratch[8 * API_TEXT_SIZE];
  return format_tax_result(tax, jur, enhanced, scratch, sizeof scratch) && std::strlen(scratch) < API_TEXT_SIZE;
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

  std::snprintf(out, API_TEXT_SIZE, "%d%s%d%s%d%s%d%s%d%s%d%s", MSG_STATUS, "~", 2, "~", 1, "~", 1, "~", count, "~",
                static_cast<int>(zip->ZipCmplCd), "~");
  if (api_send_request(1) != 0) return 1;

  for (int i = 1; i <= count; ++i) {
    const ZipEntry& e = zip->entry[i - 1];
    std::memset(out, 0, API_TEXT_SIZE);
    Writer w(out);
    w.printf("%d%s%d%s%d%s%d%s%d%s", MSG_RESULT, "~", 2, "~", 1, "~", 1, "~", i, "~");
    w.field(e.city, sizeof e.city);
    w.field(e.state, sizeof e.state);
    w.field(e.zip, sizeof e.zip);
    w.field(e.geo, sizeof e.geo);
    w.field(e.county_code, sizeof e.county_code);
    w.field(e.county_name, sizeof e.county_name);
    w.field(&e.indicator, 1);
    if (api_send_request(1) != 0) return 1;
  }
  return 0;
}

#include "avp_codes.h"

#include <cstdio>

#include "avp_zip_text.h"

namespace {

std::string format_code(const char* format, int code) {
  char text[50];  // every formatted text fits in 49 characters
  std::snprintf(text, sizeof text, format, code);
  return text;
}

}  // namespace

bool avp_gen_code_has_result(int gen_cmpl_cd) {
  switch (gen_cmpl_cd) {
    case 0:
    case 4:
    case 18:
    case 19:
    case 51:
    case 63:
    case 83:
      return true;
    default:
      return false;
  }
}

bool avp_tax_has_result(const Tax_Str* tax, const Jur_Str* jur) {
  return avp_gen_code_has_result(tax->GenCmplCd) && jur->JurCmplCd == 0;
}

bool avp_addr_has_result(const Zip_Str* zip) { return zip->ZipCmplCd == 0 || zip->ZipCmplCd == 29; }

double avp_tax_error_number(const Tax_Str* tax, const Jur_Str* jur) {
  if (jur->JurCmplCd == 99) return API_ERR_AVP_JUR99 + get_jur_error_avp(jur);
  if (jur->JurCmplCd != 0) return API_ERR_AVP_JUR + jur->JurCmplCd;
  return API_ERR_AVP_TAX + tax->GenCmplCd;
}

double avp_addr_error_number(const Zip_Str* zip) { return API_ERR_AVP_ADDR + zip->ZipCmplCd; }

double get_jur_error_avp(const Jur_Str* jur) {
  double sum = 0;
  if (jur->POOJurRC > 1) sum += 1000;
  if (jur->POAJurRC > 1) sum += 100;
  if (jur->ShpFrJurRC > 1) sum += 10;
  if (jur->ShpToJurRC > 1) sum += 1;
  return sum * 0.0001;
}

std::string GetZipErrorMess(const Zip_Str* zip) {
  if (const char* text = avp_zip_code_text(zip->ZipCmplCd)) return text;
  return format_code("Unknown completion code: %d", zip->ZipCmplCd);
}

namespace {

std::string jur_message(const Jur_Str* jur) {
  switch (jur->JurCmplCd) {
    case 0:
      return "Successful Completion";
    case 1:
      return "If point-of-title is invalid, the default will be 'D'";
    case 2:
      return "Service indicator not valid";
    case 9:
      return "Invalid tax selection parameter";
    case 99:
      // The first non-zero code names the failure, even one the fraction ignores.
      if (jur->POOJurRC != 0) return format_code("POOJurRC: %d", jur->POOJurRC);
      if (jur->POAJurRC != 0) return format_code("POAJurRC: %d", jur->POAJurRC);
      if (jur->ShpToJurRC != 0) return format_code("ShpToJurRC: %d", jur->ShpToJurRC);
      if (jur->ShpFrJurRC != 0) return format_code("ShpFrJurRC: %d", jur->ShpFrJurRC);
      return "Unknown (99)";
    default:
      return "Unknown";
  }
}

}  // namespace

std::string GetAvpErrorMess(const Tax_Str* tax, const Jur_Str* jur) {
  const int gen = tax->GenCmplCd;
  if (gen == 0) return "Successful Completion";
  if (avp_gen_code_has_result(gen)) return format_code("Ignorable error code: %d", gen);
  if (gen == 95) return jur_message(jur);
  return format_code("GenCmplCd: %d", gen);
}

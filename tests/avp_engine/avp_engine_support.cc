#include "avp_engine_support.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "avp_text.h"

namespace avp_test {

EngineEnv::EngineEnv() {
  const std::string data = AVP_DATA_DIR;
  env_.set("ZIPIN", data + "/zipmaster.txt");
  env_.set("AVPIN", data + "/rates.txt");
  env_.set("STEPIN", data + "/exempt.txt");
  env_.set("AVPAUDIT", audit());
  for (const char* name : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) {
    std::string d = dir_.at(name);
    std::filesystem::create_directory(d);
    env_.set(name, d);
  }
  env_.unset("AVP_STANDIN_CONTROL");
}

void EngineEnv::control(const std::string& text) {
  write_file(dir_.at("control"), text);
  env_.set("AVP_STANDIN_CONTROL", dir_.at("control"));
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  out.push_back(cur);
  return out;
}

Library::Library(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* e = dlerror();
    error_ = e ? e : "dlopen failed";
  }
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Library::sym(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

std::string shlib(const char* base) { return std::string(SHLIB_DIR) + "/lib" + base + ".so"; }

Engine::Engine()
    : tax(shlib(AVP_TAX_LIB)),
      zip(shlib(AVP_ZIP_LIB)),
      tax_open(reinterpret_cast<AVPTAXOPEN_FN*>(tax.sym(AVP_NAME_TAXOPEN))),
      tax_close(reinterpret_cast<AVPTAXCLOSE_FN*>(tax.sym(AVP_NAME_TAXCLOSE))),
      tax_cmn(reinterpret_cast<AVPTAXCMN_FN*>(tax.sym(AVP_NAME_TAXCMN))),
      tax_io_err(reinterpret_cast<AVPTAX_IO_ERR_FN*>(tax.sym(AVP_NAME_TAXIOERR))),
      zip_open(reinterpret_cast<ZIPOPEN_FN*>(zip.sym(AVP_NAME_ZIPOPEN))),
      zip_close(reinterpret_cast<ZIPCLOSE_FN*>(zip.sym(AVP_NAME_ZIPCLOSE))),
      zip020(reinterpret_cast<ZIP020_FN*>(zip.sym(AVP_NAME_ZIP020))) {
  if (!tax_open || !tax_close || !tax_cmn || !tax_io_err || !zip_open || !zip_close || !zip020)
    throw std::runtime_error("stand-in engine not loadable: " + tax.error() + " " + zip.error());
}

TaxRequest::TaxRequest() {
  std::memset(&tax, ' ', sizeof tax);
  std::memset(&jur, ' ', sizeof jur);
  tax.dbl_144 = tax.dbl_168 = tax.dbl_240 = 0;
  std::memset(tax.zero_152, 0, sizeof tax.zero_152);
  std::memset(tax.zero_176, 0, sizeof tax.zero_176);
  std::memset(tax.zero_248, 0, sizeof tax.zero_248);
  tax.int_260 = tax.int_264 = tax.zero_296 = tax.zero_612 = 0;
  for (int32_t& v : tax.ints_316) v = 0;
  for (int k = 0; k < AVP_LEVELS; ++k) {
    *avp_level_in_dbl(&tax, k) = 0;
    *avp_level_in_flt(&tax, k) = 0;
    tax.level_out_dbl[k] = 0;
    tax.level_out_flt[k] = 0;
    tax.zero_1064[k] = 0;
  }
  tax.GenCmplCd = 0;
  for (int32_t& v : tax.zero_916) v = 0;
  tax.int_904 = 1;
  tax.chr_1139 = 'Y';
  tax.chr_1140 = '1';
  jur.JurCmplCd = jur.POOJurRC = jur.POAJurRC = jur.ShpToJurRC = jur.ShpFrJurRC = jur.zero_344 = 0;
}

TaxRequest& TaxRequest::block(int number, const std::string& state, const std::string& city,
                              const std::string& zip, const std::string& geo) {
  AvpJurBlock& b = jur.block[number - 1];
  avp_standin::put_field(b.slot1, sizeof b.slot1, state);
  avp_standin::put_field(b.slot2, sizeof b.slot2, city);
  avp_standin::put_field(b.slot3, sizeof b.slot3, zip);
  avp_standin::put_field(b.slot4, sizeof b.slot4, geo);
  return *this;
}

TaxRequest& TaxRequest::amount(double a, double freight, double discount) {
  tax.dbl_144 = a;
  tax.dbl_168 = freight;
  tax.dbl_240 = discount;
  return *this;
}

TaxRequest& TaxRequest::product(const std::string& code) {
  avp_standin::put_field(tax.text_268, sizeof tax.text_268, code);
  return *this;
}

TaxRequest& TaxRequest::invoice(const std::string& number) {
  avp_standin::put_field(tax.text_783, sizeof tax.text_783, number);
  std::memcpy(tax.copy_763, tax.text_783, sizeof tax.copy_763);
  return *this;
}

ZipRequest::ZipRequest(const std::string& state, const std::string& zip, const std::string& city) {
  std::memset(&z, 0, sizeof z);
  std::memset(&z, ' ', 8);
  // Copied as the request parser does: the characters only, no fill.
  std::memcpy(z.state, state.data(), std::min(state.size(), sizeof z.state));
  std::memcpy(z.zip, zip.data(), std::min(zip.size(), sizeof z.zip));
  std::memcpy(z.city, city.data(), std::min(city.size(), sizeof z.city));
  z.function = AVP_ZIP_FN_LOOKUP;
}

std::string entry_text(const char* field, std::size_t width) { return avp_standin::field_text(field, width); }

}  // namespace avp_test

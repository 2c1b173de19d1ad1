// The stand-in tax library, libavptax.so: AVPTAXOPEN, AVPTAXCLOSE, AVPTAXCMN
// and AVPTAX_IO_ERR over the rate, ZIP master and exemption data.
//
// Engine state is private to the library and lives until it is unloaded.
// No exception leaves an entry point. A test build defines AVP_OMIT_<NAME> to
// make a copy of the library without one entry point, which leaves some of
// the helpers below unused there.

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "avp_audit.h"
#include "avp_calc.h"
#include "avp_control.h"
#include "avp_env.h"
#include "avp_exempt.h"
#include "avp_export.h"
#include "avp_he.h"
#include "avp_rates.h"
#include "avp_zipdata.h"

namespace avp_standin {
namespace {

struct TaxEngine {
  bool open = false;
  ZipMaster zips;
  RateTable rates;
  ExemptList exempt;
  std::string audit_path;
  std::string out_dir;
  long calculations = 0;
  long failures = 0;
  // cppcheck-suppress unusedStructMember ; read by AvpTaxIOErr through engine()
  std::string open_error;  // why the last open failed, for AVPTAX_IO_ERR
};

TaxEngine& engine() {
  static TaxEngine e;
  return e;
}

// Loads everything into a fresh engine so a failed open leaves nothing half
// replaced; the engine is closed either way until it succeeds.
[[maybe_unused]] bool open_engine(std::string* error) {
  TaxEngine& e = engine();
  e.open = false;
  TaxEngine fresh;
  std::string rates, zips, exempt, dir;
  if (!env_path("AVPIN", &rates, error) || !fresh.rates.load(rates, error)) return false;
  if (!env_path("ZIPIN", &zips, error) || !fresh.zips.load(zips, error)) return false;
  if (!env_path("STEPIN", &exempt, error) || !fresh.exempt.load(exempt, error)) return false;
  if (!env_writable_dir("AVPOUT", &fresh.out_dir, error)) return false;
  if (!env_writable_dir("AVPTEMP", &dir, error)) return false;
  if (!env_writable_dir("STEPOUT", &dir, error)) return false;
  if (!env_writable_dir("STEPTEMP", &dir, error)) return false;
  if (!env_path("AVPAUDIT", &fresh.audit_path, error)) return false;
  if (!audit_append(fresh.audit_path, "")) {
    *error = "AVPAUDIT " + fresh.audit_path + ": cannot be opened for appending";
    return false;
  }
  e = std::move(fresh);
  e.open = true;
  return true;
}

// The session summary in AVPOUT; false when it could not be written.
[[maybe_unused]] bool write_summary(const TaxEngine& e) {
  std::string path = e.out_dir + "/avptax.sum";
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  bool ok = std::fprintf(f, "calculations %ld\nfailures %ld\n", e.calculations, e.failures) > 0;
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

[[maybe_unused]] bool carries_result(int gen) {
  return gen == 0 || gen == 4 || gen == 18 || gen == 19 || gen == 51 || gen == 63 || gen == 83;
}

[[maybe_unused]] void apply_codes(const Control& c, Tax_Str* tax, Jur_Str* jur) {
  if (c.GenCmplCd) tax->GenCmplCd = *c.GenCmplCd;
  if (c.JurCmplCd) jur->JurCmplCd = *c.JurCmplCd;
  if (c.POOJurRC) jur->POOJurRC = *c.POOJurRC;
  if (c.POAJurRC) jur->POAJurRC = *c.POAJurRC;
  if (c.ShpToJurRC) jur->ShpToJurRC = *c.ShpToJurRC;
  if (c.ShpFrJurRC) jur->ShpFrJurRC = *c.ShpFrJurRC;
}

[[maybe_unused]] int calculate_line(const Control& c, Tax_Str* tax, int select, Jur_Str* jur) {
  TaxEngine& e = engine();
  if (!e.open) {
    tax->GenCmplCd = kGenNotOpen;
    apply_codes(c, tax, jur);
    return tax->GenCmplCd;
  }
  TaxData data{&e.zips, &e.rates, &e.exempt};
  CalcSummary summary;
  calculate(data, tax, select, jur, &summary);
  apply_codes(c, tax, jur);
  if (c.LevelTaxExp10) {
    for (double& level : tax->level_out_dbl) level = std::pow(10.0, *c.LevelTaxExp10);
  }
  ++e.calculations;
  if (!audit_append(e.audit_path, audit_line(e.calculations, std::time(nullptr), *tax, *jur, summary))) {
    // A calculation that is not journaled does not count.
    tax->GenCmplCd = kGenAuditFailed;
    for (int k = 0; k < AVP_LEVELS; ++k) {
      tax->level_out_dbl[k] = 0;
      tax->level_out_flt[k] = 0;
    }
  }
  if (!carries_result(tax->GenCmplCd) || jur->JurCmplCd != 0) ++e.failures;
  return tax->GenCmplCd;
}

}  // namespace
}  // namespace avp_standin

using namespace avp_standin;

#ifndef AVP_OMIT_AVPTAXOPEN
AVP_EXPORT int AVPTAXOPEN(void) {
  try {
    Control c = read_control();
    std::string error;
    int result = open_engine(&error) ? 1 : 0;
    engine().open_error = result ? "" : error;
    return c.AVPTAXOPEN ? *c.AVPTAXOPEN : result;
  } catch (...) {
    engine().open = false;
    return 0;
  }
}
#endif

#ifndef AVP_OMIT_AVPTAXCLOSE
AVP_EXPORT int AVPTAXCLOSE(void) {
  try {
    Control c = read_control();
    TaxEngine& e = engine();
    int result = 0;
    if (e.open) {
      result = write_summary(e) ? 1 : 0;
      e.open = false;
    }
    return c.AVPTAXCLOSE ? *c.AVPTAXCLOSE : result;
  } catch (...) {
    return 0;
  }
}
#endif

#ifndef AVP_OMIT_AVPTAXCMN
AVP_EXPORT int AVPTAXCMN(Tax_Str* tax, int select, Jur_Str* jur) {
  try {
    Control c = read_control();
    int result = (tax == nullptr || jur == nullptr) ? -1 : calculate_line(c, tax, select, jur);
    return c.AVPTAXCMN ? *c.AVPTAXCMN : result;
  } catch (...) {
    if (tax != nullptr) tax->GenCmplCd = kGenNotOpen;
    return -1;
  }
}
#endif

#ifndef AVP_OMIT_AVPTAX_IO_ERR
AVP_EXPORT int AVPTAX_IO_ERR(int code) {
  (void)code;  // the engine has one kind of I/O error report
  try {
    Control c = read_control();
    TaxEngine& e = engine();
    int result = 0;
    if (!e.open_error.empty()) {
      std::fprintf(stderr, "avptax: open failed: %s\n", e.open_error.c_str());
      e.open_error.clear();
      result = 1;
    }
    return c.AVPTAX_IO_ERR ? *c.AVPTAX_IO_ERR : result;
  } catch (...) {
    return 0;
  }
}
#endif

// The stand-in ZIP library, libavpzip.so: ZIPOPEN, ZIPCLOSE and ZIP020 over
// the ZIP master data.
//
// Engine state is private to the library and lives until it is unloaded.
// No exception leaves an entry point. A test build defines AVP_OMIT_<NAME> to
// make a copy of the library without one entry point, which leaves some of
// the helpers below unused there.

#include <cstdio>
#include <string>

#include "avp_control.h"
#include "avp_env.h"
#include "avp_export.h"
#include "avp_he.h"
#include "avp_zipdata.h"
#include "avp_ziplookup.h"

namespace avp_standin {
namespace {

// ZIPOPEN and ZIPCLOSE results besides 0.
enum { kOpenBadFunction = 1, kOpenNoMaster = 2, kOpenBadDir = 6, kCloseNotOpen = 1, kCloseNoSummary = 3 };

struct ZipEngine {
  bool open = false;
  ZipMaster master;
  std::string out_dir;
  long lookups = 0;
};

ZipEngine& engine() {
  static ZipEngine e;
  return e;
}

[[maybe_unused]] int open_engine() {
  ZipEngine& e = engine();
  e.open = false;
  ZipEngine fresh;
  std::string path, dir, error;
  if (!env_path("ZIPIN", &path, &error) || !fresh.master.load(path, &error)) return kOpenNoMaster;
  if (!env_writable_dir("ZIPOUT", &fresh.out_dir, &error)) return kOpenBadDir;
  if (!env_writable_dir("ZIPTEMP", &dir, &error)) return kOpenBadDir;
  e = std::move(fresh);
  e.open = true;
  return 0;
}

[[maybe_unused]] bool write_summary(const ZipEngine& e) {
  std::string path = e.out_dir + "/avpzip.sum";
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  bool ok = std::fprintf(f, "lookups %ld\n", e.lookups) > 0;
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

[[maybe_unused]] int lookup(const Control& c, Zip_Str* zip) {
  ZipEngine& e = engine();
  if (zip->function != AVP_ZIP_FN_LOOKUP) {
    zip_blank_table(zip);
    zip->ZipCmplCd = kZipBadFunction;
  } else if (!e.open) {
    zip_blank_table(zip);
    zip->ZipCmplCd = kZipNotOpen;
  } else {
    zip_lookup(e.master, zip);
    ++e.lookups;
  }
  if (c.ZipCandidates) {
    int found = zip_force_candidates(zip, *c.ZipCandidates);
    int n = *c.ZipCandidates;
    if (n == 1) zip->ZipCmplCd = kZipOk;
    else if (n > 1) zip->ZipCmplCd = kZipSeveral;
    else if (found > 0) zip->ZipCmplCd = kZipStateZipCity;
  }
  if (c.ZipCmplCd) zip->ZipCmplCd = *c.ZipCmplCd;
  return zip->ZipCmplCd;
}

}  // namespace
}  // namespace avp_standin

using namespace avp_standin;

#ifndef AVP_OMIT_ZIPOPEN
AVP_EXPORT int ZIPOPEN(int function) {
  try {
    Control c = read_control();
    int result = function == AVP_ZIP_FN_OPEN ? open_engine() : kOpenBadFunction;
    return c.ZIPOPEN ? *c.ZIPOPEN : result;
  } catch (...) {
    engine().open = false;
    return kOpenNoMaster;
  }
}
#endif

#ifndef AVP_OMIT_ZIPCLOSE
AVP_EXPORT int ZIPCLOSE(void) {
  try {
    Control c = read_control();
    ZipEngine& e = engine();
    int result = kCloseNotOpen;
    if (e.open) {
      result = write_summary(e) ? 0 : kCloseNoSummary;
      e.open = false;
    }
    return c.ZIPCLOSE ? *c.ZIPCLOSE : result;
  } catch (...) {
    return kCloseNotOpen;
  }
}
#endif

#ifndef AVP_OMIT_ZIP020
AVP_EXPORT int ZIP020(Zip_Str* zip) {
  try {
    Control c = read_control();
    int result = zip == nullptr ? -1 : lookup(c, zip);
    return c.ZIP020 ? *c.ZIP020 : result;
  } catch (...) {
    return -1;
  }
}
#endif

#include "avp_session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "al_logfile.h"
#include "al_sli.h"
#include "api_log.h"
#include "avp_log.h"
#include "avp_parse.h"

TaxwareSession avp_session;

FILE* avp_log_stream(void) { return avp_session.avp_log_file; }

const char* const avp_env_vars[10] = {"AVPAUDIT", "AVPIN",   "AVPOUT",  "AVPTEMP", "ZIPIN",
                                      "ZIPOUT",   "ZIPTEMP", "STEPIN",  "STEPOUT", "STEPTEMP"};

namespace {

constexpr std::size_t kErrSize = 1024;

// The records an open or close prepares. They are never handed to the engine;
// building them gives the log its clearing lines, as in every calculation.
struct PreparedRecords {
  Tax_Str tax;
  Jur_Str jur;
  Zip_Str zip;
};

std::unique_ptr<PreparedRecords> new_records(void) {
  return std::unique_ptr<PreparedRecords>(new (std::nothrow) PreparedRecords());
}

void prepare_tax_records(PreparedRecords* r, const char (&function)[6]) {
  if (r == nullptr) return;
  Clear_Tax_Str(&r->tax);
  Clear_Jur_Str(&r->jur);
  std::memcpy(r->tax.function, function, sizeof r->tax.function);
}

// Resolves `name` into *slot; null (and the log line) when it is missing.
template <typename Fn>
bool resolve(void* handle, const char* name, Fn** slot) {
  char err[kErrSize] = {};
  void* sym = sli_fun_sym(handle, name, err, sizeof err);
  *slot = reinterpret_cast<Fn*>(sym);
  if (sym == nullptr) {
    AVP_LOG("Missing function '%s' in DLL\n", name);
    return false;
  }
  return true;
}

// Loads one library into *slot, logging the attempt and its outcome.
bool load(const char* name, const char* dll, void** slot) {
  AVP_LOG("Loading %s.\n", dll);
  char err[kErrSize] = {};
  *slot = sli_open(name, nullptr, err, sizeof err);
  if (*slot == nullptr) {
    AVP_LOG("Loading %s failed: %s\n", dll, err);
    return false;
  }
  AVP_LOG("Loading %s succeeded.\n", dll);
  return true;
}

// Opens "avp.log". Its open is part of the engine's open only while the log
// is on ("AVPDEBUG" set): with the log off nothing would ever be written to
// it, and a log that cannot be opened (a shared directory, another user's
// file, no log directory at all) must not keep the engine from serving.
bool open_log(void) {
  // A later open replaces the stream of the earlier one rather than leak it.
  if (avp_session.avp_log_file != nullptr) {
    std::fclose(avp_session.avp_log_file);
    avp_session.avp_log_file = nullptr;
  }
  const bool wanted = std::getenv("AVPDEBUG") != nullptr;
  char path[1024];
  std::snprintf(path, sizeof path, "%s/avp.log", api_settings.log_dir);
  const char* cause = "no log directory";
  if (api_settings.log_dir[0] != '\0') {
    avp_session.avp_log_file = al_open_logfile(path, wanted ? 1 : 0);
    if (avp_session.avp_log_file != nullptr) return true;
    cause = std::strerror(errno);
  }
  if (!wanted) return true;
  std::fprintf(stderr, "Failed to open logfile '%s': %s\n", api_settings.log_dir[0] != '\0' ? path : "avp.log", cause);
  return false;
}

}  // namespace

int open_avp(void) {
  TaxwareSession& session = avp_session;
  session.opened = 0;
  if (!open_log()) return 1;

  if (!load(AVP_TAX_LIB, "AVPTAX.DLL", &session.AvpTaxhinst)) return 1;
  if (!resolve(session.AvpTaxhinst, AVP_NAME_TAXOPEN, &session.AvpTaxOpenAdd) ||
      !resolve(session.AvpTaxhinst, AVP_NAME_TAXCLOSE, &session.AvpTaxCloseAdd) ||
      !resolve(session.AvpTaxhinst, AVP_NAME_TAXCMN, &session.AvpTaxCmnAdd) ||
      !resolve(session.AvpTaxhinst, AVP_NAME_TAXIOERR, &session.AvpTaxIOErrAdd)) {
    return 1;
  }
  if (!load(AVP_ZIP_LIB, "AVPZIP.DLL", &session.AvpZiphinst)) return 1;
  if (!resolve(session.AvpZiphinst, AVP_NAME_ZIPOPEN, &session.ZipOpenAdd) ||
      !resolve(session.AvpZiphinst, AVP_NAME_ZIPCLOSE, &session.ZipCloseAdd) ||
      !resolve(session.AvpZiphinst, AVP_NAME_ZIP020, &session.ZIP020Add)) {
    return 1;
  }

  AVP_LOG("Checking environment variables\n");
  for (const char* name : avp_env_vars) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
      AVP_LOG("%s not set.\n", name);
      return 2;
    }
    AVP_LOG("%s - <%s>\n", name, value);
  }

  std::unique_ptr<PreparedRecords> r = new_records();
  if (r == nullptr) return 1;
  prepare_tax_records(r.get(), "OPEN ");

  if (session.AvpTaxOpenAdd() == 0) {
    session.AvpTaxIOErrAdd(AVP_IO_ERR_ARG);
    r.reset();
    AVP_LOG("TaxOpenStr failed: %s\n", "Unknown");
    return 1;
  }
  AVP_LOG("TaxOpenStr succeeded\n");

  Clear_Zip_Str(&r->zip);
  r->zip.function = AVP_ZIP_FN_OPEN;
  if (session.ZipOpenAdd(AVP_ZIP_FN_OPEN) != 0) {
    r.reset();
    AVP_LOG("ZipOpenStr failed: %s\n", "Unknown");
    return 1;
  }
  AVP_LOG("ZipOpenStr succeeded\n");
  session.opened = 1;
  return 0;
}

void close_avp(void) {
  TaxwareSession& session = avp_session;
  session.opened = 0;

  // Both steps run whatever came before; an entry never resolved is not called.
  std::unique_ptr<PreparedRecords> r = new_records();
  if (r != nullptr) {
    Clear_Zip_Str(&r->zip);
    r->zip.function = AVP_ZIP_FN_CLOSE;
  }
  if (session.ZipCloseAdd != nullptr && session.ZipCloseAdd() != 0) {
    AVP_LOG("ZipClose/ZIP020 failed: %s\n", "Unknown");
  } else {
    AVP_LOG("ZipClose/ZIP020 passed\n");
  }

  prepare_tax_records(r.get(), "CLOSE");
  if (session.AvpTaxCloseAdd != nullptr && session.AvpTaxCloseAdd() != 0) {
    AVP_LOG("AvpTaxClose/TAX010 passed.\n");
  } else {
    AVP_LOG("AvpTaxClose/TAX010 failed: %s\n", "Unknown");
  }
}

bool avp_ready(void) {
  const TaxwareSession& session = avp_session;
  return session.opened && session.AvpTaxOpenAdd != nullptr && session.AvpTaxCloseAdd != nullptr &&
         session.AvpTaxCmnAdd != nullptr && session.AvpTaxIOErrAdd != nullptr && session.ZipOpenAdd != nullptr &&
         session.ZipCloseAdd != nullptr && session.ZIP020Add != nullptr;
}

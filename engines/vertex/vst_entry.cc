// The tax library of the stand-in Vertex engine (libvst.so): its 20 entry
// points.
//
// The declarations are made visible here and everything else in the library
// is hidden; the link (engines/vertex/CMakeLists.txt) decides which entry
// points leave the library, so the tests' copies without one of them need no
// other build of this file.
#pragma GCC visibility push(default)
#include "vtx_he.h"
#pragma GCC visibility pop

#include <cstdio>
#include <memory>
#include <string>

#include "vtx_calc.h"
#include "vtx_control.h"
#include "vtx_data_file.h"
#include "vtx_entry_util.h"
#include "vtx_registry.h"
#include "vtx_text.h"

namespace {

using vtx::CalcHandle;
using vtx::Control;
using vtx::DataStatus;
using vtx::guarded;
using vtx::result_of;

constexpr long long kNone = Control::kNoSelector;

struct VstConn {
  vtx::VstDatabases dbs;
};

vtx::Registry<VstConn>& conns() {
  static vtx::Registry<VstConn> r;
  return r;
}

vtx::Registry<CalcHandle>& handles() {
  static vtx::Registry<CalcHandle> r;
  return r;
}

bool db_open(const VstConn& c, int type) {
  switch (type) {
    case eVstDbTypeLocation: return c.dbs.geo != nullptr;
    case eVstDbTypeRate: return c.dbs.rate != nullptr;
    case eVstDbTypeRegister: return c.dbs.register_open;
    case eVstDbTypeTDM: return c.dbs.tdm != nullptr;
    default: return false;
  }
}

void close_db(VstConn* c, int type) {
  switch (type) {
    case eVstDbTypeLocation: c->dbs.geo.reset(); break;
    case eVstDbTypeRate: c->dbs.rate.reset(); break;
    case eVstDbTypeTDM: c->dbs.tdm.reset(); break;
    case eVstDbTypeRegister:
      c->dbs.register_open = false;
      c->dbs.register_writable = false;
      c->dbs.register_path.clear();
      break;
    default: break;
  }
}

int status_of(DataStatus s) {
  switch (s) {
    case DataStatus::kOk: return eVstDbRetCdNone;
    case DataStatus::kNoSource:
    case DataStatus::kUnreadable: return eVstDbRetCdInvalidDataSource;
    case DataStatus::kWrongKind:
    case DataStatus::kBadVersion: return eVstDbRetCdInvalidDb;
    case DataStatus::kBadUser: return eVstDbRetCdInvalidUserID;
    case DataStatus::kBadPassword: return eVstDbRetCdInvalidPassword;
    case DataStatus::kMalformed: return eVstDbRetCdFail;
  }
  return eVstDbRetCdFail;
}

// Reads one database of kind Db from its data file into *slot.
template <class Db>
int load_db(const char* kind, const char* default_name, const char* source,
            const char* server, const char* user, const char* password,
            std::shared_ptr<const Db>* slot) {
  std::string path;
  if (!vtx::resolve_source(source, server, default_name, &path))
    return eVstDbRetCdInvalidDataSource;
  std::vector<vtx::Record> records;
  DataStatus s = vtx::read_data_file(path, kind, user, password, &records);
  if (s != DataStatus::kOk) return status_of(s);
  auto db = std::make_shared<Db>();
  if (!db->load(records)) return eVstDbRetCdFail;
  *slot = std::move(db);
  return eVstDbRetCdNone;
}

// The register: created and appended to in mode 2, read-only otherwise.
int open_register(VstConn* c, const char* source, const char* server, int mode) {
  std::string path;
  if (!vtx::resolve_source(source, server, "register.dat", &path))
    return eVstDbRetCdInvalidDataSource;
  bool writable = mode == 2;
  std::FILE* f = std::fopen(path.c_str(), writable ? "a" : "r");
  if (f == nullptr) return eVstDbRetCdInvalidDataSource;
  std::fclose(f);
  c->dbs.register_open = true;
  c->dbs.register_writable = writable;
  c->dbs.register_path = path;
  return eVstDbRetCdNone;
}

int open_db(VstConn* c, int type, const char* source, const char* server,
            const char* user, const char* password, int mode) {
  switch (type) {
    case eVstDbTypeLocation:
      return load_db<vtx::GeoDb>("location", "location.dat", source, server, user, password,
                                 &c->dbs.geo);
    case eVstDbTypeRate:
      return load_db<vtx::RateDb>("rate", "rate.dat", source, server, user, password,
                                  &c->dbs.rate);
    case eVstDbTypeTDM:
      return load_db<vtx::TdmDb>("tdm", "tdm.dat", source, server, user, password,
                                 &c->dbs.tdm);
    case eVstDbTypeRegister:
      return open_register(c, source, server, mode);
    default:
      return eVstDbRetCdInvalidDb;
  }
}

// The handle and its line when `line_number` is that line's; else null.
CalcHandle* line_handle(VstHdl hdl, long long line_number) {
  CalcHandle* h = handles().find(hdl);
  if (h == nullptr || !h->line.set || h->line.number != line_number) return nullptr;
  return h;
}

// The handle when its line is `line_number`'s and has been calculated.
CalcHandle* calculated_line(VstHdl hdl, long long line_number) {
  CalcHandle* h = line_handle(hdl, line_number);
  return h != nullptr && h->result.done ? h : nullptr;
}

template <class T>
void put(T* out, const T& value) {
  if (out != nullptr) *out = value;
}

// Writes `own`, or the control file's text for entry.field, into a caller's
// buffer of `width` bytes.
void put_text(const Control& ctl, const char* entry, long long sel, const char* field,
              char* out, std::size_t width, const std::string& own) {
  std::string forced;
  vtx::copy_bounded(out, width, ctl.get_text(entry, sel, field, &forced) ? forced : own);
}

void put_int(const Control& ctl, const char* entry, long long sel, const char* field,
             int* out, int own) {
  int forced = 0;
  put(out, ctl.get_int(entry, sel, field, &forced) ? forced : own);
}

void put_real(const Control& ctl, const char* entry, long long sel, const char* field,
              double* out, double own) {
  double forced = 0.0;
  put(out, ctl.get_real(entry, sel, field, &forced) ? forced : own);
}

// Writes one level's (or locality's) result; the control file may replace
// the status and the two values of entry(sel).
void put_level(const Control& ctl, const char* entry, long long sel, const vtx::LevelResult& r,
               int* status, double* scratch_1, double* scratch_2, double* value_b,
               double* value_a) {
  put_int(ctl, entry, sel, "status", status, r.status);
  put(scratch_1, r.base);
  put(scratch_2, r.exempt);
  put_real(ctl, entry, sel, "b", value_b, r.tax);
  put_real(ctl, entry, sel, "a", value_a, r.rate);
}

}  // namespace

extern "C" {

int VstOpenDb(VstConnHdl conn, int db_type, const char* source, const char* server,
              const char* user, const char* password, int mode, void*, void*) {
  return guarded(static_cast<int>(eVstDbRetCdMem), [&] {
    Control ctl = Control::load("VstOpenDb");
    VstConn* c = conns().find(conn);
    int st;
    bool opened_here = false;
    // The checks in the engine's order: an invalid type answers before an
    // open database, though no connection and an open one answer alike.
    if (c == nullptr) {  // NOLINT(bugprone-branch-clone)
      st = eVstDbRetCdFail;
    } else if (db_type < eVstDbTypeLocation || db_type > eVstDbTypeTDM) {
      st = eVstDbRetCdInvalidDb;
    } else if (db_open(*c, db_type)) {
      st = eVstDbRetCdFail;
    } else {
      st = open_db(c, db_type, source, server, user, password, mode);
      opened_here = st == eVstDbRetCdNone;
    }
    int forced = result_of(ctl, "VstOpenDb", db_type, st);
    if (forced != eVstDbRetCdNone && opened_here) close_db(c, db_type);
    return forced;
  });
}

VstConnHdl VstCreateConnHdl(void) { return vtx::create_entry("VstCreateConnHdl", conns()); }

int VstCalcTax(VstConnHdl conn, VstHdl hdl, int, int) {
  return guarded(static_cast<int>(eVstCalcRetCdMem), [&] {
    Control ctl = Control::load("VstCalcTax");
    VstConn* c = conns().find(conn);
    CalcHandle* h = handles().find(hdl);
    int st;
    if (c == nullptr) {
      st = vtx::kCalcLocDbConn;
    } else if (h == nullptr) {
      st = vtx::kCalcBadHandle;
    } else {
      st = vtx::calculate(c->dbs, h);
      st = vtx::write_register(c->dbs, *h, st);
    }
    return result_of(ctl, "VstCalcTax", kNone, st);
  });
}

VstHdl VstCreateHdl(void) { return vtx::create_entry("VstCreateHdl", handles()); }

void VstDebugHdl(VstHdl hdl, const char* file_name, const char* text) {
  guarded(0, [&] {
    if (file_name == nullptr || *file_name == '\0') return 0;
    CalcHandle* h = handles().find(hdl);
    std::string out = vtx::caller_text(text);
    if (!out.empty() && out.back() != '\n') out.push_back('\n');
    out += h != nullptr ? vtx::dump_handle(*h) : std::string("  (no calculation handle)\n");
    std::FILE* f = std::fopen(file_name, "a");
    if (f == nullptr) return 0;
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
    return 0;
  });
}

int VstReleaseConnHdl(VstConnHdl conn) {
  return vtx::release_entry("VstReleaseConnHdl", conns(), conn);
}

int VstCloseDb(VstConnHdl conn, int db_type, void*, void*) {
  return guarded(static_cast<int>(eVstDbRetCdFail), [&] {
    Control ctl = Control::load("VstCloseDb");
    VstConn* c = conns().find(conn);
    int st;
    // As in VstOpenDb: an invalid type answers before a closed database.
    if (c == nullptr) {  // NOLINT(bugprone-branch-clone)
      st = eVstDbRetCdFail;
    } else if (db_type < eVstDbTypeLocation || db_type > eVstDbTypeTDM) {
      st = eVstDbRetCdInvalidDb;
    } else if (!db_open(*c, db_type)) {
      st = eVstDbRetCdFail;
    } else {
      close_db(c, db_type);
      st = eVstDbRetCdNone;
    }
    return result_of(ctl, "VstCloseDb", db_type, st);
  });
}

int VstReleaseHdl(VstHdl hdl) { return vtx::release_entry("VstReleaseHdl", handles(), hdl); }

int VstResetHdl(VstHdl hdl) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstResetHdl");
    CalcHandle* h = handles().find(hdl);
    if (h != nullptr) *h = CalcHandle();
    return result_of(ctl, "VstResetHdl", kNone, h != nullptr ? 1 : 0);
  });
}

void* VstGetDatabaseConnHdl(VstConnHdl conn, int db_type) {
  return guarded(static_cast<void*>(nullptr), [&]() -> void* {
    Control ctl = Control::load("VstGetDatabaseConnHdl");
    if (ctl.is_null("VstGetDatabaseConnHdl", db_type, "")) return nullptr;
    VstConn* c = conns().find(conn);
    return c != nullptr && db_open(*c, db_type) ? conn : nullptr;
  });
}

int VstGetInvDetail(VstHdl hdl, void*, void*, char* invoice, void*, void*, void*,
                    char* customer_1, char* customer_2, int* invoice_mode, char* company,
                    void*, void*, void*, int* write_register) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstGetInvDetail");
    const char* e = "VstGetInvDetail";
    CalcHandle* h = handles().find(hdl);
    int ok = h != nullptr && h->invoice.detail_set ? 1 : 0;
    if (ok) {
      const vtx::Invoice& inv = h->invoice;
      put_text(ctl, e, kNone, "invoice", invoice, VTX_INVOICE_SIZE, inv.number);
      put_text(ctl, e, kNone, "customer_1", customer_1, VTX_CUSTOMER_SIZE, inv.customer_1);
      put_text(ctl, e, kNone, "customer_2", customer_2, VTX_CUSTOMER_SIZE, inv.customer_2);
      put_text(ctl, e, kNone, "company", company, VTX_COMPANY_SIZE, inv.company);
      put_int(ctl, e, kNone, "invoice_mode", invoice_mode, inv.mode);
      put_int(ctl, e, kNone, "write_register", write_register, inv.write_register);
    }
    return result_of(ctl, e, kNone, ok);
  });
}

int VstGetLineDetail(VstHdl hdl, int line_number, void*, void*, void*, void*,
                     int* taxing_juris_type, double* line_amount, double* line_a,
                     double* line_b, char* user_area, int* line_kind, void*, void*, void*,
                     void*, void*) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstGetLineDetail");
    const char* e = "VstGetLineDetail";
    CalcHandle* h = line_handle(hdl, line_number);
    if (h != nullptr) {
      const vtx::CalcResult& r = h->result;
      bool done = r.done;
      put_int(ctl, e, kNone, "juris", taxing_juris_type, done ? r.taxing_type : 0);
      put_real(ctl, e, kNone, "amount", line_amount, h->line.amount);
      put_real(ctl, e, kNone, "line_a", line_a,
               done ? r.line_a : h->line.has_totals ? h->line.total_a : 0.0);
      put_real(ctl, e, kNone, "line_b", line_b,
               done ? r.line_b : h->line.has_totals ? h->line.total_b : 0.0);
      put_text(ctl, e, kNone, "user_area", user_area, VTX_USER_AREA_SIZE, h->line.user_area);
      put_int(ctl, e, kNone, "line_kind", line_kind, h->line.line_kind);
    }
    return result_of(ctl, e, kNone, h != nullptr ? 1 : 0);
  });
}

int VstGetLineProd(VstHdl hdl, int line_number, void*, void*, char* product, void*, void*,
                   void*, void*, void*, void*) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstGetLineProd");
    CalcHandle* h = line_handle(hdl, line_number);
    int ok = h != nullptr && h->line.product_set ? 1 : 0;
    if (ok)
      put_text(ctl, "VstGetLineProd", kNone, "product", product, VTX_PRODUCT_SIZE,
               h->line.product_code);
    return result_of(ctl, "VstGetLineProd", kNone, ok);
  });
}

int VstGetLineLocal(VstHdl hdl, int line_number, int level, void*, int* status, void*,
                    double* scratch_1, void*, double* scratch_2, void*, double* value_b,
                    void*, void*, double* value_a, int* district_owner) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstGetLineLocal");
    const char* e = "VstGetLineLocal";
    CalcHandle* h = calculated_line(hdl, line_number);
    int ok = h != nullptr && level >= eVstStLocTypeState && level <= eVstStLocTypeDist ? 1 : 0;
    if (ok) {
      const vtx::LevelResult& r = h->result.level[level];
      put_level(ctl, e, level, r, status, scratch_1, scratch_2, value_b, value_a);
      put_int(ctl, e, level, "owner", district_owner, r.owner);
    }
    return result_of(ctl, e, level, ok);
  });
}

int VstGetLineLocalAddtl(VstHdl hdl, int line_number, int locality, void*, int* status,
                         void*, double* scratch_1, void*, double* scratch_2, void*,
                         double* value_b, void*, void*, double* value_a, int* juris_type,
                         int* district_owner) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstGetLineLocalAddtl");
    const char* e = "VstGetLineLocalAddtl";
    CalcHandle* h = calculated_line(hdl, line_number);
    int ok = h != nullptr && locality >= eVstLocAddtlTypeCnty && locality <= eVstLocAddtlTypeDist
                 ? 1
                 : 0;
    if (ok) {
      const vtx::LevelResult& r = h->result.addtl[locality];
      put_level(ctl, e, locality, r, status, scratch_1, scratch_2, value_b, value_a);
      put_int(ctl, e, locality, "juris", juris_type, h->result.addtl_type);
      put_int(ctl, e, locality, "owner", district_owner, r.owner);
    }
    return result_of(ctl, e, locality, ok);
  });
}

int VstSetLineLocal(VstHdl hdl, int line_number, int level, int* taxability, int* local_code,
                    int*, const char* local_text, void*, void*, double* amount,
                    double* value_b, void*, void*, double* value_a, int* district_owner) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstSetLineLocal");
    CalcHandle* h = line_handle(hdl, line_number);
    int ok = h != nullptr && level >= eVstStLocTypeState && level <= eVstStLocTypeDist &&
                     taxability != nullptr &&
                     (*taxability == eVstTaxbltyTaxable || *taxability == eVstTaxbltyNonTaxable)
                 ? 1
                 : 0;
    if (ok) {
      vtx::LocalSetting& s = h->line.local[level];
      s = vtx::LocalSetting();
      s.set = true;
      s.taxability = *taxability;
      s.local_code = local_code != nullptr ? *local_code : 0;
      s.text = vtx::caller_text(local_text);
      s.has_amount = amount != nullptr;
      s.amount = amount != nullptr ? *amount : 0.0;
      s.has_a = value_a != nullptr;
      s.a = value_a != nullptr ? *value_a : 0.0;
      s.has_b = value_b != nullptr;
      s.b = value_b != nullptr ? *value_b : 0.0;
      s.owner = district_owner != nullptr ? *district_owner : 0;
      h->result.done = false;
    }
    return result_of(ctl, "VstSetLineLocal", level, ok);
  });
}

int VstSetInvJuris(VstHdl hdl, int juris_type, int, std::int64_t* geo_code, void*, void*,
                   void*, void*, int* juris_flag) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstSetInvJuris");
    CalcHandle* h = handles().find(hdl);
    int ok = h != nullptr && geo_code != nullptr && juris_type >= eVstJurisTypeShipTo &&
                     juris_type <= eVstJurisTypeOrderAccept
                 ? 1
                 : 0;
    if (ok) {
      vtx::JurisSetting& j = h->invoice.juris[juris_type];
      j.set = true;
      j.geo = *geo_code;
      j.flag = juris_flag != nullptr ? *juris_flag : 0;
      h->result.done = false;
    }
    return result_of(ctl, "VstSetInvJuris", juris_type, ok);
  });
}

int VstSetInvDetail(VstHdl hdl, const char* invoice_text, void*, const char* invoice_number,
                    void*, std::int64_t* zero, const char* customer_1, const char* customer_2,
                    int* invoice_mode, const char* company, const char* enh_code, void*,
                    void*, int* write_register) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstSetInvDetail");
    CalcHandle* h = handles().find(hdl);
    if (h != nullptr) {
      vtx::Invoice& inv = h->invoice;
      inv.detail_set = true;
      inv.text = vtx::caller_text(invoice_text);
      inv.number = vtx::caller_text(invoice_number);
      inv.customer_1 = vtx::caller_text(customer_1);
      inv.customer_2 = vtx::caller_text(customer_2);
      inv.company = vtx::caller_text(company);
      inv.enh_code = vtx::caller_text(enh_code);
      inv.date = zero != nullptr ? *zero : 0;
      inv.mode = invoice_mode != nullptr ? *invoice_mode : 0;
      // The engine writes back whether it will write the register.
      inv.write_register = write_register != nullptr && *write_register != 0 ? 1 : 0;
      put(write_register, inv.write_register);
      h->result.done = false;
    }
    return result_of(ctl, "VstSetInvDetail", kNone, h != nullptr ? 1 : 0);
  });
}

int VstSetLineProd(VstHdl hdl, int line_number, int, double* product, const char* product_code,
                   void*, int*, void*, double* product_copy, void*, void*) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstSetLineProd");
    CalcHandle* h = line_handle(hdl, line_number);
    if (h != nullptr) {
      h->line.product_set = true;
      h->line.product_value = product != nullptr ? *product : 0.0;
      h->line.product_copy = product_copy != nullptr ? *product_copy : 0.0;
      h->line.product_code = vtx::caller_text(product_code);
      h->result.done = false;
    }
    return result_of(ctl, "VstSetLineProd", kNone, h != nullptr ? 1 : 0);
  });
}

int VstSetLineDetail(VstHdl hdl, std::int64_t line_number, int transaction_type, int,
                     int line_kind, int, int* one, double* line_amount, double* line_a,
                     double* line_b, const char* user_area, void*, const char* enh_line_text,
                     const char* enh_code, void*, void*) {
  return guarded(0, [&] {
    Control ctl = Control::load("VstSetLineDetail");
    CalcHandle* h = handles().find(hdl);
    int ok = h != nullptr && line_amount != nullptr ? 1 : 0;
    if (ok) {
      vtx::Line& ln = h->line;
      // One line per handle: another number starts a new line.
      if (!ln.set || ln.number != line_number) ln = vtx::Line();
      ln.set = true;
      ln.number = line_number;
      ln.transaction_type = transaction_type;
      ln.line_kind = line_kind;
      ln.one = one != nullptr ? *one : 0;
      ln.amount = *line_amount;
      ln.has_totals = line_a != nullptr && line_b != nullptr;
      ln.total_a = ln.has_totals ? *line_a : 0.0;
      ln.total_b = ln.has_totals ? *line_b : 0.0;
      ln.user_area = vtx::caller_text(user_area);
      ln.enh_line_text = vtx::caller_text(enh_line_text);
      ln.enh_code = vtx::caller_text(enh_code);
      h->result.done = false;
    }
    return result_of(ctl, "VstSetLineDetail", kNone, ok);
  });
}

}  // extern "C"

#include "vertex_tax.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "al_logfile.h"
#include "api_log.h"
#include "vertex_codes.h"
#include "vertex_log.h"
#include "vertex_number.h"
#include "vertex_session.h"

namespace {

constexpr const char* kDumpFile = "tarn.out";

// A step's failure: its line in the log (with the line number of the call),
// the handle reset, and `code`, the request's result, to be returned:
// `return VTX_FAILED(code, format, ...)`. The read-back buffers live on the
// stack and go with the return.
__attribute__((format(printf, 3, 4))) int failed(int line, int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = api_vformat(format, args);
  va_end(args);
  vertex_log_write(vertex_session.vertex_log_file, VERTEX_SRC, line, api_settings.username, "%s", message.c_str());
  reset_vertex_handle();
  return code;
}
#define VTX_FAILED(code, ...) failed(__LINE__, (code), __VA_ARGS__)

// Engine read buffers get one zero byte more than the width they are handed
// with, so a text that fills its width still ends before the buffer does.
template <int Width>
struct ReadBuffer {
  char text[Width + 1] = {};
};

// The engine appends its dump to "tarn.out" in the working directory, which
// may be one other users can write to. Before it is asked to, the file is
// made here as this user's own (or found to be one): a link or another
// user's file planted at the name would have the engine write through it.
// A dump that cannot go to such a file is skipped, with one note.
bool dump_file_is_ours(void) {
  static bool noted = false;
  FILE* file = al_open_logfile(kDumpFile, 0);
  if (file != nullptr) {
    std::fclose(file);
    return true;
  }
  if (!noted) {
    const char* why = errno == ELOOP   ? "it is a symbolic link"
                      : errno == EPERM ? "it is not a regular file of this user"
                                       : std::strerror(errno);
    std::fprintf(stderr, "taxapi: the engine's dumps to %s are skipped: %s\n", kDumpFile, why);
    noted = true;
  }
  return false;
}

void debug_dump(const char* when) {
  if (vertex_session.vertex_debug == 0 || !dump_file_is_ours()) return;
  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));
  char text[128];
  std::snprintf(text, sizeof text, "%s%s: %s", stamp, when, "\n");
  vertex_session.VstDebugHdlAdd(vertex_session.pVstHdl, kDumpFile, text);
}

// A district's values: fields of their own in the enhanced form; in the
// standard form they are added to the level of the district's owner.
void add_district(VertexTaxResult* res, bool enh, int owner, double a, double b, double* district_a,
                  double* district_b) {
  if (enh) {
    if (owner == eVstDistOwnerCity || owner == eVstDistOwnerCounty) {
      *district_b = b;
      *district_a = a;
    }
  } else if (owner == eVstDistOwnerCity) {
    res->city_b += b;
    res->city_a += a;
  } else if (owner == eVstDistOwnerCounty) {
    res->county_b += b;
    res->county_a += a;
  }
}

bool same_trimmed(char* a, char* b) { return std::strcmp(strip_ascii(a), strip_ascii(b)) == 0; }

// A determination under way: its records and what one step hands the next.
struct Determination {
  VertexTaxResult* res;
  VertexTaxRequest* req;
  bool enh;
  VstHdl hdl;
  int ln;                  // the request's line number
  int write_flag = 0;      // set with the invoice, read back by the engine
  int district_owner = 0;  // handed to the level settings, read with the district
  int taxing_type = 0;     // the taxing jurisdiction the engine reports
  bool domestic = false;   // not foreign: a status 22 stops the reads
  int addtl_type = 0;      // the jurisdiction of the additional localities
  bool addtl_stopped = false;
};

// Each step answers kGoOn, or the request's result after resetting the handle.
constexpr int kGoOn = -1;

int set_jurisdictions(Determination& d) {
  struct Juris {
    const VertexJurisdiction* juris;
    int type;
    const char* x;
  };
  const Juris jurisdictions[] = {
      {&d.req->ship_from, eVstJurisTypeShipFrom, "VstSetInvJuris(eVstJurisTypeShipFrom)"},
      {&d.req->ship_to, eVstJurisTypeShipTo, "VstSetInvJuris(eVstJurisTypeShipTo)"},
      {&d.req->order_accept, eVstJurisTypeOrderAccept, "VstSetInvJuris(eVstJurisTypeOrderAccept)"},
  };
  for (const Juris& j : jurisdictions) {
    std::int64_t geo = vertex_geo_of(j.juris->geo_code);
    int flag = j.juris->juris_flag;
    if (vertex_session.VstSetInvJurisAdd(d.hdl, j.type, 1, &geo, nullptr, nullptr, nullptr, nullptr, &flag) == 0) {
      return VTX_FAILED(VTX_TAX_CALL_FAILED, "%s failed, returned FALSE.\n", j.x);
    }
    VTX_LOG("%s passed.\n", j.x);
  }
  return kGoOn;
}

int set_invoice(Determination& d) {
  VertexTaxRequest* req = d.req;
  int invoice_mode = req->invoice_flag == 1 ? 3 : 0;
  d.write_flag = req->write_register == 1 ? 1 : 0;
  std::int64_t zero64 = 0;
  if (vertex_session.VstSetInvDetailAdd(d.hdl, req->invoice_text, nullptr, req->invoice_number, nullptr, &zero64,
                                        req->customer_1, req->customer_2, &invoice_mode, req->company_code,
                                        d.enh ? req->enh_code : nullptr, nullptr, nullptr, &d.write_flag) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstSetInvDetail() failed, returned FALSE.\n");
  }
  VTX_LOG("VstSetInvDetail() passed.\n");
  return kGoOn;
}

int set_line(Determination& d) {
  VertexTaxRequest* req = d.req;
  const int tt = req->transaction_type;
  const int transaction_type = (tt >= 1 && tt <= 3) ? tt : 0;
  const int line_kind = (req->line_kind >= 2 && req->line_kind <= 6) ? req->line_kind - 1 : 0;
  int one = 1;
  if (vertex_session.VstSetLineDetailAdd(
          d.hdl, d.ln, transaction_type, 0, line_kind, 0, &one, &req->line_amount, nullptr, nullptr, req->user_area,
          nullptr, d.enh ? req->enh_line_text : nullptr, d.enh ? req->enh_code : nullptr, nullptr, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstSetLineDetail failed, returned FALSE.\n");
  }
  VTX_LOG("VstSetLineDetail passed.\n");
  return kGoOn;
}

int set_product(Determination& d) {
  double product = static_cast<double>(d.req->prod_number);
  double product_copy = product;
  int zero_ref = 0;
  if (vertex_session.VstSetLineProdAdd(d.hdl, d.ln, 0, &product, d.req->product_code, nullptr, &zero_ref, nullptr,
                                       &product_copy, nullptr, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstSetLineProd failed, returned FALSE.\n");
  }
  VTX_LOG("VstSetLineProd passed.\n");
  return kGoOn;
}

struct SetLevel {
  int level;
  double a, b;
  double decides;  // taxable when not exactly 0.0 (a NaN is not zero)
  const char* name;
};

// The local code of the level settings: by the enhanced request's local kind
// (4 more when it overrides), by the standard request's transaction type.
int local_code_of(const VertexTaxRequest* req, bool enh) {
  if (!enh) {
    const int tt = req->transaction_type;
    return tt == 2 ? 9 : tt == 3 ? 8 : 6;
  }
  const int kind = req->local_kind;
  const int code = kind == 5 ? 3 : kind == 6 ? 4 : kind == 7 ? 5 : 2;
  return req->local_override == 1 ? code + 4 : code;
}

// The request's own level values, when it asks for them to be set.
int set_levels(Determination& d) {
  VertexTaxRequest* req = d.req;
  const bool set_locals = d.enh ? req->local_override != 0 : req->local_override == 1;
  if (!set_locals) return kGoOn;
  int local_code = local_code_of(req, d.enh);
  SetLevel levels[4];
  if (d.enh) {
    levels[0] = {eVstStLocTypeState, req->state_a, req->state_b, req->state_a, "eVstStLocTypeState"};
    levels[1] = {eVstStLocTypeCnty, req->county_a, req->county_b, req->county_a, "eVstStLocTypeCnty"};
    levels[2] = {eVstStLocTypeCity, req->city_a, req->city_b, req->city_a, "eVstStLocTypeCity"};
    levels[3] = {eVstStLocTypeDist, req->district_a, req->district_b, req->district_a,
                 "eVstStLocTypeDist"};
  } else {
    levels[0] = {eVstStLocTypeState, req->state_a, req->state_b, req->state_a, "eVstStLocTypeState"};
    levels[1] = {eVstStLocTypeCity, req->city_a, req->city_b, req->city_a, "eVstStLocTypeCity"};
    levels[2] = {eVstStLocTypeCnty, req->county_a, req->county_b, req->county_a, "eVstStLocTypeCnty"};
    // The standard request has no district values; the city decides.
    levels[3] = {eVstStLocTypeDist, 0.0, 0.0, req->city_a, "eVstStLocTypeDist"};
  }
  for (SetLevel& level : levels) {
    const bool taxable = level.decides != 0.0;
    int taxability = taxable ? eVstTaxbltyTaxable : eVstTaxbltyNonTaxable;
    int zero = 0;
    char x[96];
    std::snprintf(x, sizeof x, "VstSetLineLocal(%s, %s)", level.name,
                  taxable ? "eVstTaxbltyTaxable" : "eVstTaxbltyNonTaxable");
    const int ok = vertex_session.VstSetLineLocalAdd(
        d.hdl, d.ln, level.level, &taxability, &local_code, &zero, d.enh ? req->enh_local_code : nullptr, nullptr,
        nullptr, taxable ? nullptr : &req->line_amount, &level.b, nullptr, nullptr, &level.a, &d.district_owner);
    std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "%s %s", x,
                  ok ? "passed." : "failed, returned FALSE.");
    if (ok == 0) return VTX_FAILED(VTX_TAX_CALL_FAILED, "%s\n", vertex_session.vtx_msg);
    VTX_LOG("%s\n", vertex_session.vtx_msg);
  }
  return kGoOn;
}

// The calculation, with the handle dumped around it when logging.
int calculate(Determination& d) {
  debug_dump("before calculation");
  const int calc = vertex_session.VstCalcTaxAdd(vertex_session.pVstConnHdl, d.hdl, 0, 0);
  if (calc != eVstCalcRetCdNone && calc != eVstCalcRetCdDone) {
    const char* name = vertex_calc_status_name(calc);
    if (name[0] != '\0') {
      std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg,
                    "VstCalcTax failed, returned eVstCalcRetCd%s.", name);
    } else {
      std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "VstCalcTax failed, returned ");
    }
    return VTX_FAILED(VTX_TAX_CALC_FAILED, "%s\n", vertex_session.vtx_msg);
  }
  VTX_LOG("VstCalcTax passed.\n");
  debug_dump("after calculation");
  return kGoOn;
}

// The invoice as the engine reads it back must be the request's.
int check_invoice(Determination& d) {
  VertexTaxRequest* req = d.req;
  ReadBuffer<VTX_INVOICE_SIZE> invoice;
  ReadBuffer<VTX_CUSTOMER_SIZE> customer_1, customer_2;
  ReadBuffer<VTX_COMPANY_SIZE> company;
  int ignored = 0;
  if (vertex_session.VstGetInvDetailAdd(d.hdl, nullptr, nullptr, invoice.text, nullptr, nullptr, nullptr,
                                        customer_1.text, customer_2.text, &ignored, company.text, nullptr, nullptr,
                                        nullptr, &d.write_flag) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstGetInvDetail failed, returned FALSE.\n");
  }
  VTX_LOG("VstGetInvDetail passed.\n");
  if (!same_trimmed(invoice.text, req->invoice_number)) {
    return VTX_FAILED(VTX_TAX_INVOICE_CHECK, "Invoice check failed.\n");
  }
  VTX_LOG("Invoice check passed.\n");
  if (!same_trimmed(customer_1.text, req->customer_1) ||
      !same_trimmed(customer_2.text, req->customer_2)) {
    return VTX_FAILED(VTX_TAX_CUSTOMER_CHECK, "Customer check failed.\n");
  }
  VTX_LOG("Customer check passed.\n");
  if (d.write_flag != (req->write_register == 1 ? 1 : 0)) {
    return VTX_FAILED(VTX_TAX_WRITE_REGISTER_CHECK, "Write register check failed");
  }
  if (!same_trimmed(req->company_code, company.text)) {
    return VTX_FAILED(VTX_TAX_COMPANY_CHECK, "Company code check failed");
  }
  VTX_LOG("Write register and company code check passed");
  return kGoOn;
}

// The line as read back (amount and user area); it names the taxing jurisdiction.
int check_line(Determination& d) {
  double amount_back = 0.0;
  ReadBuffer<VTX_USER_AREA_SIZE> user_area;
  int ignored = 0;
  if (vertex_session.VstGetLineDetailAdd(d.hdl, d.ln, nullptr, nullptr, nullptr, nullptr, &d.taxing_type, &amount_back,
                                         &d.res->line_a, &d.res->line_b, user_area.text, &ignored, nullptr, nullptr,
                                         nullptr, nullptr, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstGetLineDetail failed, returned FALSE");
  }
  VTX_LOG("VstGetLineDetail passed");
  if (!(amount_back == d.req->line_amount) || !same_trimmed(user_area.text, d.req->user_area)) {
    return VTX_FAILED(VTX_TAX_USER_AREA_CHECK, "User area check failed");
  }
  VTX_LOG("User area check passed");
  return kGoOn;
}

int check_product(Determination& d) {
  ReadBuffer<VTX_PRODUCT_SIZE> product_back;
  if (vertex_session.VstGetLineProdAdd(d.hdl, d.ln, nullptr, nullptr, product_back.text, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstGetLineProd failed, returned FALSE.\n");
  }
  VTX_LOG("VstGetLineProd passed.\n");
  if (!same_trimmed(d.req->product_code, product_back.text)) {
    return VTX_FAILED(VTX_TAX_PRODUCT_CHECK, "Product check failed.\n");
  }
  VTX_LOG("Product check passed.\n");
  return kGoOn;
}

// State, city, county and district into the result. A domestic line stops at
// the first level with status 22: the request then ends with the taxing
// jurisdiction's result, and the levels after it stay zero.
int read_levels(Determination& d) {
  VertexTaxResult* res = d.res;
  res->taxing_juris = vertex_juris_char(d.taxing_type);
  d.domestic = primary_foreign(d.req, d.taxing_type) == 1;
  struct Read {
    int level;
    const char* x;
    const char* passed;
    int fail_code;
    double* a;
    double* b;
  };
  const Read reads[] = {
      {eVstStLocTypeState, "VstGetLineLocal(eVstStLocTypeState)",
       "VstGetLineLocal(eVstStLocTypeState) passed.\n", VTX_TAX_STATE_READ, &res->state_a,
       &res->state_b},
      {eVstStLocTypeCity, "VstGetLineLocal(eVstStLocTypeCity)",
       "VstGetLineLocal(eVstStLocTypeCity) passed.\n", VTX_TAX_CITY_READ, &res->city_a,
       &res->city_b},
      // The enhanced county line has always carried this spelling.
      {eVstStLocTypeCnty, "VstGetLineLocal(eVstStLocTypeCnty)",
       d.enh ? "VstGetLineeLocal(eVstStLocTypeCnty) passed.\n"
             : "VstGetLineLocal(eVstStLocTypeCnty) passed.\n",
       VTX_TAX_COUNTY_READ, &res->county_a, &res->county_b},
      {eVstStLocTypeDist, "VstGetLineLocal(eVstStLocTypeDist)",
       "VstGetLineLocal(eVstStLocTypeDist) passed.\n", VTX_TAX_DISTRICT_READ, nullptr, nullptr},
  };
  int status = 0;
  bool stopped = false;
  double a = 0.0, b = 0.0;  // the district's values once read
  for (const Read& r : reads) {
    a = 0.0;
    b = 0.0;
    if (stopped) {
      if (r.a != nullptr) *r.a = *r.b = 0.0;
      VTX_LOG("%s", r.passed);
      continue;
    }
    double scratch_1 = 0.0, scratch_2 = 0.0;
    if (vertex_session.VstGetLineLocalAdd(d.hdl, d.ln, r.level, nullptr, &status, nullptr, &scratch_1, nullptr,
                                          &scratch_2, nullptr, &b, nullptr, nullptr, &a,
                                          r.level == eVstStLocTypeDist ? &d.district_owner : nullptr) == 0) {
      return VTX_FAILED(r.fail_code, "%s failed, returned FALSE.\n", r.x);
    }
    if (r.a != nullptr) {
      *r.a = a;
      *r.b = b;
    }
    VTX_LOG("%s", r.passed);
    stopped = d.domestic && status == eVstLevelStatusStop;
  }
  // District values (cleared when the district was not read).
  add_district(res, d.enh, d.district_owner, a, b, &res->district_a, &res->district_b);
  if (!stopped) return kGoOn;
  reset_vertex_handle();
  return vertex_juris_result(d.taxing_type);
}

// One additional locality's values into *a and *b; the engine's answer.
int read_addtl(Determination& d, int locality, int* status, double* a, double* b, int* owner) {
  double scratch_1 = 0.0, scratch_2 = 0.0;
  *a = *b = 0.0;
  return vertex_session.VstGetLineLocalAddtlAdd(d.hdl, d.ln, locality, nullptr, status, nullptr, &scratch_1, nullptr,
                                                &scratch_2, nullptr, b, nullptr, nullptr, a, &d.addtl_type, owner);
}

// Additional city, county and district into the result. A domestic line
// stops at the first with status 22 (addtl_stopped); a failed read resets the
// handle too, so the next request does not find this invoice in it.
int read_additional(Determination& d) {
  VertexTaxResult* res = d.res;
  int status = 0;
  double a = 0.0, b = 0.0;
  if (read_addtl(d, eVstLocAddtlTypeCity, &status, &a, &b, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_ADDTL_CITY_READ, "VstGetLineLocalAddtl(eVstLocAddtlTypeCity) failed, returned FALSE.\n");
  }
  res->addtl_city_b = b;
  res->addtl_city_a = a;
  VTX_LOG("VstGetLineLocalAddtl(eVstLocAddtlTypeCity) passed.\n");
  bool stopped = d.domestic && status == eVstLevelStatusStop;

  a = b = 0.0;
  if (!stopped) {
    if (read_addtl(d, eVstLocAddtlTypeCnty, &status, &a, &b, nullptr) == 0) {
      return VTX_FAILED(VTX_TAX_ADDTL_COUNTY_READ,
                        "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) failed, returned FALSE.\n");
    }
    stopped = d.domestic && status == eVstLevelStatusStop;
  }
  res->addtl_county_b = b;
  res->addtl_county_a = a;
  VTX_LOG("VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) passed.\n");

  int owner = 0;
  a = b = 0.0;
  if (!stopped) {
    // A district that no one owns may answer FALSE: there is nothing to read.
    if (read_addtl(d, eVstLocAddtlTypeDist, &status, &a, &b, &owner) == 0 && owner != 0) {
      return VTX_FAILED(VTX_TAX_ADDTL_DISTRICT_READ,
                        "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) failed, returned FALSE.\n");
    }
    stopped = d.domestic && status == eVstLevelStatusStop;
  }
  VTX_LOG("VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.\n");
  add_district(res, d.enh, owner, a, b, &res->addtl_district_a, &res->addtl_district_b);
  res->addtl_juris = vertex_juris_char(d.addtl_type);
  d.addtl_stopped = stopped;
  return kGoOn;
}

// After a stop at an additional locality of an invoice for the register, the
// line goes back to the engine with the summed level values and is
// calculated again; the levels are read once more without checks.
int resubmit(Determination& d) {
  const VertexTaxResult* res = d.res;
  double sum_b, sum_a;
  if (d.enh) {
    sum_b = res->state_b + res->county_b + res->city_b + res->district_b + res->addtl_county_b +
            res->addtl_city_b + res->addtl_district_b;
    sum_a = res->state_a + res->county_a + res->city_a + res->district_a + res->addtl_county_a +
            res->addtl_city_a + res->addtl_district_a;
  } else {
    sum_b = res->county_b + res->state_b + res->city_b;
    sum_a = res->county_a + res->city_a + res->state_a;
  }
  if (!(sum_b > 0.0)) {
    reset_vertex_handle();
    return VTX_JUR_OTHER;
  }
  int one = 1;
  if (vertex_session.VstSetLineDetailAdd(d.hdl, d.ln, 0, 0, 3, 0, &one, &d.req->line_amount, &sum_a, &sum_b,
                                         d.req->user_area, nullptr, nullptr, nullptr, nullptr, nullptr) == 0) {
    return VTX_FAILED(VTX_TAX_CALL_FAILED, "VstSetLineDetail failed, returned FALSE.\n");
  }
  VTX_LOG("VstSetLineDetail passed.\n");
  vertex_session.VstCalcTaxAdd(vertex_session.pVstConnHdl, d.hdl, 0, 0);
  VTX_LOG("VstCalcTax unknown status.\n");
  struct Reread {
    int level;
    const char* line;
  };
  const Reread rereads[] = {
      {eVstStLocTypeCnty, "VstGetLineLocal(eVstStLocTypeCnty) unknown status.\n"},
      {eVstStLocTypeCity, "VstGetLineLocal(eVstStLocTypeCity) unknown status.\n"},
      // The enhanced state line has always carried this spelling.
      {eVstStLocTypeState, d.enh ? "VstGetlineLocal(eVstStLocTypeState) unknown status.\n"
                                 : "VstGetLineLocal(eVstStLocTypeState) unknown status.\n"},
      {eVstStLocTypeDist, "VstGetLineLocal(eVstStLocTypeDist) unknown status.\n"},
  };
  for (const Reread& r : rereads) {
    int status = 0;
    vertex_session.VstGetLineLocalAdd(d.hdl, d.ln, r.level, nullptr, &status, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    VTX_LOG("%s", r.line);
  }
  reset_vertex_handle();
  return vertex_juris_result(d.addtl_type);
}

int determine(VertexTaxResult* res, VertexTaxRequest* req, bool enh) {
  if (res == nullptr || req == nullptr) return VTX_TAX_CALL_FAILED;
  if (!vertex_tax_ready()) {
    // Never hand the engine a null handle or call an unresolved entry point.
    VTX_LOG("Vertex engine not open.\n");
    return VTX_TAX_CALL_FAILED;
  }
  Determination d{res, req, enh, vertex_session.pVstHdl, req->line_number};
  // Load the invoice and its line, calculate, check the read-back, read the
  // levels and the additional localities.
  using Step = int (*)(Determination&);
  const Step steps[] = {set_jurisdictions, set_invoice, set_line, set_product, set_levels,
                        calculate, check_invoice, check_line, check_product, read_levels,
                        read_additional};
  for (Step step : steps) {
    const int code = step(d);
    if (code != kGoOn) return code;
  }
  if (!d.addtl_stopped) return reset_vertex_handle();
  if (req->write_register != 1) {
    reset_vertex_handle();
    return vertex_juris_result(d.addtl_type);
  }
  return resubmit(d);
}

}  // namespace

char vertex_juris_char(int juris_type) {
  switch (juris_type) {
    case eVstTaxJurisShipTo: return 'T';
    case eVstTaxJurisShipFrom: return 'F';
    case eVstTaxJurisOrderAccept: return 'A';
  }
  return ' ';
}

int vertex_juris_result(int juris_type) {
  switch (juris_type) {
    case eVstTaxJurisShipTo: return VTX_JUR_SHIP_TO;
    case eVstTaxJurisShipFrom: return VTX_JUR_SHIP_FROM;
    case eVstTaxJurisOrderAccept: return VTX_JUR_ORDER_ACCEPT;
  }
  return VTX_JUR_OTHER;
}

int determine_tax_vertex(VertexTaxResult* res, VertexTaxRequest* req) {
  return determine(res, req, false);
}

int determine_tax_vertex_enh(VertexTaxResult* res, VertexTaxRequest* req) {
  return determine(res, req, true);
}

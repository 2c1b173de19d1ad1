// vtx_calc: what one calculation handle of the stand-in engine holds, and
// the tax calculation over it.
//
// A CalcHandle is one invoice with one line: the three jurisdictions, the
// invoice and line details, the product, the per-level settings, and after a
// calculation the results per level. The tax library's entry points fill it
// (Set*), calculate it and read it back (Get*); see README.md for the rules.
#pragma once

#include <memory>
#include <string>

#include "vtx_geo_db.h"
#include "vtx_rate_db.h"
#include "vtx_tdm_db.h"

namespace vtx {

// Calculation status values (as the tax library reports them).
enum {
  kCalcOk = 0,
  kCalcBadHandle = 1,
  kCalcNoJurisdiction = 2,
  kCalcNoLine = 3,
  kCalcLocDbConn = 4,
  kCalcRateDbConn = 6,
  kCalcDoneWithUnknown = 8,
  kCalcTdmDbConn = 9,
  kCalcRegDbConn = 11,
  kCalcRegDbError = 12,
};
// Level status of a level whose jurisdiction has no rate on file.
constexpr int kLevelUnknown = 22;
// Taxing-jurisdiction types reported back: ship-to, ship-from, order acceptance.
constexpr int kTaxingTypeOf[3] = {2, 3, 4};

// The databases of one tax connection; null members are not open.
struct VstDatabases {
  std::shared_ptr<const GeoDb> geo;
  std::shared_ptr<const RateDb> rate;
  std::shared_ptr<const TdmDb> tdm;
  bool register_open = false;
  bool register_writable = false;
  std::string register_path;
};

struct JurisSetting {
  bool set = false;
  long long geo = 0;
  int flag = 0;  // 1: outside the city limits
};

struct Invoice {
  JurisSetting juris[3];  // by eVstJurisType: ship-to, ship-from, order acceptance
  bool detail_set = false;
  std::string text, number, customer_1, customer_2, company, enh_code;
  long long date = 0;
  int mode = 0;
  int write_register = 0;
};

struct LocalSetting {
  bool set = false;
  int taxability = 0;
  int local_code = 0;
  bool has_amount = false;
  double amount = 0.0;
  bool has_a = false;
  double a = 0.0;
  bool has_b = false;
  double b = 0.0;
  int owner = 0;
  std::string text;
};

// clang-tidy 14 names the index of the implicit copy of `local` __i0 and
// reports its own name.
struct Line {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
  bool set = false;
  long long number = 0;
  int transaction_type = 0;
  int line_kind = 0;
  int one = 0;
  double amount = 0.0;
  bool has_totals = false;  // a re-submission gave the line's rate and tax
  double total_a = 0.0;
  double total_b = 0.0;
  std::string user_area, enh_line_text, enh_code;
  bool product_set = false;
  double product_value = 0.0;
  double product_copy = 0.0;
  std::string product_code;
  LocalSetting local[4];  // by level: state, county, city, district
};

struct LevelResult {
  int status = 0;
  double rate = 0.0;    // value A
  double tax = 0.0;     // value B
  double base = 0.0;    // taxable amount
  double exempt = 0.0;  // non-taxable amount
  int owner = 0;        // districts
};

struct CalcResult {
  bool done = false;
  int taxing_type = 0;
  long long taxing_geo = 0;
  int addtl_type = 0;
  LevelResult level[4];  // state, county, city, district
  LevelResult addtl[3];  // county, city, district
  double line_a = 0.0;
  double line_b = 0.0;
};

struct CalcHandle {
  Invoice invoice;
  Line line;
  CalcResult result;
};

// Calculates the handle's line into h->result and returns the calculation
// status (kCalcOk or kCalcDoneWithUnknown when done). Writes no register.
int calculate(const VstDatabases& dbs, CalcHandle* h);

// Appends the handle's invoice to the register when its write-register flag
// asks for it and `status` (of calculate) allows it; returns the status to
// report (kCalcRegDbConn or kCalcRegDbError when the register fails).
int write_register(const VstDatabases& dbs, const CalcHandle& h, int status);

// The register line of the handle (without newline), stamped `stamp`.
std::string register_line(const CalcHandle& h, const std::string& stamp);

// A readable dump of everything the handle holds, for VstDebugHdl.
std::string dump_handle(const CalcHandle& h);

}  // namespace vtx

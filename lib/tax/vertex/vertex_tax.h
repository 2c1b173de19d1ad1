// vertex_tax: the Vertex tax determination of one parsed request, in
// standard and enhanced form.
//
// The determination loads the invoice and its line into the session's
// calculation handle, calculates, checks what the engine reads back against
// the request, reads the levels and additional localities into the result and
// leaves the handle reset on every path. The caller owns both records; the
// request's texts are trimmed in place by the checks.
#pragma once

#include "vertex_parse.h"

struct VertexTaxResult {
  double state_a, county_a, city_a, district_a;
  double addtl_county_a, addtl_city_a, addtl_district_a;
  double state_b, county_b, city_b, district_b;
  double addtl_county_b, addtl_city_b, addtl_district_b;
  double line_a, line_b;  // the line values VstGetLineDetail reports
  char taxing_juris;      // 'T', 'F', 'A' or blank
  char addtl_juris;       // the same for the additional localities
};

// Result codes.
enum {
  VTX_TAX_OK = 0,
  VTX_JUR_SHIP_TO = 1,         // status-22 stops, by jurisdiction type
  VTX_JUR_SHIP_FROM = 10,
  VTX_JUR_ORDER_ACCEPT = 100,
  VTX_JUR_OTHER = 111,
  VTX_TAX_CALL_FAILED = 20,
  VTX_TAX_INVOICE_CHECK = 21,
  VTX_TAX_WRITE_REGISTER_CHECK = 23,
  VTX_TAX_USER_AREA_CHECK = 24,
  VTX_TAX_PRODUCT_CHECK = 25,
  VTX_TAX_CALC_FAILED = 26,
  VTX_TAX_COMPANY_CHECK = 27,
  VTX_TAX_STATE_READ = 28,
  VTX_TAX_CITY_READ = 29,
  VTX_TAX_COUNTY_READ = 30,
  VTX_TAX_DISTRICT_READ = 31,
  VTX_TAX_ADDTL_COUNTY_READ = 32,
  VTX_TAX_ADDTL_CITY_READ = 33,
  VTX_TAX_ADDTL_DISTRICT_READ = 34,
  VTX_TAX_CUSTOMER_CHECK = 35,
  VTX_TAX_RESET_FAILED = 36
};

// What a failed determination's result says, in words (the ERP side explains
// an error code 1500 + result with it); null for a result without words.
inline const char* vertex_result_text(int result) {
  switch (result) {
    case VTX_TAX_CALL_FAILED: return "an engine call answered FALSE";
    case VTX_TAX_INVOICE_CHECK: return "invoice check failed";
    case VTX_TAX_WRITE_REGISTER_CHECK: return "write register check failed";
    case VTX_TAX_USER_AREA_CHECK: return "user area check failed";
    case VTX_TAX_PRODUCT_CHECK: return "product check failed";
    case VTX_TAX_CALC_FAILED: return "calculation failed";
    case VTX_TAX_COMPANY_CHECK: return "company code check failed";
    case VTX_TAX_STATE_READ: return "state level read failed";
    case VTX_TAX_CITY_READ: return "city level read failed";
    case VTX_TAX_COUNTY_READ: return "county level read failed";
    case VTX_TAX_DISTRICT_READ: return "district level read failed";
    case VTX_TAX_ADDTL_COUNTY_READ: return "additional county read failed";
    case VTX_TAX_ADDTL_CITY_READ: return "additional city read failed";
    case VTX_TAX_ADDTL_DISTRICT_READ: return "additional district read failed";
    case VTX_TAX_CUSTOMER_CHECK: return "customer check failed";
    case VTX_TAX_RESET_FAILED: return "handle reset failed";
    default: return nullptr;
  }
}

// Returns a result code above. A session that cannot take the request (entry
// points or handles missing) gives 20 without any engine call.
int determine_tax_vertex(VertexTaxResult* res, VertexTaxRequest* req);
int determine_tax_vertex_enh(VertexTaxResult* res, VertexTaxRequest* req);

// 'T', 'F', 'A' for the taxing-jurisdiction types 2, 3, 4; blank otherwise.
char vertex_juris_char(int juris_type);
// 1, 10, 100, 111 for the types 2, 3, 4 and any other.
int vertex_juris_result(int juris_type);

#include "vertex_request.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "erp_peer.h"
#include "request_fields.h"

namespace erp {

namespace {

// Fields 6 to 37, the same in both tax forms.
const NamedField kTaxCommon[] = {
    {6, "ship_to_city", "ship-to city (25)"},
    {7, "ship_to_state", "ship-to state (2)"},
    {8, "ship_to_zip", "ship-to ZIP code (6)"},
    {9, "ship_to_geo", "ship-to geo code (11 digits)"},
    {10, "ship_to_flag", "ship-to jurisdiction flag (number, truncated)"},
    {11, "ship_from_city", "ship-from city (25)"},
    {12, "ship_from_state", "ship-from state (2)"},
    {13, "ship_from_zip", "ship-from ZIP code (6)"},
    {14, "ship_from_geo", "ship-from geo code (11 digits)"},
    {15, "ship_from_flag", "ship-from jurisdiction flag (number, truncated)"},
    {16, "order_accept_city", "order-acceptance city (25)"},
    {17, "order_accept_state", "order-acceptance state (2)"},
    {18, "order_accept_zip", "order-acceptance ZIP code (6)"},
    {19, "order_accept_geo", "order-acceptance geo code (11 digits)"},
    {20, "order_accept_flag", "order-acceptance jurisdiction flag (number, truncated)"},
    {21, "line_kind", "line kind, 2 to 6 (number, truncated)"},
    {22, "line_amount", "line amount (real)"},
    {23, "unused23", "not used (real)"},
    {24, "unused24", "not used (real)"},
    {25, "transaction_type", "transaction type, 1 to 3 (integer)"},
    {26, "prod_number", "product number (integer)"},
    {27, "product_code", "product code (32)"},
    {28, "customer_1", "first customer code (32)"},
    {29, "customer_2", "second customer code (32)"},
    {30, "invoice_number", "invoice number (30, leading blanks dropped)"},
    {31, "invoice_text", "invoice text (8)"},
    {32, "line_number", "line number (integer)"},
    {33, "invoice_flag", "invoice flag, 1 = mode 3 (integer)"},
    {34, "write_register", "write register, 1 = yes (integer)"},
    {35, "company_code", "company code (5)"},
    {36, "user_area", "user area (25)"},
    {37, "local_override", "local-level settings switch (integer)"},
};

const NamedField kTaxStd[] = {
    {38, "state_a", "state value A (real)"},   {39, "county_a", "county value A (real)"},
    {40, "city_a", "city value A (real)"},     {41, "unused41", "not used (real)"},
    {42, "unused42", "not used (real)"},       {43, "state_b", "state value B (real)"},
    {44, "county_b", "county value B (real)"}, {45, "city_b", "city value B (real)"},
    {46, "unused46", "not used (real)"},       {47, "unused47", "not used (real)"},
};

const NamedField kTaxEnh[] = {
    {38, "state_a", "state value A (real)"},
    {39, "county_a", "county value A (real)"},
    {40, "city_a", "city value A (real)"},
    {41, "district_a", "district value A (real)"},
    {42, "unused42", "not used (real)"},
    {43, "unused43", "not used (real)"},
    {44, "unused44", "not used (real)"},
    {45, "state_b", "state value B (real)"},
    {46, "county_b", "county value B (real)"},
    {47, "city_b", "city value B (real)"},
    {48, "district_b", "district value B (real)"},
    {49, "unused49", "not used (real)"},
    {50, "unused50", "not used (real)"},
    {51, "unused51", "not used (real)"},
    {52, "enh_code", "enhanced code (5)"},
    {53, "enh_local_code", "enhanced local code (1)"},
    {54, "enh_line_text", "enhanced line text (32)"},
    {55, "local_kind", "local kind, 5 to 7 (number, truncated)"},
};

const NamedField kAddr[] = {
    {6, "city", "city name (25)"},
    {7, "state", "state (2)"},
    {8, "zip", "ZIP code (7)"},
};

// Body values of the result messages, after the five header fields.
const char* const kTaxResult[] = {
    "state_a",        "county_a",     "city_a",  "addtl_county_a", "addtl_city_a",
    "state_b",        "county_b",     "city_b",  "addtl_county_b", "addtl_city_b",
    "line_a",         "line_b",       "taxing_juris", "addtl_juris"};
const char* const kTaxEnhResult[] = {
    "state_a",  "county_a", "city_a",   "district_a",     "addtl_county_a", "addtl_city_a",
    "addtl_district_a", "state_b", "county_b", "city_b", "district_b", "addtl_county_b",
    "addtl_city_b", "addtl_district_b", "line_a", "line_b"};
const char* const kAddrResult[] = {"city", "state", "zip", "geo_code", "county"};

const RequestTables kTables = {field_table(kTaxCommon), field_table(kTaxStd), field_table(kTaxEnh),
                                field_table(kAddr)};
const KindResults kResults = {result_names(kTaxResult), result_names(kTaxEnhResult), result_names(kAddrResult)};

const char* tax_result_cause(long r) {
  static const std::map<long, const char*> kCauses = {
      {20, "an engine call answered FALSE"},
      {21, "invoice check failed"},
      {23, "write register check failed"},
      {24, "user area check failed"},
      {25, "product check failed"},
      {26, "calculation failed"},
      {27, "company code check failed"},
      {28, "state level read failed"},
      {29, "city level read failed"},
      {30, "county level read failed"},
      {31, "district level read failed"},
      {32, "additional county read failed"},
      {33, "additional city read failed"},
      {34, "additional district read failed"},
      {35, "customer check failed"},
      {36, "handle reset failed"},
  };
  const auto it = kCauses.find(r);
  return it != kCauses.end() ? it->second : "unknown result";
}

std::string error_meaning(std::string_view kind, double code) {
  if (code < 1000) return process_error_meaning(code);
  char text[160];
  if (kind == "addr" || (code >= 1401 && code < 1403)) {
    if (std::lround(code) == 1401) return "address lookup failed: the engine failed";
    if (std::lround(code) == 1402) return "address lookup failed: criteria refused or nothing matched";
    return "unknown code";
  }
  if (code >= 1600 && code < 1601) {
    const long r = std::lround((code - 1600) * 10000);
    const char* where = r == 1 ? "ship-to" : r == 10 ? "ship-from" : r == 100 ? "order acceptance" : "other";
    std::snprintf(text, sizeof text, "jurisdiction stop, result %ld (taxing jurisdiction: %s)", r, where);
    return text;
  }
  const long r = std::lround(code - 1500);
  std::snprintf(text, sizeof text, "tax determination failed, result %ld (%s)", r, tax_result_cause(r));
  return text;
}

}  // namespace

bool build_vertex_body(std::string_view kind,
                       const std::vector<std::pair<std::string, std::string>>& fields,
                       std::string* body, std::string* err) {
  return build_named_body(kTables, "Vertex", kind, fields, body, err);
}

std::string describe_vertex_reply(std::string_view kind, std::string_view reply) {
  const std::vector<std::string> f = split_fields(reply);
  const ReplyNames names = {"completion_code", "sequence", results_of(kind, kResults), "field", error_meaning};
  std::string out;
  if (describe_known_reply(kind, f, names, &out)) return out;
  append_line(&out, "message", "unknown");
  for (std::size_t i = 0; i < f.size(); ++i) append_line(&out, "field" + std::to_string(i + 1), f[i]);
  return out;
}

std::string vertex_request_help() {
  std::string out =
      "Vertex request kinds and their fields (NAME=VALUE, or fN=VALUE by number;\n"
      "fields not named are sent empty; widths in characters):\n";
  for (const char* kind : {"tax", "tax-enh", "addr"}) {
    KindFields k;
    kind_fields(kind, kTables, &k);
    out += std::string("\n") + kind + " (fields 6 to " + std::to_string(k.last) + "):\n";
    for (const NamedField* f : k.fields) {
      char row[160];
      std::snprintf(row, sizeof row, "  %-20s f%-3d %s\n", f->name, f->number, f->what);
      out += row;
    }
  }
  return out;
}

}  // namespace erp

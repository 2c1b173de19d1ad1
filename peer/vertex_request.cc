#include "vertex_request.h"

#include <cstdio>

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

}  // namespace

bool build_vertex_body(std::string_view kind,
                       const std::vector<std::pair<std::string, std::string>>& fields,
                       std::string* body, std::string* err) {
  return build_named_body(kTables, "Vertex", kind, fields, body, err);
}

NamedReply name_vertex_reply(std::string_view kind, std::string_view reply) {
  return name_reply(reply, ReplyNames{"completion_code", "sequence", results_of(kind, kResults), "field"});
}

std::string describe_vertex_reply(std::string_view kind, std::string_view reply) {
  return reply_lines(name_vertex_reply(kind, reply));
}

bool vertex_kind_fields(std::string_view kind, KindFields* out) { return kind_fields(kind, kTables, out); }

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

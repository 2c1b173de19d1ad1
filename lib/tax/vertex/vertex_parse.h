// vertex_parse: the Vertex tax request record and its two parsers (standard
// and enhanced form), the address request's parser, and the small helpers
// of the tax path.
//
// The record is owned by whoever allocated it (the adapter, zero-filled, one
// per request); the parsers write into it and keep nothing. Every text member
// of N bytes holds at most N-1 characters and stays terminated: longer request
// fields are cut to the member's width.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vertex_addr.h"

struct VertexJurisdiction {
  char city[26];
  char state[3];
  char zip[7];
  char geo_code[12];    // decimal geo code, converted when the jurisdiction is set
  std::int32_t juris_flag;
};
static_assert(offsetof(VertexJurisdiction, state) == 26);
static_assert(offsetof(VertexJurisdiction, zip) == 29);
static_assert(offsetof(VertexJurisdiction, geo_code) == 36);
static_assert(offsetof(VertexJurisdiction, juris_flag) == 48);
static_assert(sizeof(VertexJurisdiction) == 52);

struct VertexTaxRequest {
  VertexJurisdiction ship_from;     // fields 11-15
  VertexJurisdiction ship_to;       // fields 6-10
  VertexJurisdiction order_accept;  // fields 16-20
  char invoice_text[9];             // 31
  char invoice_number[31];          // 30, leading blanks dropped
  char customer_1[33];              // 28
  char customer_2[33];              // 29
  char company_code[6];             // 35
  char user_area[26];               // 36
  char product_code[33];            // 27
  char enh_code[6];                 // 52, enhanced only
  char enh_local_code[2];           // 53, enhanced only
  char enh_line_text[33];           // 54, enhanced only
  std::int32_t invoice_flag;        // 33
  std::int32_t write_register;      // 34
  std::int32_t line_kind;           // 21
  std::int32_t transaction_type;    // 25
  std::int32_t line_number;         // 32
  std::int32_t prod_number;         // 26
  std::int32_t local_override;      // 37
  std::int32_t local_kind;          // 55, enhanced only
  double line_amount;               // 22
  double state_a, county_a, city_a, district_a;  // level values A
  double state_b, county_b, city_b, district_b;  // level values B
};
static_assert(offsetof(VertexTaxRequest, ship_to) == 52);
static_assert(offsetof(VertexTaxRequest, order_accept) == 104);
static_assert(offsetof(VertexTaxRequest, invoice_text) == 156);
static_assert(offsetof(VertexTaxRequest, invoice_number) == 165);
static_assert(offsetof(VertexTaxRequest, customer_1) == 196);
static_assert(offsetof(VertexTaxRequest, customer_2) == 229);
static_assert(offsetof(VertexTaxRequest, company_code) == 262);
static_assert(offsetof(VertexTaxRequest, user_area) == 268);
static_assert(offsetof(VertexTaxRequest, product_code) == 294);
static_assert(offsetof(VertexTaxRequest, enh_code) == 327);
static_assert(offsetof(VertexTaxRequest, enh_local_code) == 333);
static_assert(offsetof(VertexTaxRequest, enh_line_text) == 335);
static_assert(offsetof(VertexTaxRequest, invoice_flag) == 368);
static_assert(offsetof(VertexTaxRequest, local_kind) == 396);
static_assert(offsetof(VertexTaxRequest, line_amount) == 400);
static_assert(offsetof(VertexTaxRequest, state_a) == 408);
static_assert(offsetof(VertexTaxRequest, district_b) == 464);
static_assert(sizeof(VertexTaxRequest) == 472);

// The last field of each form.
constexpr int VTX_LAST_FIELD_STD = 47;
constexpr int VTX_LAST_FIELD_ENH = 55;

// Parse the whole received text (header included) into the zeroed `req`,
// from field `first_field` on (fields below it are skipped). Missing and empty
// fields leave their members zero or empty; extra fields are ignored.
void format_vertex_jur(const char* text, VertexTaxRequest* req, int first_field);
void format_vertex_jur_enh(const char* text, VertexTaxRequest* req, int first_field);

// Copies body fields 6, 7 and 8 of `text` into city, state and zip, each cut
// to its member; a missing or empty field leaves its member empty.
void format_vertex_addr(const char* text, VertexAddrRec* rec);

// Removes trailing blanks (0x20 only) in place; returns `text`.
char* strip_ascii(char* text);

// 0 when the jurisdiction named by the engine's taxing-jurisdiction type
// (2 ship-to, 3 ship-from, 4 order-acceptance) has a geo code starting with
// "77" (foreign); 1 (domestic) otherwise and for every other type.
int primary_foreign(const VertexTaxRequest* req, int juris_type);

// result x 0.0001: the part of a jurisdiction result's error code after 1600.
double get_jur_error_vertex(int result);

#include "vertex_reply.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "api_reply.h"

namespace {

// The result message of `values`, then the characters `chars` each followed by
// its "~" (a zero character gives the "~" alone). Returns its length, or
// `size` when it does not fit whole ("%f" of a huge double needs over 300
// characters; such a result is never sent cut).
int format_result(char* out, std::size_t size, std::initializer_list<double> values,
                  std::initializer_list<char> chars) {
  std::memset(out, 0, size);
  ApiReplyWriter w(out, size);
  w.header(API_MSG_RESULT, API_ACTION_TAX, API_STYPE_VERTEX, 1);
  for (double v : values) w.printf("%f~", v);
  for (char c : chars) c != '\0' ? w.printf("%c~", c) : w.printf("~");
  return w.ok() ? static_cast<int>(w.length()) : static_cast<int>(size);
}

int send_status(char* out) {
  api_format_status(out, API_ACTION_TAX, API_STYPE_VERTEX, 1, 0);
  return api_send_text(out, API_REPLY_MTYPE) != 0 ? 1 : 0;
}

}  // namespace

int format_vertex_tax_result(const VertexTaxResult* r, char* out, std::size_t size) {
  return format_result(out, size,
                       {r->state_a, r->county_a, r->city_a, r->addtl_county_a, r->addtl_city_a, r->state_b,
                        r->county_b, r->city_b, r->addtl_county_b, r->addtl_city_b, r->line_a, r->line_b},
                       {r->taxing_juris, r->addtl_juris});
}

int format_vertex_tax_result_enh(const VertexTaxResult* r, char* out, std::size_t size) {
  return format_result(out, size,
                       {r->state_a, r->county_a, r->city_a, r->district_a, r->addtl_county_a, r->addtl_city_a,
                        r->addtl_district_a, r->state_b, r->county_b, r->city_b, r->district_b, r->addtl_county_b,
                        r->addtl_city_b, r->addtl_district_b, r->line_a, r->line_b},
                       {});
}

int send_vertex_tax(const VertexTaxResult* res, char* out) {
  if (res == nullptr || out == nullptr) return 1;
  if (send_status(out) != 0) return 1;
  format_vertex_tax_result(res, out, API_TEXT_SIZE);
  return api_send_text(out, API_REPLY_MTYPE) != 0 ? 1 : 0;
}

int send_vertex_tax_enh(const VertexTaxResult* res, char* out) {
  if (res == nullptr || out == nullptr) return 1;
  if (send_status(out) != 0) return 1;
  format_vertex_tax_result_enh(res, out, API_TEXT_SIZE);
  return api_send_text(out, API_REPLY_MTYPE) != 0 ? 1 : 0;
}

bool vertex_tax_result_fits(const VertexTaxResult* res, int enhanced) {
  // The usual case is settled without formatting the reply twice: the
  // header, sixteen narrow values and two characters, each with its "~".
  static_assert(10 + 16 * (API_NARROW_WIDTH + 1) + 4 < API_TEXT_SIZE);
  const VertexTaxResult& r = *res;
  bool narrow = true;
  for (double v : {r.state_a, r.county_a, r.city_a, r.district_a, r.addtl_county_a, r.addtl_city_a,
                   r.addtl_district_a, r.state_b, r.county_b, r.city_b, r.district_b, r.addtl_county_b,
                   r.addtl_city_b, r.addtl_district_b, r.line_a, r.line_b}) {
    narrow = narrow && api_is_narrow(v);
  }
  if (narrow) return true;
  char scratch[API_TEXT_SIZE];
  const int n = enhanced ? format_vertex_tax_result_enh(res, scratch, sizeof scratch)
                         : format_vertex_tax_result(res, scratch, sizeof scratch);
  return static_cast<std::size_t>(n) < API_TEXT_SIZE;
}

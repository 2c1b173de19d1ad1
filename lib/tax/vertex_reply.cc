#include "vertex_reply.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "api_msg.h"

namespace {

// "%f" of a huge double needs over 300 characters; the twelve or sixteen
// values of a reply must never run past the output text, so the result is
// cut at the buffer's end and still terminated (snprintf).
int finish(int n, std::size_t size) {
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? n : static_cast<int>(size - 1);
}

int send_status(char* out) {
  std::memset(out, 0, API_TEXT_SIZE);
  std::snprintf(out, API_TEXT_SIZE, "%d%s%d%s%d%s%d%s%d%s%d%s", MSG_STATUS, "~", 1, "~", 1, "~", 2,
                "~", 1, "~", 0, "~");
  return api_send_request(1) != 0 ? 1 : 0;
}

}  // namespace

int format_vertex_tax_result(const VertexTaxResult* r, char* out, std::size_t size) {
  std::memset(out, 0, size);
  int n = std::snprintf(
      out, size, "%d%s%d%s%d%s%d%s%d%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s",
      MSG_RESULT, "~", 1, "~", 1, "~", 2, "~", 1, "~", r->state_a, "~", r->county_a, "~", r->city_a,
      "~", r->addtl_county_a, "~", r->addtl_city_a, "~", r->state_b, "~", r->county_b, "~",
      r->city_b, "~", r->addtl_county_b, "~", r->addtl_city_b, "~", r->line_a, "~", r->line_b, "~");
  std::size_t len = static_cast<std::size_t>(finish(n, size));
  // Each character and its delimiter; a zero character appends only the "~".
  for (char c : {r->taxing_juris, r->addtl_juris}) {
    if (c != '\0' && len + 1 < size) out[len++] = c;
    if (len + 1 < size) out[len++] = API_DELIM;
  }
  out[len] = '\0';
  return static_cast<int>(len);
}

int format_vertex_tax_result_enh(const VertexTaxResult* r, char* out, std::size_t size) {
  std::memset(out, 0, size);
  const int n = std::snprintf(
      out, size,
      "%d%s%d%s%d%s%d%s%d%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s%f%s",
      MSG_RESULT, "~", 1, "~", 1, "~", 2, "~", 1, "~", r->state_a, "~", r->county_a, "~",
      r->city_a, "~", r->district_a, "~", r->addtl_county_a, "~", r->addtl_city_a, "~",
      r->addtl_district_a, "~", r->state_b, "~", r->county_b, "~", r->city_b, "~", r->district_b,
      "~", r->addtl_county_b, "~", r->addtl_city_b, "~", r->addtl_district_b, "~", r->line_a, "~",
      r->line_b, "~");
  return finish(n, size);
}

int send_vertex_tax(const VertexTaxResult* res, char* out) {
  if (res == nullptr || out == nullptr) return 1;
  if (send_status(out) != 0) return 1;
  format_vertex_tax_result(res, out, API_TEXT_SIZE);
  return api_send_request(1) != 0 ? 1 : 0;
}

int send_vertex_tax_enh(const VertexTaxResult* res, char* out) {
  if (res == nullptr || out == nullptr) return 1;
  if (send_status(out) != 0) return 1;
  format_vertex_tax_result_enh(res, out, API_TEXT_SIZE);
  return api_send_request(1) != 0 ? 1 : 0;
}

int vertex_tax_result_fits(const VertexTaxResult* res, int enhanced) {
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
  if (narrow) return 1;
  // Sixteen values of over 300 characters each still fit here.
  char scratch[8 * API_TEXT_SIZE];
  const int n = enhanced ? format_vertex_tax_result_enh(res, scratch, sizeof scratch)
                         : format_vertex_tax_result(res, scratch, sizeof scratch);
  return static_cast<std::size_t>(n) < API_TEXT_SIZE ? 1 : 0;
}

#include "vertex_parse.h"

#include <cstring>

#include "api_msg.h"
#include "vertex_number.h"

namespace {

// Large enough for any field of a received text, so a number is converted
// whole however many characters it has.
constexpr std::size_t kScratchSize = API_TEXT_SIZE + 1;

enum class Conv { kText, kTrunc, kInt, kReal, kInvoice, kSkip };

struct FieldRule {
  int field;
  Conv conv;
  std::size_t offset;  // member of VertexTaxRequest
  std::size_t size;    // member width (text) or 0
};

#define TEXT(f, m) {f, Conv::kText, offsetof(VertexTaxRequest, m), sizeof(VertexTaxRequest::m)}
#define NUM(f, c, m) {f, c, offsetof(VertexTaxRequest, m), 0}
#define SKIP(f) {f, Conv::kSkip, 0, 0}

// Fields 6 to 37, the same in both forms.
#define VTX_COMMON_RULES                                                            \
  TEXT(6, ship_to.city), TEXT(7, ship_to.state), TEXT(8, ship_to.zip),               \
      TEXT(9, ship_to.geo_code), NUM(10, Conv::kTrunc, ship_to.juris_flag),          \
      TEXT(11, ship_from.city), TEXT(12, ship_from.state), TEXT(13, ship_from.zip),  \
      TEXT(14, ship_from.geo_code), NUM(15, Conv::kTrunc, ship_from.juris_flag),     \
      TEXT(16, order_accept.city), TEXT(17, order_accept.state),                     \
      TEXT(18, order_accept.zip), TEXT(19, order_accept.geo_code),                   \
      NUM(20, Conv::kTrunc, order_accept.juris_flag), NUM(21, Conv::kTrunc, line_kind), \
      NUM(22, Conv::kReal, line_amount), SKIP(23), SKIP(24),                         \
      NUM(25, Conv::kInt, transaction_type), NUM(26, Conv::kInt, prod_number),       \
      TEXT(27, product_code), TEXT(28, customer_1), TEXT(29, customer_2),            \
      {30, Conv::kInvoice, offsetof(VertexTaxRequest, invoice_number),               \
       sizeof(VertexTaxRequest::invoice_number)},                                    \
      TEXT(31, invoice_text), NUM(32, Conv::kInt, line_number),                      \
      NUM(33, Conv::kInt, invoice_flag), NUM(34, Conv::kInt, write_register),        \
      TEXT(35, company_code), TEXT(36, user_area), NUM(37, Conv::kInt, local_override)

const FieldRule kStandardRules[] = {
    VTX_COMMON_RULES,
    NUM(38, Conv::kReal, state_a), NUM(39, Conv::kReal, county_a), NUM(40, Conv::kReal, city_a),
    SKIP(41), SKIP(42),
    NUM(43, Conv::kReal, state_b), NUM(44, Conv::kReal, county_b), NUM(45, Conv::kReal, city_b),
    SKIP(46), SKIP(47),
};

const FieldRule kEnhancedRules[] = {
    VTX_COMMON_RULES,
    NUM(38, Conv::kReal, state_a), NUM(39, Conv::kReal, county_a), NUM(40, Conv::kReal, city_a),
    NUM(41, Conv::kReal, district_a), SKIP(42), SKIP(43), SKIP(44),
    NUM(45, Conv::kReal, state_b), NUM(46, Conv::kReal, county_b), NUM(47, Conv::kReal, city_b),
    NUM(48, Conv::kReal, district_b), SKIP(49), SKIP(50), SKIP(51),
    TEXT(52, enh_code), TEXT(53, enh_local_code), TEXT(54, enh_line_text),
    NUM(55, Conv::kTrunc, local_kind),
};

#undef TEXT
#undef NUM
#undef SKIP
#undef VTX_COMMON_RULES

template <typename T>
void store(VertexTaxRequest* req, std::size_t offset, T value) {
  std::memcpy(reinterpret_cast<char*>(req) + offset, &value, sizeof value);
}

void apply(const FieldRule& rule, const char* text, VertexTaxRequest* req, char* scratch) {
  char* member = reinterpret_cast<char*>(req) + rule.offset;
  switch (rule.conv) {
    case Conv::kText:
      // The record starts zeroed and the copy is bounded to size - 1, so the
      // member stays terminated.
      get_field_of_msg(rule.field, text, member, rule.size);
      return;
    case Conv::kInvoice: {
      std::memset(scratch, 0, kScratchSize);
      if (get_field_of_msg(rule.field, text, scratch, kScratchSize) > 0) {
        const char* start = scratch;
        while (*start == ' ') ++start;
        std::memset(member, 0, rule.size);
        std::strncpy(member, start, rule.size - 1);
      }
      return;
    }
    case Conv::kSkip:
      return;
    default:
      break;
  }
  std::memset(scratch, 0, kScratchSize);
  get_field_of_msg(rule.field, text, scratch, kScratchSize);
  switch (rule.conv) {
    case Conv::kTrunc: store<std::int32_t>(req, rule.offset, vertex_trunc_of(scratch)); break;
    case Conv::kInt: store<std::int32_t>(req, rule.offset, vertex_int_of(scratch)); break;
    case Conv::kReal: store<double>(req, rule.offset, vertex_real_of(scratch)); break;
    default: break;
  }
}

template <std::size_t N>
void parse(const char* text, VertexTaxRequest* req, int first_field, const FieldRule (&rules)[N]) {
  if (text == nullptr || req == nullptr) return;
  char scratch[kScratchSize];
  for (const FieldRule& rule : rules) {
    if (rule.field >= first_field) apply(rule, text, req, scratch);
  }
}

}  // namespace

void format_vertex_jur(const char* text, VertexTaxRequest* req, int first_field) {
  parse(text, req, first_field, kStandardRules);
}

void format_vertex_jur_enh(const char* text, VertexTaxRequest* req, int first_field) {
  parse(text, req, first_field, kEnhancedRules);
}

char* strip_ascii(char* text) {
  if (text == nullptr) return text;
  char* end = text;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p != ' ') end = p + 1;
  }
  *end = '\0';
  return text;
}

int primary_foreign(const VertexTaxRequest* req, int juris_type) {
  if (req == nullptr) return 1;
  const VertexJurisdiction* juris = nullptr;
  switch (juris_type) {
    case 2: juris = &req->ship_to; break;
    case 3: juris = &req->ship_from; break;
    case 4: juris = &req->order_accept; break;
    default: return 1;
  }
  return (juris->geo_code[0] == '7' && juris->geo_code[1] == '7') ? 0 : 1;
}

double get_jur_error_vertex(int result) { return static_cast<double>(result) * 0.0001; }

void format_vertex_addr(const char* text, VertexAddrRec* rec) {
  if (rec == nullptr) return;
  // City and state are cut one byte short of their members and stay
  // terminated; the ZIP code may fill its member completely.
  get_field_of_msg(6, text, rec->city, sizeof rec->city);
  get_field_of_msg(7, text, rec->state, sizeof rec->state);
  char zip[sizeof rec->zip + 1] = {};
  if (get_field_of_msg(8, text, zip, sizeof zip) > 0) std::memcpy(rec->zip, zip, sizeof rec->zip);
}

#include "avp_parse.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "api_msg.h"
#include "avp_log.h"

const int avp_enh_level_order[AVP_LEVELS] = {0, 1, 2, 3, 7, 6, 4, 5};

namespace {

// How one request field lands in a record; tables of these drive the parsers.
enum AvpFieldKind { AVP_TEXT, AVP_CHAR, AVP_INT, AVP_DOUBLE, AVP_FLOAT };
enum AvpRecord { AVP_JUR, AVP_TAX, AVP_ZIP };

struct AvpFieldTarget {
  int field;            // request field number
  AvpRecord record;
  std::size_t offset;   // byte offset in the record
  std::size_t room;     // bytes the field may fill (1, 4 or 8 for numbers)
  AvpFieldKind kind;
};

constexpr std::size_t jur_slot(int block, std::size_t slot_offset) {
  return offsetof(Jur_Str, block) + static_cast<std::size_t>(block - 1) * sizeof(AvpJurBlock) + slot_offset;
}
constexpr std::size_t S1 = offsetof(AvpJurBlock, slot1);
constexpr std::size_t S2 = offsetof(AvpJurBlock, slot2);
constexpr std::size_t S3 = offsetof(AvpJurBlock, slot3);
constexpr std::size_t S4 = offsetof(AvpJurBlock, slot4);

constexpr std::size_t level_dbl(int k) {
  return k < 7 ? offsetof(Tax_Str, level_in) + static_cast<std::size_t>(k) * sizeof(AvpLevelIn)
               : offsetof(Tax_Str, level7_in_dbl);
}
constexpr std::size_t level_flt(int k) {
  return k < 7 ? offsetof(Tax_Str, level_in) + static_cast<std::size_t>(k) * sizeof(AvpLevelIn) +
                     offsetof(AvpLevelIn, flt)
               : offsetof(Tax_Str, level7_in_flt);
}

#define TAX(field, member, kind) \
  { field, AVP_TAX, offsetof(Tax_Str, member), sizeof(Tax_Str::member), kind }

// Fields 6 to 37, common to both tax layouts.
const AvpFieldTarget avp_tax_common_fields[32] = {
    // Each group of four fills one address block: slot 2, 1, 3, 4; blocks 2, 1, 4, 3.
    {6, AVP_JUR, jur_slot(2, S2), 26, AVP_TEXT},   {7, AVP_JUR, jur_slot(2, S1), 5, AVP_TEXT},
    {8, AVP_JUR, jur_slot(2, S3), 5, AVP_TEXT},    {9, AVP_JUR, jur_slot(2, S4), 9, AVP_TEXT},
    {10, AVP_JUR, jur_slot(1, S2), 26, AVP_TEXT},  {11, AVP_JUR, jur_slot(1, S1), 5, AVP_TEXT},
    {12, AVP_JUR, jur_slot(1, S3), 5, AVP_TEXT},   {13, AVP_JUR, jur_slot(1, S4), 9, AVP_TEXT},
    {14, AVP_JUR, jur_slot(4, S2), 26, AVP_TEXT},  {15, AVP_JUR, jur_slot(4, S1), 5, AVP_TEXT},
    {16, AVP_JUR, jur_slot(4, S3), 5, AVP_TEXT},   {17, AVP_JUR, jur_slot(4, S4), 9, AVP_TEXT},
    {18, AVP_JUR, jur_slot(3, S2), 26, AVP_TEXT},  {19, AVP_JUR, jur_slot(3, S1), 5, AVP_TEXT},
    {20, AVP_JUR, jur_slot(3, S3), 5, AVP_TEXT},   {21, AVP_JUR, jur_slot(3, S4), 9, AVP_TEXT},
    {22, AVP_JUR, offsetof(Jur_Str, chr_225), 1, AVP_CHAR},
    {23, AVP_JUR, offsetof(Jur_Str, chr_226), 1, AVP_CHAR},
    TAX(24, dbl_144, AVP_DOUBLE),
    TAX(25, dbl_168, AVP_DOUBLE),
    TAX(26, dbl_240, AVP_DOUBLE),
    TAX(27, int_260, AVP_INT),
    TAX(28, int_264, AVP_INT),
    TAX(29, text_268, AVP_TEXT),
    TAX(30, text_526, AVP_TEXT),
    TAX(31, text_803, AVP_TEXT),
    TAX(32, text_592, AVP_TEXT),
    TAX(33, text_516, AVP_TEXT),
    TAX(34, int_904, AVP_INT),
    TAX(35, text_783, AVP_TEXT),
    {36, AVP_TAX, offsetof(Tax_Str, ints_316) + 9 * sizeof(int32_t), 4, AVP_INT},
    TAX(37, text_853, AVP_TEXT),
};

// Fields 38 to 47 of the standard layout.
const AvpFieldTarget avp_tax_std_fields[10] = {
    {38, AVP_TAX, level_dbl(1), 8, AVP_DOUBLE}, {39, AVP_TAX, level_dbl(2), 8, AVP_DOUBLE},
    {40, AVP_TAX, level_dbl(3), 8, AVP_DOUBLE}, {41, AVP_TAX, level_dbl(4), 8, AVP_DOUBLE},
    {42, AVP_TAX, level_dbl(5), 8, AVP_DOUBLE}, {43, AVP_TAX, level_flt(1), 4, AVP_FLOAT},
    {44, AVP_TAX, level_flt(2), 4, AVP_FLOAT},  {45, AVP_TAX, level_flt(3), 4, AVP_FLOAT},
    {46, AVP_TAX, level_flt(4), 4, AVP_FLOAT},  {47, AVP_TAX, level_flt(5), 4, AVP_FLOAT},
};

// Fields 38 to 57 of the enhanced layout (57 is listed once, at 305).
const AvpFieldTarget avp_tax_enh_fields[20] = {
    // Levels travel in the order 0, 1, 2, 3, 7, 6, 4, 5.
    {38, AVP_TAX, level_dbl(0), 8, AVP_DOUBLE}, {39, AVP_TAX, level_dbl(1), 8, AVP_DOUBLE},
    {40, AVP_TAX, level_dbl(2), 8, AVP_DOUBLE}, {41, AVP_TAX, level_dbl(3), 8, AVP_DOUBLE},
    {42, AVP_TAX, level_dbl(7), 8, AVP_DOUBLE}, {43, AVP_TAX, level_dbl(6), 8, AVP_DOUBLE},
    {44, AVP_TAX, level_dbl(4), 8, AVP_DOUBLE}, {45, AVP_TAX, level_dbl(5), 8, AVP_DOUBLE},
    {46, AVP_TAX, level_flt(0), 4, AVP_FLOAT},  {47, AVP_TAX, level_flt(1), 4, AVP_FLOAT},
    {48, AVP_TAX, level_flt(2), 4, AVP_FLOAT},  {49, AVP_TAX, level_flt(3), 4, AVP_FLOAT},
    {50, AVP_TAX, level_flt(7), 4, AVP_FLOAT},  {51, AVP_TAX, level_flt(6), 4, AVP_FLOAT},
    {52, AVP_TAX, level_flt(4), 4, AVP_FLOAT},  {53, AVP_TAX, level_flt(5), 4, AVP_FLOAT},
    TAX(54, chr_1138, AVP_CHAR),
    TAX(55, text_653, AVP_TEXT),
    TAX(56, text_661, AVP_TEXT),
    TAX(57, chr_305, AVP_CHAR),
};

const AvpFieldTarget avp_addr_fields[3] = {
    {6, AVP_ZIP, offsetof(Zip_Str, city), sizeof(Zip_Str::city), AVP_TEXT},
    {7, AVP_ZIP, offsetof(Zip_Str, state), sizeof(Zip_Str::state), AVP_TEXT},
    {8, AVP_ZIP, offsetof(Zip_Str, zip), sizeof(Zip_Str::zip), AVP_TEXT},
};

#undef TAX

// The record bytes a field may write: its own room and nothing else.
void store_field(const AvpFieldTarget& t, const char* text, unsigned char* base) {
  unsigned char* dst = base + t.offset;
  if (t.kind == AVP_TEXT) {
    char buf[API_TEXT_SIZE] = {};
    const int n = get_field_of_msg(t.field, text, buf);
    if (n > 0) std::memcpy(dst, buf, std::min(static_cast<std::size_t>(n), t.room));
    return;
  }
  char buf[AVP_NUM_CHARS + 1] = {};  // cleared: an empty or missing field reads as 0
  get_field_of_msg(t.field, text, buf);
  switch (t.kind) {
    case AVP_CHAR:
      *dst = static_cast<unsigned char>(buf[0]);
      break;
    case AVP_INT: {
      long v = std::strtol(buf, nullptr, 10);
      v = std::clamp<long>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
      const int32_t i = static_cast<int32_t>(v);
      std::memcpy(dst, &i, sizeof i);
      break;
    }
    case AVP_DOUBLE: {
      const double d = std::strtod(buf, nullptr);
      std::memcpy(dst, &d, sizeof d);
      break;
    }
    case AVP_FLOAT: {
      const double d = std::strtod(buf, nullptr);
      // Beyond the float range the rounding is undefined; such a value is infinite.
      float f;
      if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
        f = d > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
      } else {
        f = static_cast<float>(d);
      }
      std::memcpy(dst, &f, sizeof f);
      break;
    }
    case AVP_TEXT:
      break;
  }
}

template <std::size_t N>
void store_fields(const AvpFieldTarget (&table)[N], const char* text, int first, Jur_Str* jur, Tax_Str* tax,
                  Zip_Str* zip) {
  for (const AvpFieldTarget& t : table) {
    if (t.field < first) continue;
    unsigned char* base = t.record == AVP_JUR   ? reinterpret_cast<unsigned char*>(jur)
                          : t.record == AVP_TAX ? reinterpret_cast<unsigned char*>(tax)
                                                : reinterpret_cast<unsigned char*>(zip);
    if (base != nullptr) store_field(t, text, base);
  }
}

void parse_common(const char* text, Jur_Str* jur, Tax_Str* tax, int first) {
  store_fields(avp_tax_common_fields, text, first, jur, tax, nullptr);
  std::memcpy(tax->copy_763, tax->text_783, sizeof tax->copy_763);
}

}  // namespace

void Clear_Jur_Str(Jur_Str* jur) {
  AVP_LOG("Initialize Jurisdiction Structure.\n");
  std::memset(jur, ' ', sizeof *jur);
  jur->JurCmplCd = 0;
  jur->POOJurRC = 0;
  jur->POAJurRC = 0;
  jur->ShpToJurRC = 0;
  jur->ShpFrJurRC = 0;
  jur->zero_344 = 0;
}

void Clear_Tax_Str(Tax_Str* tax) {
  AVP_LOG("Initialize Tax Structure.\n");
  // The engine's layout: blanks everywhere first, then the doubles and floats
  // are set to zero one by one below.
  // cppcheck-suppress memsetClassFloat
  std::memset(tax, ' ', sizeof *tax);
  // The 112 bytes from 144 to 255: three doubles and the bytes between them.
  std::memset(reinterpret_cast<unsigned char*>(tax) + offsetof(Tax_Str, dbl_144), 0,
              offsetof(Tax_Str, enh_marker) - offsetof(Tax_Str, dbl_144));
  tax->int_260 = 0;
  tax->int_264 = 0;
  tax->zero_296 = 0;
  tax->zero_612 = 0;
  std::fill(std::begin(tax->ints_316), std::end(tax->ints_316), 0);
  for (int k = 0; k < AVP_LEVELS; ++k) {
    *avp_level_in_dbl(tax, k) = 0.0;
    *avp_level_in_flt(tax, k) = 0.0f;
  }
  tax->GenCmplCd = 0;
  std::fill(std::begin(tax->zero_916), std::end(tax->zero_916), 0);
  std::fill(std::begin(tax->level_out_dbl), std::end(tax->level_out_dbl), 0.0);
  std::fill(std::begin(tax->level_out_flt), std::end(tax->level_out_flt), 0.0f);
  std::fill(std::begin(tax->zero_1064), std::end(tax->zero_1064), 0.0);
  tax->int_904 = 1;
  tax->chr_1139 = 'Y';
  tax->chr_1140 = ' ';
}

void Clear_Zip_Str(Zip_Str* zip) {
  AVP_LOG("Initialize Zip Structure.\n");
  std::memset(zip, ' ', 8);
}

void format_avp_addr(const char* text, Zip_Str* zip) {
  AVP_LOG("Format Address.\n");
  store_fields(avp_addr_fields, text, 6, nullptr, nullptr, zip);
}

void format_avp_jur(const char* text, Jur_Str* jur, Tax_Str* tax, int first) {
  parse_common(text, jur, tax, first);
  store_fields(avp_tax_std_fields, text, first, jur, tax, nullptr);
}

void format_avp_jur_enh(const char* text, Jur_Str* jur, Tax_Str* tax, int first) {
  parse_common(text, jur, tax, first);
  store_fields(avp_tax_enh_fields, text, first, jur, tax, nullptr);
  // `copy` is a reference to an array of the source's size (static_asserts in
  // avp_he.h), not a pointer: cppcheck takes it for one.
  // cppcheck-suppress [pointerSize,bufferAccessOutOfBounds]
  for (auto& copy : tax->copy_655) std::memcpy(copy, tax->text_653, sizeof copy);
  // cppcheck-suppress pointerSize
  for (auto& copy : tax->copy_686) std::memcpy(copy, tax->text_661, sizeof copy);
  std::memset(tax->chr_307, static_cast<unsigned char>(tax->chr_305), sizeof tax->chr_307);

  // Any level input at all marks the request; the sums run in the travel order.
  double dsum = 0.0;
  float fsum = 0.0f;
  for (int k : avp_enh_level_order) {
    dsum += *avp_level_in_dbl(tax, k);
    fsum += *avp_level_in_flt(tax, k);
  }
  if (dsum != 0.0 || fsum != 0.0f) tax->enh_marker = 'E';
}

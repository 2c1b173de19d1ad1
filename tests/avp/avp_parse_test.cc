// Request parsing: the records' initial values and where every request field
// lands, checked byte for byte against whole-record images so that a field
// writing outside its room is caught as well as one missing its target.
#include "avp_parse.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "avp_test_util.h"

namespace {

using avptest::message;
using Bytes = std::vector<unsigned char>;

template <typename T>
Bytes bytes_of(const T& rec) {
  const auto* p = reinterpret_cast<const unsigned char*>(&rec);
  return Bytes(p, p + sizeof rec);
}
void put_zero(Bytes& b, std::size_t off, std::size_t n) { std::memset(b.data() + off, 0, n); }
template <typename V>
void put(Bytes& b, std::size_t off, V v) { std::memcpy(b.data() + off, &v, sizeof v); }
template <typename V>
V get(const Bytes& b, std::size_t off) {
  V v;
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}

// Every byte of `rec` but [offset, offset + width) (and `skip`, if any) equals `base`.
void expect_same_elsewhere(const Bytes& rec, const Bytes& base, std::size_t offset, std::size_t width,
                           std::size_t skip = SIZE_MAX) {
  for (std::size_t i = 0; i < rec.size(); ++i) {
    if ((i >= offset && i < offset + width) || i == skip) continue;
    ASSERT_EQ(rec[i], base[i]) << "byte " << i;
  }
}

// The cleared images, written out from the layout tables.
Bytes cleared_tax() {
  Bytes b(1224, ' ');
  put_zero(b, 144, 112);
  for (std::size_t off : {260u, 264u, 296u, 612u}) put_zero(b, off, 4);
  put_zero(b, 316, 72);
  for (int k = 0; k < 8; ++k) put_zero(b, 392 + 16 * k, 12);
  put_zero(b, 912, 52);
  put_zero(b, 968, 64 + 32 + 64);
  put<int32_t>(b, 904, 1);
  b[1139] = 'Y';
  return b;
}
Bytes cleared_jur() {
  Bytes b(356, ' ');
  put_zero(b, 324, 24);
  return b;
}

struct Parsed {
  Bytes jur;
  Bytes tax;
};
Parsed parse(const std::string& text, bool enhanced, int first = 6) {
  Jur_Str jur{};
  Tax_Str tax{};
  Clear_Jur_Str(&jur);
  Clear_Tax_Str(&tax);
  if (enhanced) {
    format_avp_jur_enh(text.c_str(), &jur, &tax, first);
  } else {
    format_avp_jur(text.c_str(), &jur, &tax, first);
  }
  return {bytes_of(jur), bytes_of(tax)};
}

class ParseTest : public ::testing::Test {
 protected:
  avptest::Scene scene;
};

TEST_F(ParseTest, ClearingSetsTheInitialValuesAndLogsItsLine) {
  Tax_Str tax;
  Jur_Str jur;
  std::memset(&tax, 0x55, sizeof tax);
  std::memset(&jur, 0x55, sizeof jur);
  Clear_Tax_Str(&tax);
  Clear_Jur_Str(&jur);
  EXPECT_EQ(bytes_of(tax), cleared_tax());
  EXPECT_EQ(bytes_of(jur), cleared_jur());

  Zip_Str zip{};
  Clear_Zip_Str(&zip);
  Bytes expected(sizeof(Zip_Str), 0);
  std::memset(expected.data(), ' ', 8);
  EXPECT_EQ(bytes_of(zip), expected);

  EXPECT_EQ(scene.messages(), (std::vector<std::string>{"Initialize Tax Structure.\n",
                                                        "Initialize Jurisdiction Structure.\n",
                                                        "Initialize Zip Structure.\n"}));
}

struct TextTarget {
  int field;
  bool in_tax;  // else Jur_Str
  std::size_t offset;
  std::size_t room;
};

// Fields 6 to 37 that carry text, both layouts.
const TextTarget kTextTargets[] = {
    {6, false, 53, 26},  {7, false, 48, 5},   {8, false, 79, 5},    {9, false, 84, 9},
    {10, false, 8, 26},  {11, false, 3, 5},   {12, false, 34, 5},   {13, false, 39, 9},
    {14, false, 143, 26}, {15, false, 138, 5}, {16, false, 169, 5},  {17, false, 174, 9},
    {18, false, 98, 26}, {19, false, 93, 5},  {20, false, 124, 5},  {21, false, 129, 9},
    {29, true, 268, 28}, {30, true, 526, 66}, {31, true, 803, 50},  {32, true, 592, 20},
    {33, true, 516, 10}, {37, true, 853, 51},
};

// A value `len` long whose characters tell their position.
std::string pattern(std::size_t len) {
  std::string s;
  for (std::size_t i = 0; i < len; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

TEST_F(ParseTest, TextFieldsFillTheirRoomAndNothingElse) {
  for (bool enhanced : {false, true}) {
    for (const TextTarget& t : kTextTargets) {
      for (std::size_t len : {std::size_t{1}, t.room, t.room + 7}) {
        SCOPED_TRACE("field " + std::to_string(t.field) + " length " + std::to_string(len));
        const std::string value = pattern(len);
        const Parsed p = parse(message({{t.field, value}}, enhanced ? 57 : 47), enhanced);
        Bytes jur = cleared_jur();
        Bytes tax = cleared_tax();
        // What an otherwise empty request changes: empty numbers and characters become 0.
        put<int32_t>(tax, 904, 0);
        jur[225] = 0;
        jur[226] = 0;
        if (enhanced) {
          tax[305] = 0;
          std::memset(tax.data() + 307, 0, 6);
          tax[1138] = 0;
        }
        Bytes& rec = t.in_tax ? tax : jur;
        std::memcpy(rec.data() + t.offset, value.data(), std::min(len, t.room));
        EXPECT_EQ(p.jur, jur);
        EXPECT_EQ(p.tax, tax);
      }
    }
  }
}

TEST_F(ParseTest, Field35IsCopiedTo763WhetherOrNotPresent) {
  Parsed p = parse(message({{35, "ABCDEFGHIJKLMNOPQRSTUVWX"}}, 47), false);
  EXPECT_EQ(std::string(p.tax.begin() + 783, p.tax.begin() + 803), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(std::string(p.tax.begin() + 763, p.tax.begin() + 783), "ABCDEFGHIJKLMNOPQRST");
  p = parse(message({}, 47), false);
  EXPECT_EQ(std::string(p.tax.begin() + 763, p.tax.begin() + 783), std::string(20, ' '));
}

struct NumberTarget {
  int field;
  bool in_tax;
  std::size_t offset;
  char kind;  // 'i' integer, 'd' double, 'f' float, 'c' character
};

// Common number and character fields; both layouts.
const NumberTarget kCommonNumbers[] = {
    {22, false, 225, 'c'}, {23, false, 226, 'c'}, {24, true, 144, 'd'}, {25, true, 168, 'd'},
    {26, true, 240, 'd'},  {27, true, 260, 'i'},  {28, true, 264, 'i'}, {34, true, 904, 'i'},
    {36, true, 352, 'i'},
};
// Standard fields 38 to 47: doubles then floats of levels 1 to 5.
const NumberTarget kStdNumbers[] = {
    {38, true, 392 + 16 * 1, 'd'}, {39, true, 392 + 16 * 2, 'd'}, {40, true, 392 + 16 * 3, 'd'},
    {41, true, 392 + 16 * 4, 'd'}, {42, true, 392 + 16 * 5, 'd'}, {43, true, 400 + 16 * 1, 'f'},
    {44, true, 400 + 16 * 2, 'f'}, {45, true, 400 + 16 * 3, 'f'}, {46, true, 400 + 16 * 4, 'f'},
    {47, true, 400 + 16 * 5, 'f'},
};
// Enhanced fields 38 to 54: levels in the order 0, 1, 2, 3, 7, 6, 4, 5.
const NumberTarget kEnhNumbers[] = {
    {38, true, 392 + 16 * 0, 'd'}, {39, true, 392 + 16 * 1, 'd'}, {40, true, 392 + 16 * 2, 'd'},
    {41, true, 392 + 16 * 3, 'd'}, {42, true, 392 + 16 * 7, 'd'}, {43, true, 392 + 16 * 6, 'd'},
    {44, true, 392 + 16 * 4, 'd'}, {45, true, 392 + 16 * 5, 'd'}, {46, true, 400 + 16 * 0, 'f'},
    {47, true, 400 + 16 * 1, 'f'}, {48, true, 400 + 16 * 2, 'f'}, {49, true, 400 + 16 * 3, 'f'},
    {50, true, 400 + 16 * 7, 'f'}, {51, true, 400 + 16 * 6, 'f'}, {52, true, 400 + 16 * 4, 'f'},
    {53, true, 400 + 16 * 5, 'f'}, {54, true, 1138, 'c'},
};

void check_number(const NumberTarget& t, bool enhanced) {
  SCOPED_TRACE("field " + std::to_string(t.field) + (enhanced ? " enhanced" : " standard"));
  const char* value = t.kind == 'c' ? "Qx" : t.kind == 'i' ? "-42" : "12.625";
  const Parsed p = parse(message({{t.field, value}}, enhanced ? 57 : 47), enhanced);
  const Bytes& rec = t.in_tax ? p.tax : p.jur;
  switch (t.kind) {
    case 'c': EXPECT_EQ(rec[t.offset], 'Q'); break;
    case 'i': EXPECT_EQ(get<int32_t>(rec, t.offset), -42); break;
    case 'd': EXPECT_EQ(get<double>(rec, t.offset), 12.625); break;
    case 'f': EXPECT_EQ(get<float>(rec, t.offset), 12.625f); break;
  }
  // Nothing else differs from the same request without the value.
  const Parsed empty = parse(message({}, enhanced ? 57 : 47), enhanced);
  const Bytes& base = t.in_tax ? empty.tax : empty.jur;
  const std::size_t width = t.kind == 'c' ? 1 : t.kind == 'd' ? 8 : 4;
  expect_same_elsewhere(rec, base, t.offset, width, enhanced && t.in_tax ? 256 : SIZE_MAX);  // 256: level marker
  EXPECT_EQ(t.in_tax ? p.jur : p.tax, t.in_tax ? empty.jur : empty.tax);
}

TEST_F(ParseTest, NumberAndCharacterFieldsLandAtTheirTargets) {
  for (const NumberTarget& t : kCommonNumbers) {
    check_number(t, false);
    check_number(t, true);
  }
  for (const NumberTarget& t : kStdNumbers) check_number(t, false);
  for (const NumberTarget& t : kEnhNumbers) check_number(t, true);
}

TEST_F(ParseTest, EnhancedTextFieldsAndTheirCopies) {
  const Parsed p = parse(message({{55, "AB"}, {56, "Twenty-five characters!!!"}, {57, "N"}}, 57), true);
  EXPECT_EQ(std::string(p.tax.begin() + 653, p.tax.begin() + 661), "ABABABAB");
  for (std::size_t off : {661u, 686u, 711u, 736u}) {
    EXPECT_EQ(std::string(p.tax.begin() + off, p.tax.begin() + off + 25), "Twenty-five characters!!!") << off;
  }
  EXPECT_EQ(std::string(p.tax.begin() + 305, p.tax.begin() + 313), "N NNNNNN");
  EXPECT_EQ(p.tax[761], ' ');  // the copies stop at their room
  EXPECT_EQ(p.tax[652], ' ');
}

TEST_F(ParseTest, EnhancedCopiesComeFromTheRecordWhenFieldsAreMissing) {
  const Parsed p = parse("9~1~1~1~1~", true);
  EXPECT_EQ(std::string(p.tax.begin() + 655, p.tax.begin() + 661), std::string(6, ' '));
  EXPECT_EQ(std::string(p.tax.begin() + 686, p.tax.begin() + 761), std::string(75, ' '));
  EXPECT_EQ(p.tax[305], 0);
  EXPECT_EQ(std::string(p.tax.begin() + 307, p.tax.begin() + 313), std::string(6, '\0'));
}

struct MarkerCase {
  const char* name;
  std::map<int, std::string> fields;
  char marker;
};

TEST_F(ParseTest, EnhancedLevelMarker) {
  const MarkerCase cases[] = {
      {"no level input", {}, ' '},
      {"doubles cancel out", {{38, "5"}, {45, "-5"}}, ' '},
      {"only a float", {{53, "0.5"}}, 'E'},
      {"only level 7's double", {{42, "1"}}, 'E'},
      {"floats cancel out, a double stays", {{46, "1"}, {47, "-1"}, {39, "2"}}, 'E'},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse(message(c.fields, 57), true).tax[256], c.marker);
  }
}

TEST_F(ParseTest, ShortRequestEndsNormallyWithZeros) {
  std::map<int, std::string> f;
  for (int n = 6; n <= 39; ++n) f[n] = "3";
  std::string text = message(f, 39);  // no field 40 or later
  const Parsed p = parse(text, false);
  EXPECT_EQ(get<double>(p.tax, 392 + 16 * 2), 3.0);
  for (int k = 3; k <= 5; ++k) EXPECT_EQ(get<double>(p.tax, 392 + 16 * k), 0.0);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(get<float>(p.tax, 400 + 16 * k), 0.0f);
}

TEST_F(ParseTest, OverlongNumbersAreReadFromTheirFirst19Characters) {
  struct Case {
    int field;
    std::string value;
    std::size_t offset;
    char kind;
    double expected;
  };
  const Case cases[] = {
      {27, "1234567890123456789999999", 260, 'i', 2147483647.0},  // clamped to the integer's range
      {28, "-99999999999999999999999", 264, 'i', -2147483648.0},
      {24, "0.000000000000000001999", 144, 'd', 0.0},  // the 1 is the 20th character
      {24, "1000000000000000000000000", 144, 'd', 1e18},
      {43, "1e39", 400 + 16, 'f', 0.0},  // beyond a float: infinite, checked below
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const Parsed p = parse(message({{c.field, c.value}}, 47), false);
    const Parsed empty = parse(message({}, 47), false);
    const std::size_t width = c.kind == 'd' ? 8 : 4;
    if (c.kind == 'i') {
      EXPECT_EQ(get<int32_t>(p.tax, c.offset), static_cast<int32_t>(c.expected));
    } else if (c.kind == 'd') {
      EXPECT_EQ(get<double>(p.tax, c.offset), c.expected);
    } else {
      EXPECT_TRUE(std::isinf(get<float>(p.tax, c.offset)));
    }
    expect_same_elsewhere(p.tax, empty.tax, c.offset, width);
  }
}

TEST_F(ParseTest, FieldsBeforeFirstAreNotRead) {
  const Parsed p = parse(message({{6, "CITY"}, {24, "9"}, {27, "5"}}, 47), false, 25);
  EXPECT_EQ(p.jur[53], ' ');
  EXPECT_EQ(get<double>(p.tax, 144), 0.0);
  EXPECT_EQ(get<int32_t>(p.tax, 260), 5);
}

TEST_F(ParseTest, ParsersLogNothing) {
  Jur_Str jur{};
  Tax_Str tax{};
  format_avp_jur(message({}, 47).c_str(), &jur, &tax, 6);
  format_avp_jur_enh(message({}, 57).c_str(), &jur, &tax, 6);
  EXPECT_TRUE(scene.messages().empty());
}

struct AddrCase {
  const char* name;
  std::map<int, std::string> fields;
  std::string city, state, zip;  // expected bytes at 15 (29), 4 (2), 6 (9)
};

TEST_F(ParseTest, AddressRequest) {
  const std::string z21(21, '\0');
  const AddrCase cases[] = {
      {"six-letter city", {{6, "Boston"}}, "Boston" + std::string(23, '\0'), "  ", std::string("  ") + std::string(7, '\0')},
      {"all three", {{6, "X"}, {7, "MA"}, {8, "021101234"}}, "X" + std::string(28, '\0'), "MA", "021101234"},
      {"overlong values are cut",
       {{6, std::string(40, 'c')}, {7, "MAX"}, {8, "0211012345678"}},
       std::string(29, 'c'),
       "MA",
       "021101234"},
  };
  for (const AddrCase& c : cases) {
    SCOPED_TRACE(c.name);
    Zip_Str zip{};
    Clear_Zip_Str(&zip);
    format_avp_addr(message(c.fields, 8, "9~2~1~1~1~").c_str(), &zip);
    const Bytes b = bytes_of(zip);
    EXPECT_EQ(std::string(b.begin() + 15, b.begin() + 44), c.city);
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 6), c.state);
    EXPECT_EQ(std::string(b.begin() + 6, b.begin() + 15), c.zip);
    EXPECT_EQ(get<int32_t>(b, 0), 0x20202020);
    for (std::size_t i = 44; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << "byte " << i;
  }
  EXPECT_EQ(scene.messages().back(), "Format Address.\n");
}

}  // namespace

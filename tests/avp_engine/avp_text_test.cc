#include "avp_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace avp_standin {
namespace {

TEST(AvpText, FieldTextIsBoundedByWidthAndStopsAtNul) {
  const char full[4] = {'A', 'B', 'C', 'D'};  // no terminator anywhere
  EXPECT_EQ(field_text(full, 4), "ABCD");
  EXPECT_EQ(field_text(full, 2), "AB");
  const char nul[6] = {' ', 'X', '\0', 'Y', 'Z', ' '};
  EXPECT_EQ(field_text(nul, 6), "X");
  const char blanks[3] = {' ', ' ', ' '};
  EXPECT_EQ(field_text(blanks, 3), "");
  EXPECT_EQ(field_text(full, 0), "");
}

TEST(AvpText, PutFieldCutsAndPads) {
  char f[6];
  put_field(f, 5, "abcdefg");
  f[5] = '#';
  EXPECT_EQ(std::string(f, 6), "abcde#");
  put_field(f, 5, "ab");
  EXPECT_EQ(std::string(f, 6), "ab   #");
}

TEST(AvpText, SplitTrimKeepsEmptyFields) {
  EXPECT_EQ(split_trim(" a | b||c ", '|'), (std::vector<std::string>{"a", "b", "", "c"}));
}

TEST(AvpText, ParseLongAcceptsOnlyWholeNumbersInRange) {
  struct Case {
    const char* text;
    bool ok;
    long value;
  } cases[] = {
      {"42", true, 42},     {" -7 ", true, -7},  {"", false, 0},         {"4x", false, 0},
      {"101", false, 0},    {"-101", false, 0},  {"99999999999999999999999", false, 0},
      {"12345678901234567890123456789", false, 0},
  };
  for (const Case& c : cases) {
    long v = 0;
    EXPECT_EQ(parse_long(c.text, -100, 100, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(AvpText, ParseDoubleRejectsNonFiniteAndGarbage) {
  double v = 0;
  EXPECT_TRUE(parse_double("0.0625", &v));
  EXPECT_DOUBLE_EQ(v, 0.0625);
  for (const char* bad : {"", "nan", "inf", "-inf", "1e999", "1.5x", "abc"}) EXPECT_FALSE(parse_double(bad, &v)) << bad;
}

}  // namespace
}  // namespace avp_standin

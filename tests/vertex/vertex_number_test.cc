#include "vertex_number.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(VertexNumberTest, IntTakesTheLeadingIntegerAndKeepsItsLow32Bits) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {nullptr, 0}, {"", 0}, {"abc", 0}, {"2abc", 2}, {"  -17", -17}, {"+5", 5}, {"\t42 ", 42},
      {"1.9", 1}, {"2147483647", INT_MAX}, {"2147483648", INT_MIN}, {"4294967297", 1},
      {"-4294967295", 1},
      // Far beyond 64 bits: 10^26 - 1 modulo 2^32, no overflow.
      {"99999999999999999999999999", -469762049},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "null");
    EXPECT_EQ(vertex_int_of(c.text), c.value);
  }
}

TEST(VertexNumberTest, TruncConvertsAsRealAndTruncatesTowardZero) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"1.9", 1}, {"-1.9", -1}, {"", 0}, {"x", 0}, {"3e2", 300}, {" 7.99abc", 7},
      {"2147483647.5", INT_MAX}, {"2147483648", INT_MIN}, {"-2147483649", INT_MIN},
      {"1e300", INT_MIN}, {"nan", INT_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(vertex_trunc_of(c.text), c.value);
  }
}

TEST(VertexNumberTest, RealAndGeo) {
  EXPECT_EQ(vertex_real_of("100.25xyz"), 100.25);
  EXPECT_EQ(vertex_real_of("letters"), 0.0);
  EXPECT_EQ(vertex_real_of(nullptr), 0.0);
  EXPECT_EQ(vertex_geo_of("440610000"), 440610000);
  EXPECT_EQ(vertex_geo_of("12ab"), 12);
  EXPECT_EQ(vertex_geo_of(""), 0);
  EXPECT_EQ(vertex_geo_of("99999999999999999999999"), INT64_MAX);
}

}  // namespace

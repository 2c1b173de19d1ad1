// Request parsing: the field table of both forms, the conversions, and the
// helpers of the tax path.
#include "vertex_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vertex_addr.h"

namespace {

// A data message whose fields 6.. are `body` (index 0 = field 6).
std::string message(const std::vector<std::string>& body) {
  std::string text = "9~1~1~2~1~";
  for (const std::string& f : body) text += f + "~";
  return text;
}

std::vector<std::string> full_body(int last_field) {
  std::vector<std::string> body(static_cast<std::size_t>(last_field - 5));
  auto set = [&](int field, const char* v) { body[static_cast<std::size_t>(field - 6)] = v; };
  set(6, "Providence"); set(7, "RI"); set(8, "02903"); set(9, "440610000"); set(10, "1.9");
  set(11, "Boston"); set(12, "MA"); set(13, "02101"); set(14, "220250000"); set(15, "-1.9");
  set(16, "Hartford"); set(17, "CT"); set(18, "06101"); set(19, "070030000"); set(20, "2");
  set(21, "3"); set(22, "100.50"); set(23, "9"); set(24, "9"); set(25, "2abc"); set(26, "77");
  set(27, "PROD-1"); set(28, "CUST-1"); set(29, "CUST-2"); set(30, "   INV-1  ");
  set(31, "TEXT"); set(32, "4"); set(33, "1"); set(34, "1"); set(35, "CO1"); set(36, "AREA");
  set(37, "1"); set(38, "0.06"); set(39, "0.01"); set(40, "0.02"); set(41, "0.03");
  set(42, "0.04"); set(43, "6.0"); set(44, "1.0"); set(45, "2.0"); set(46, "3.0"); set(47, "4.0");
  if (last_field >= 55) {
    set(48, "5.0"); set(49, "9"); set(50, "9"); set(51, "9"); set(52, "ENH"); set(53, "L");
    set(54, "LINE TEXT"); set(55, "6.7");
  }
  return body;
}

// A parsed request as text, one line per group of members in field order.
std::vector<std::string> described(const VertexTaxRequest& r) {
  auto line = [](auto... parts) {
    std::ostringstream o;
    ((o << parts << '|'), ...);
    return o.str();
  };
  auto jur = [&line](const VertexJurisdiction& j) { return line(j.city, j.state, j.zip, j.geo_code, j.juris_flag); };
  return {jur(r.ship_to), jur(r.ship_from), jur(r.order_accept),
          line(r.line_kind, r.line_amount, r.transaction_type, r.prod_number),
          line(r.product_code, r.customer_1, r.customer_2, r.invoice_number, r.invoice_text),
          line(r.line_number, r.invoice_flag, r.write_register, r.company_code, r.user_area, r.local_override),
          line(r.state_a, r.county_a, r.city_a, r.district_a),
          line(r.state_b, r.county_b, r.city_b, r.district_b),
          line(r.enh_code, r.enh_local_code, r.enh_line_text, r.local_kind)};
}

const std::vector<std::string> kStandard = {
    "Providence|RI|02903|440610000|1|", "Boston|MA|02101|220250000|-1|", "Hartford|CT|06101|070030000|2|",
    "3|100.5|2|77|",                    "PROD-1|CUST-1|CUST-2|INV-1  |TEXT|",  // leading blanks gone
    "4|1|1|CO1|AREA|1|",                "0.06|0.01|0.02|0|",
    "6|1|2|0|",                         "|||0|",
};

TEST(VertexParseTest, StandardFormFillsEveryFieldOfItsTable) {
  VertexTaxRequest r{};
  format_vertex_jur(message(full_body(47)).c_str(), &r, 6);
  EXPECT_EQ(described(r), kStandard);
}

TEST(VertexParseTest, EnhancedFormTakesLevelValuesFromItsOwnFields) {
  VertexTaxRequest r{};
  format_vertex_jur_enh(message(full_body(55)).c_str(), &r, 6);
  std::vector<std::string> want = kStandard;
  want[6] = "0.06|0.01|0.02|0.03|";
  want[7] = "2|3|4|5|";
  want[8] = "ENH|L|LINE TEXT|6|";
  EXPECT_EQ(described(r), want);
}

// A short text, an empty or unreadable field, or a later first field leave
// the members concerned empty and shift nothing.
TEST(VertexParseTest, MissingAndEmptyFields) {
  std::vector<std::string> short_body = full_body(47), holes = full_body(47);
  short_body.resize(30 - 5);
  holes[27 - 6] = "";
  holes[30 - 6] = "   ";  // a blank-only invoice stays empty
  holes[38 - 6] = "letters";
  const struct {
    std::vector<std::string> body;
    int first;
    std::map<std::size_t, std::string> changed;  // lines of kStandard
  } cases[] = {
      {short_body, 6, {{4, "PROD-1|CUST-1|CUST-2|INV-1  ||"}, {5, "0|0|0|||0|"}, {6, "0|0|0|0|"}, {7, "0|0|0|0|"}}},
      {holes, 6, {{4, "|CUST-1|CUST-2||TEXT|"}, {6, "0|0.01|0.02|0|"}}},
      {full_body(47), 30,
       {{0, "||||0|"}, {1, "||||0|"}, {2, "||||0|"}, {3, "0|0|0|0|"}, {4, "|||INV-1  |TEXT|"}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> want = kStandard;
    for (const auto& [index, text] : c.changed) want[index] = text;
    VertexTaxRequest r{};
    format_vertex_jur(message(c.body).c_str(), &r, c.first);
    EXPECT_EQ(described(r), want);
  }
}

TEST(VertexParseTest, OverlongFieldsAreCutAndOverrunNothing) {
  std::vector<std::string> body = full_body(55);
  const std::string long_text(200, 'Z');
  for (int f : {6, 7, 8, 9, 27, 28, 29, 30, 31, 35, 36, 52, 53, 54}) {
    body[static_cast<std::size_t>(f - 6)] = long_text;
  }
  // Numbers of 20 characters and more are converted whole.
  body[22 - 6] = "000000000000000000000000000100.25";
  body[32 - 6] = "0000000000000000000000000000000042";
  VertexTaxRequest r;
  std::memset(&r, 0, sizeof r);
  format_vertex_jur_enh(message(body).c_str(), &r, 6);
  EXPECT_EQ(std::strlen(r.ship_to.city), sizeof r.ship_to.city - 1);
  EXPECT_EQ(std::strlen(r.ship_to.state), sizeof r.ship_to.state - 1);
  EXPECT_EQ(std::strlen(r.ship_to.geo_code), sizeof r.ship_to.geo_code - 1);
  EXPECT_EQ(std::strlen(r.invoice_number), sizeof r.invoice_number - 1);
  EXPECT_EQ(std::strlen(r.invoice_text), sizeof r.invoice_text - 1);
  EXPECT_EQ(std::strlen(r.company_code), sizeof r.company_code - 1);
  EXPECT_EQ(std::strlen(r.enh_local_code), sizeof r.enh_local_code - 1);
  EXPECT_EQ(std::strlen(r.enh_line_text), sizeof r.enh_line_text - 1);
  EXPECT_EQ(r.ship_to.juris_flag, 1);  // the member after geo_code is untouched
  EXPECT_EQ(r.line_amount, 100.25);
  EXPECT_EQ(r.line_number, 42);
  EXPECT_EQ(r.invoice_flag, 1);
}

TEST(VertexParseTest, NullArgumentsAreHarmless) {
  VertexTaxRequest r{};
  format_vertex_jur(nullptr, &r, 6);
  format_vertex_jur_enh("9~1~1~2~1~", nullptr, 6);
  EXPECT_STREQ(r.ship_to.city, "");
}

TEST(VertexParseTest, StripAscii) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"", ""}, {"   ", ""}, {"abc", "abc"}, {"abc  ", "abc"}, {"a b ", "a b"},
               {"x \t ", "x \t"}, {"  lead", "  lead"}};
  for (const auto& c : cases) {
    char buf[32];
    std::strcpy(buf, c.in);
    EXPECT_EQ(strip_ascii(buf), buf);
    EXPECT_STREQ(buf, c.out);
  }
  EXPECT_EQ(strip_ascii(nullptr), nullptr);
}

TEST(VertexParseTest, PrimaryForeign) {
  VertexTaxRequest r{};
  std::strcpy(r.ship_to.geo_code, "770001234");
  std::strcpy(r.ship_from.geo_code, "780001234");
  std::strcpy(r.order_accept.geo_code, "7");
  EXPECT_EQ(primary_foreign(&r, 2), 0);
  EXPECT_EQ(primary_foreign(&r, 3), 1);
  EXPECT_EQ(primary_foreign(&r, 4), 1);
  EXPECT_EQ(primary_foreign(&r, 5), 1);
  EXPECT_EQ(primary_foreign(&r, 0), 1);
  std::strcpy(r.ship_from.geo_code, "77");
  EXPECT_EQ(primary_foreign(&r, 3), 0);
  r.ship_to.geo_code[0] = '\0';
  EXPECT_EQ(primary_foreign(&r, 2), 1);
}


// Texts of every shape the transport can deliver (up to the 1023 characters
// of the input buffer), built from a fixed seed so a failure repeats.
TEST(VertexParseRobustnessTest, AnyTextParsesIntoTerminatedMembers) {
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  const char alphabet[] = "~~~~0123456789.-+eE 7abcXYZ\t";
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const std::size_t length = next() % 1024;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[next() % (sizeof alphabet - 1)];
    VertexTaxRequest r{};
    if (round % 2 == 0) {
      format_vertex_jur(text.c_str(), &r, 6);
    } else {
      format_vertex_jur_enh(text.c_str(), &r, 6);
    }
    ASSERT_LT(std::strlen(r.invoice_number), sizeof r.invoice_number);
    ASSERT_LT(std::strlen(r.ship_to.geo_code), sizeof r.ship_to.geo_code);
    ASSERT_LT(std::strlen(r.enh_line_text), sizeof r.enh_line_text);
    strip_ascii(r.user_area);
    (void)primary_foreign(&r, static_cast<int>(next() % 8));
    VertexAddrRec addr{};
    format_vertex_addr(text.c_str(), &addr);
    ASSERT_LT(std::strlen(addr.city), sizeof addr.city);
    ASSERT_EQ(addr.locations[0].city[0], '\0');
  }
}

}  // namespace

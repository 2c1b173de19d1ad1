// The ERP side's Vertex requests from named fields and its reply rendering.
#include "vertex_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/request_test_util.h"
#include "api_msg.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(VertexRequestTest, EachKindHasItsFieldCountAndForm) {
  const struct {
    const char* kind;
    std::size_t fields;
  } cases[] = {{"tax", 42}, {"tax-enh", 50}, {"addr", 3}};
  for (const auto& c : cases) {
    std::string body, err;
    ASSERT_TRUE(erp::build_vertex_body(c.kind, {}, &body, &err)) << err;
    EXPECT_EQ(body, std::string(c.fields, '~'));
    if (c.fields > 3) {  // the dispatcher counts the delimiters of the whole text
      EXPECT_EQ(count_delimiters(("9~1~1~2~1~" + body).c_str()) > 48, c.fields == 50);
    }
  }
}

TEST(VertexRequestTest, NamesFillTheirFieldNumbers) {
  const struct {
    const char* kind;
    const char* name;
    int field;
  } cases[] = {
      {"tax", "ship_to_city", 6},  {"tax", "order_accept_zip", 18}, {"tax", "invoice_number", 30},
      {"tax", "city_b", 45},       {"tax-enh", "district_a", 41},   {"tax-enh", "state_b", 45},
      {"tax-enh", "local_kind", 55}, {"addr", "zip", 8},            {"tax", "f47", 47},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.name);
    std::string body, err;
    ASSERT_TRUE(erp::build_vertex_body(c.kind, {{c.name, "V"}}, &body, &err)) << err;
    const std::vector<std::string> f = request_test::body_fields(body);
    ASSERT_GT(f.size(), static_cast<std::size_t>(c.field - 6));
    EXPECT_EQ(f[static_cast<std::size_t>(c.field - 6)], "V");
  }
}

TEST(VertexRequestTest, RefusesWithAClearReason) {
  const struct {
    const char* kind;
    Fields fields;
    const char* reason;
  } cases[] = {
      {"lookup", {}, "unknown Vertex request kind 'lookup'"},
      {"tax", {{"district_a", "1"}}, "unknown field 'district_a' for Vertex tax requests"},
      {"tax", {{"f48", "1"}}, "unknown field 'f48'"},
      {"tax", {{"city_a", "1"}, {"f40", "2"}}, "given twice"},
      {"addr", {{"city", "a~b"}}, "delimiter"},
      {"addr", {{"city", std::string(1100, 'x')}}, "does not fit one message"},
  };
  for (const auto& c : cases) {
    std::string body = "untouched", err;
    EXPECT_FALSE(erp::build_vertex_body(c.kind, c.fields, &body, &err));
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    EXPECT_EQ(body, "untouched");
  }
}

TEST(VertexRequestTest, DescribesReplies) {
  std::string enh = "7~1~1~2~1~";
  for (int i = 0; i < 16; ++i) enh += std::to_string(i) + "~";
  const struct {
    const char* kind;
    std::string reply;
    const char* text;
  } cases[] = {
      {"tax", "6~1~1~2~1~0~",
       "message: status\naction: 1\nptype: 1\nstype: 2\nresults: 1\ncompletion_code: 0\n"},
      {"tax", "10~0~1~2~0~~", "message: ack\nptype: 1\nstype: 2\n"},
      {"addr", "7~2~1~2~1~Providence~RI~02903~440610000~Providence~",
       "sequence: 1\ncity: Providence\nstate: RI\nzip: 02903\ngeo_code: 440610000\ncounty: Providence\n"},
      {"tax-enh", enh, "addtl_district_b: 13\nline_a: 14\nline_b: 15\n"},
      {"tax", "5~0~1~2~0~1600.000100~", "jurisdiction stop, result 1 (taxing jurisdiction: ship-to)"},
      {"tax", "5~0~1~2~0~1600.010000~", "result 100 (taxing jurisdiction: order acceptance)"},
      {"tax", "5~0~1~2~0~1521.000000~", "tax determination failed, result 21 (invoice check failed)"},
      {"addr", "5~0~1~2~0~1402.000000~", "nothing matched"},
      {"tax", "5~0~1~2~0~1.000000~", "engine could not be opened"},
  };
  for (const auto& c : cases) {
    const std::string d = erp::describe_vertex_reply(c.kind, c.reply);
    EXPECT_NE(d.find(c.text), std::string::npos) << d;
  }
  const std::string help = erp::vertex_request_help();
  EXPECT_NE(help.find("tax-enh (fields 6 to 55)"), std::string::npos);
}

}  // namespace

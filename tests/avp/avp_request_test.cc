// The ERP side's Taxware requests and replies by name.
#include "avp_request.h"

#include <string>
#include <utility>
#include <vector>

#include "../support/request_test_util.h"
#include "gtest/gtest.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> split(const std::string& body) {
  std::string rest;
  std::vector<std::string> out = request_test::body_fields(body, &rest);
  EXPECT_TRUE(rest.empty()) << "body must end with ~";
  return out;
}

// Field number -> value of a built body (fields from 6).
std::string field(const std::string& body, int n) { return split(body).at(static_cast<std::size_t>(n - 6)); }

TEST(AvpRequest, BodiesHaveEveryFieldOfTheirKind) {
  struct Case {
    const char* kind;
    std::size_t fields;
  };
  for (const Case& c : {Case{"tax", 42}, Case{"tax-enh", 52}, Case{"addr", 3}}) {
    std::string body, err;
    ASSERT_TRUE(erp::build_avp_body(c.kind, {}, &body, &err)) << err;
    EXPECT_EQ(split(body).size(), c.fields) << c.kind;
  }
}

TEST(AvpRequest, NamesMapToTheirFieldNumbers) {
  struct Case {
    const char* kind;
    const char* name;
    int number;
  };
  const Case cases[] = {
      {"tax", "addr2_slot2", 6},   {"tax", "addr3_slot4", 21},    {"tax", "jur225", 22},     {"tax", "tax853", 37},
      {"tax", "level5_flt", 47},   {"tax-enh", "level7_dbl", 42}, {"tax-enh", "tax305", 57}, {"addr", "zip", 8},
      {"tax", "f40", 40},          {"tax-enh", "f57", 57},        {"addr", "f8", 8},
  };
  for (const Case& c : cases) {
    std::string body, err;
    ASSERT_TRUE(erp::build_avp_body(c.kind, Fields{{c.name, "v"}}, &body, &err)) << c.name << ": " << err;
    EXPECT_EQ(field(body, c.number), "v") << c.name;
    std::size_t set = 0;
    for (const std::string& f : split(body)) set += !f.empty();
    EXPECT_EQ(set, 1u) << c.name;
  }
}

TEST(AvpRequest, BadRequestsAreRefusedWithAReason) {
  struct Case {
    const char* kind;
    Fields fields;
    const char* says;
  };
  const Case cases[] = {
      {"vat", {}, "unknown Taxware request kind"},
      {"tax", {{"nonsense", "1"}}, "unknown field 'nonsense'"},
      {"tax", {{"level0_dbl", "1"}}, "unknown field"},  // level 0 travels only in the enhanced form
      {"tax", {{"f48", "1"}}, "unknown field"},
      {"addr", {{"f5", "1"}}, "unknown field"},
      {"tax", {{"tax144", "1"}, {"f24", "2"}}, "given twice"},
      {"addr", {{"city", "a~b"}}, "delimiter"},
      {"addr", {{"city", std::string(2000, 'x')}}, "does not fit"},
  };
  for (const Case& c : cases) {
    std::string body = "untouched", err;
    EXPECT_FALSE(erp::build_avp_body(c.kind, c.fields, &body, &err)) << c.says;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(body, "untouched");
  }
}

TEST(AvpRequest, RepliesAreDescribedByName) {
  EXPECT_EQ(erp::describe_avp_reply("tax", "6~1~1~1~1~4~"),
            "message: status\naction: 1\nptype: 1\nstype: 1\nresults: 1\nGenCmplCd: 4\n");
  EXPECT_EQ(erp::describe_avp_reply("addr", "6~2~1~1~3~29~"),
            "message: status\naction: 2\nptype: 1\nstype: 1\nresults: 3\nZipCmplCd: 29\n");
  EXPECT_EQ(erp::describe_avp_reply("addr", "7~2~1~1~2~BOSTON~MA~02110~07~025~SUFFOLK~Y~"),
            "message: result\naction: 2\nptype: 1\nstype: 1\nrecord: 2\ncity: BOSTON\nstate: MA\nzip: 02110\n"
            "geo: 07\ncounty_code: 025\ncounty_name: SUFFOLK\nindicator: Y\n");
  EXPECT_EQ(erp::describe_avp_reply("tax", "10~0~1~1~0~~"), "message: ack\nptype: 1\nstype: 1\n");

  const std::string std_result = erp::describe_avp_reply(
      "tax", "7~1~1~1~1~1.0~2.0~3.0~4.0~5.0~6.0~7.0~8.0~9.0~10.0~J~NAME~");
  EXPECT_NE(std_result.find("level1_dbl: 1.0\n"), std::string::npos);
  EXPECT_NE(std_result.find("level5_flt: 10.0\njur236: J\ntax686: NAME\n"), std::string::npos);
  const std::string enh_result = erp::describe_avp_reply(
      "tax-enh", "7~1~1~1~1~0~1~2~3~7~6~4~5~0~1~2~3~7~6~4~5~ ~N~");
  EXPECT_NE(enh_result.find("level7_dbl: 7\nlevel6_dbl: 6\nlevel4_dbl: 4\n"), std::string::npos) << enh_result;
  EXPECT_NE(enh_result.find("jur236:  \ntax686: N\n"), std::string::npos);
}

TEST(AvpRequest, ErrorRepliesNameTheirCause) {
  struct Case {
    const char* kind;
    const char* reply;
    const char* meaning;
  };
  const Case cases[] = {
      {"tax", "5~0~1~1~0~1205.000000~", "tax calculation failed, GenCmplCd 5"},
      {"tax", "5~0~1~1~0~1307.000000~", "jurisdiction check failed, JurCmplCd 7"},
      {"tax", "5~0~1~1~0~1399.100100~", "JurCmplCd 99 (failed: POO, ship-to)"},
      {"tax", "5~0~1~1~0~1399.000000~", "JurCmplCd 99 (failed: none above 1)"},
      {"addr", "5~0~1~1~0~1113.000000~", "address lookup failed, ZipCmplCd 13"},
      {"tax", "5~0~1~1~0~1.000000~", "engine could not be opened"},
      {"tax", "5~0~1~1~0~15.000000~", "malformed action sequence"},
  };
  for (const Case& c : cases) {
    const std::string d = erp::describe_avp_reply(c.kind, c.reply);
    EXPECT_EQ(d.rfind("message: error\n", 0), 0u) << d;
    EXPECT_NE(d.find(c.meaning), std::string::npos) << d;
  }
}

}  // namespace

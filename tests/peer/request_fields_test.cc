// The named-field machinery the engines' request builders share.
#include "request_fields.h"

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

const erp::NamedField kCommon[] = {{6, "a", "first"}, {7, "b", "second"}};
const erp::NamedField kStd[] = {{8, "c", "third"}};
const erp::NamedField kEnh[] = {{8, "d", "third, enhanced"}, {9, "e", "fourth"}, {12, "f", "last"}};
const erp::NamedField kAddr[] = {{6, "city", "city"}};
const erp::RequestTables kTables = {erp::field_table(kCommon), erp::field_table(kStd), erp::field_table(kEnh),
                                    erp::field_table(kAddr)};

erp::KindFields fields_of(const char* kind) {
  erp::KindFields k;
  EXPECT_TRUE(erp::kind_fields(kind, kTables, &k)) << kind;
  return k;
}

TEST(RequestFields, KindsAreMadeOfTheirTablesUpToTheirLastNumber) {
  const struct {
    const char* kind;
    std::size_t count;
    int last;
  } cases[] = {{"tax", 3, 8}, {"tax-enh", 5, 12}, {"addr", 1, 6}};
  for (const auto& c : cases) {
    const erp::KindFields k = fields_of(c.kind);
    EXPECT_EQ(k.fields.size(), c.count) << c.kind;
    EXPECT_EQ(k.last, c.last) << c.kind;
  }
  erp::KindFields k;
  EXPECT_FALSE(erp::kind_fields("Tax", kTables, &k));
  EXPECT_TRUE(k.fields.empty());
}

TEST(RequestFields, NamesAndNumbersWithinTheKindOnly) {
  const erp::KindFields k = fields_of("tax-enh");
  const struct {
    const char* name;
    int number;
  } cases[] = {{"a", 6},   {"d", 8},   {"f", 12}, {"c", 0},   {"f6", 6},   {"f12", 12}, {"f5", 0},
               {"f13", 0}, {"f06", 6}, {"fx", 0}, {"f-6", 0}, {"f100", 0}, {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(erp::field_number(k, c.name), c.number) << c.name;
}

TEST(RequestFields, BodyFillsNamedFieldsAndLeavesTheRestEmpty) {
  std::string body, err;
  ASSERT_TRUE(erp::build_named_body(kTables, "Engine", "tax-enh", Fields{{"e", "E"}, {"f7", "B"}},
                                    &body, &err))
      << err;
  EXPECT_EQ(body, "~B~~E~~~~");
}

TEST(RequestFields, RefusalsNameTheEngineAndLeaveTheBody) {
  const struct {
    const char* kind;
    Fields fields;
    const char* says;
  } cases[] = {
      {"vat", {}, "unknown Engine request kind 'vat' (tax, tax-enh or addr)"},
      {"tax", {{"zz", "1"}}, "unknown field 'zz' for Engine tax requests"},
      {"tax-enh", {{"c", "1"}}, "unknown field 'c' for Engine tax-enh requests"},
      {"tax", {{"a", "1"}, {"f6", "2"}}, "field 'f6' (field 6) given twice"},
      {"tax", {{"b", "x~"}}, "the value of 'b' holds the delimiter '~'"},
      {"tax", {{"c", std::string(1011, 'x')}}, "request of 1014 characters does not fit one message (at most 1013)"},
  };
  for (const auto& c : cases) {
    std::string body = "untouched", err;
    EXPECT_FALSE(erp::build_named_body(kTables, "Engine", c.kind, c.fields, &body, &err));
    EXPECT_EQ(err, c.says);
    EXPECT_EQ(body, "untouched");
  }
  // The longest body that fits.
  std::string body, err;
  EXPECT_TRUE(erp::build_named_body(kTables, "Engine", "tax", Fields{{"c", std::string(1010, 'x')}},
                                    &body, &err))
      << err;
  EXPECT_EQ(body.size(), 1013u);
}

TEST(RequestFields, ProcessErrorMeaningsOnlyForWholeKnownCodes) {
  EXPECT_STREQ(erp::process_error_meaning(5), "process not set up for tax");
  EXPECT_STREQ(erp::process_error_meaning(13), "queues could not be opened");
  for (double code : {5.5, 6.0, -1.0, -1e300, 1000.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                      -std::numeric_limits<double>::infinity()}) {
    EXPECT_STREQ(erp::process_error_meaning(code), "unknown code") << code;
  }
}

TEST(RequestFields, ResultNamesByKindWithTaxForAnyOther) {
  const char* const tax[] = {"t"};
  const char* const enh[] = {"e1", "e2"};
  const char* const addr[] = {"a1", "a2", "a3"};
  const erp::KindResults results = {erp::result_names(tax), erp::result_names(enh), erp::result_names(addr)};
  EXPECT_EQ(erp::results_of("tax", results).names, tax);
  EXPECT_EQ(erp::results_of("tax-enh", results).count, 2u);
  EXPECT_EQ(erp::results_of("addr", results).names, addr);
  EXPECT_EQ(erp::results_of("addr", results).count, 3u);
  EXPECT_EQ(erp::results_of("other", results).names, tax);
}

std::string meaning(std::string_view kind, double code) {
  return std::string(kind) + " " + std::to_string(static_cast<int>(code));
}

const char* const kBody[] = {"x", "y"};
const erp::ReplyNames kNames = {"done", "seq", erp::result_names(kBody), "n", meaning};

std::string describe(const std::vector<std::string>& f) {
  std::string out = "before\n";
  if (!erp::describe_known_reply("tax", f, kNames, &out)) out += "(other)\n";
  return out;
}

TEST(RequestFields, KnownRepliesOneLinePerField) {
  const struct {
    std::vector<std::string> fields;
    const char* text;
  } cases[] = {
      {{"5", "0", "1", "2", "0", "1205"}, "message: error\nptype: 1\nstype: 2\ncode: 1205\nmeaning: tax 1205\n"},
      {{"10", "0", "1", "2", "0"}, "message: ack\nptype: 1\nstype: 2\n"},
      {{"6", "3", "1", "2", "4", "0"}, "message: status\naction: 3\nptype: 1\nstype: 2\nresults: 4\ndone: 0\n"},
      {{"7", "3", "1", "2", "1", "P", "Q", "R"},
       "message: result\naction: 3\nptype: 1\nstype: 2\nseq: 1\nx: P\ny: Q\nn8: R\n"},
      // Missing fields read as empty.
      {{"6"}, "message: status\naction: \nptype: \nstype: \nresults: \ndone: \n"},
      {{"9", "1"}, "(other)\n"},
      {{}, "(other)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(c.fields), std::string("before\n") + c.text);
}

}  // namespace

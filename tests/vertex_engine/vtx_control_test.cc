#include "vtx_control.h"

#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx::Control;
constexpr long long kNone = Control::kNoSelector;

TEST(VtxControl, IntegerLookups) {
  Control c = Control::parse(
      "VstOpenDb = 5\nVstOpenDb(1) = 4   # the rate database\nVstCalcTax(0) = 3\n"
      "LocRelease = 0\nLocRelease = 1\nA = 2.9\nB = -1e300\nC = 99999999999\n"
      "VstGetLineLocal(0).status = 22\n");
  struct Case {
    const char* entry;
    long long selector;
    const char* field;
    bool found;
    int value;
  } cases[] = {
      {"VstOpenDb", 1, "", true, 4},
      {"VstOpenDb", 0, "", true, 5},
      {"VstOpenDb", kNone, "", true, 5},
      {"VstCloseDb", 1, "", false, 0},
      {"VstCalcTax", kNone, "", false, 0},  // a selector line needs a selector
      {"VstCalcTax", 0, "", true, 3},
      {"LocRelease", kNone, "", true, 1},  // the last line wins
      {"A", kNone, "", true, 2},           // reals truncate ...
      {"B", kNone, "", true, INT_MIN},     // ... and clamp
      {"C", kNone, "", true, INT_MAX},
      {"VstGetLineLocal", 0, "status", true, 22},
      {"VstGetLineLocal", 1, "status", false, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.entry) + " " + std::to_string(k.selector));
    int v = 0;
    EXPECT_EQ(c.get_int(k.entry, k.selector, k.field, &v), k.found);
    if (k.found) {
      EXPECT_EQ(v, k.value);
    }
  }
}

TEST(VtxControl, RealTextAndNullValues) {
  Control c = Control::parse(
      "VstGetLineDetail.amount = 100.000001\n"
      "VstGetInvDetail.invoice = \"INV-1   \"  # trailing blanks kept\n"
      "VstGetInvDetail.company = \"a\\\"b\\\\c\"\n"
      "LocCreateConnHdl = null\n");
  int i = 0;
  double d = 0;
  std::string s;
  ASSERT_TRUE(c.get_real("VstGetLineDetail", kNone, "amount", &d));
  EXPECT_DOUBLE_EQ(d, 100.000001);
  ASSERT_TRUE(c.get_text("VstGetInvDetail", kNone, "invoice", &s));
  EXPECT_EQ(s, "INV-1   ");
  ASSERT_TRUE(c.get_text("VstGetInvDetail", kNone, "company", &s));
  EXPECT_EQ(s, "a\"b\\c");
  EXPECT_TRUE(c.is_null("LocCreateConnHdl", kNone, ""));
  EXPECT_FALSE(c.is_null("VstCreateHdl", kNone, ""));
  // A text is not a number and a number is not a text.
  EXPECT_FALSE(c.get_int("VstGetInvDetail", kNone, "invoice", &i));
  EXPECT_FALSE(c.get_text("VstGetLineDetail", kNone, "amount", &s));
}

TEST(VtxControl, MalformedLinesAreSkipped) {
  const std::string bad[] = {
      "no equals sign", "= 3", "VstOpenDb(x) = 3", "VstOpenDb(1 = 3", "VstOpenDb. = 3",
      "VstOpenDb junk = 3", "VstOpenDb = \"unterminated", "VstOpenDb = \"text\" trailing",
      "VstOpenDb = 12abc", "VstOpenDb = ", "# VstOpenDb = 3", "VstOpenDb = nan",
      "VstOpenDb = 1e999", "X@0 = 1", "X@ = 1", "X@-1 = 1", "X@2x = 1", "X@2(1) = 1",
      std::string("\xff\xfe\0garbage(((=", 14), "VstCalcTax(=3", std::string(5000, '(') + " = 1"};
  for (const std::string& line : bad) EXPECT_EQ(Control::parse(line).size(), 0u) << line;
  EXPECT_EQ(Control::parse("X(1)@2.status = 1").size(), 1u);
  // Good lines around bad ones still count.
  Control c = Control::parse("junk\nVstOpenDb = 3\n\x01\x02\nmore junk = \"x\n");
  int v = 0;
  EXPECT_EQ(c.size(), 1u);
  ASSERT_TRUE(c.get_int("VstOpenDb", kNone, "", &v));
  EXPECT_EQ(v, 3);
}

TEST(VtxControl, MutatedControlTextNeverCrashes) {
  const std::string original =
      "VstOpenDb(1) = 4  # x\nVstGetInvDetail.invoice = \"A\\\"B\"\nLocCreateConnHdl = null\n"
      "VstGetLineDetail.amount = 1.5\nLocGetLocations.matches = 85\n";
  std::mt19937 rng(7);
  std::size_t parsed = 0;
  for (int round = 0; round < 500; ++round) {
    std::string text = original;
    for (int k = 0; k < 3; ++k) text[rng() % text.size()] = "=()\".#\\\n x9"[rng() % 12];
    parsed += Control::parse(text).size();
  }
  EXPECT_GT(parsed, 0u);
}

TEST(VtxControl, LoadFollowsTheVariableAndRereads) {
  unsetenv("VST_STANDIN_CONTROL");
  EXPECT_EQ(Control::load().size(), 0u);
  {
    vtx_test::ControlScope scope("VstCalcTax = 7\n");
    int v = 0;
    ASSERT_TRUE(Control::load().get_int("VstCalcTax", kNone, "", &v));
    EXPECT_EQ(v, 7);
    scope.set("VstCalcTax = 9\n");
    ASSERT_TRUE(Control::load().get_int("VstCalcTax", kNone, "", &v));
    EXPECT_EQ(v, 9);
  }
  setenv("VST_STANDIN_CONTROL", "/nonexistent/vtx/control", 1);
  EXPECT_EQ(Control::load().size(), 0u);
  unsetenv("VST_STANDIN_CONTROL");
}

TEST(VtxControl, CallNumbersLimitALineToOneCall) {
  vtx_test::ControlScope scope(
      "CallCounted@2 = 7\nCallCounted = 1\nCallCounted(3)@3 = 9\nCallCounted(3) = 5\n");
  // Per load: {no selector, selector 3}; the counter is this entry name's own.
  const int want[3][2] = {{1, 5}, {7, 5}, {1, 9}};  // a selector beats a call number
  for (const auto& w : want) {
    Control c = Control::load("CallCounted");
    int v = 0;
    ASSERT_TRUE(c.get_int("CallCounted", kNone, "", &v));
    EXPECT_EQ(v, w[0]);
    ASSERT_TRUE(c.get_int("CallCounted", 3, "", &v));
    EXPECT_EQ(v, w[1]);
  }
  // Loading without an entry counts nothing and applies no call line.
  int v = 0;
  ASSERT_TRUE(Control::load().get_int("CallCounted", kNone, "", &v));
  EXPECT_EQ(v, 1);
}

}  // namespace

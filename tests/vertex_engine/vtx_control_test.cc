#include "vtx_control.h"

#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx::Control;
constexpr long long kNone = Control::kNoSelector;

TEST(VtxControl, ResultOverrideWithAndWithoutSelector) {
  Control c = Control::parse(
      "VstOpenDb = 5\n"
      "VstOpenDb(1) = 4   # the rate database\n");
  int v = 0;
  ASSERT_TRUE(c.get_int("VstOpenDb", 1, "", &v));
  EXPECT_EQ(v, 4);
  ASSERT_TRUE(c.get_int("VstOpenDb", 0, "", &v));
  EXPECT_EQ(v, 5);
  ASSERT_TRUE(c.get_int("VstOpenDb", kNone, "", &v));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(c.get_int("VstCloseDb", 1, "", &v));
}

TEST(VtxControl, SelectorLineDoesNotApplyToCallsWithoutSelector) {
  Control c = Control::parse("VstCalcTax(0) = 3\n");
  int v = 0;
  EXPECT_FALSE(c.get_int("VstCalcTax", kNone, "", &v));
  EXPECT_TRUE(c.get_int("VstCalcTax", 0, "", &v));
}

TEST(VtxControl, LastLineWins) {
  Control c = Control::parse("LocRelease = 0\nLocRelease = 1\n");
  int v = -1;
  ASSERT_TRUE(c.get_int("LocRelease", kNone, "", &v));
  EXPECT_EQ(v, 1);
}

TEST(VtxControl, FieldsAndValueKinds) {
  Control c = Control::parse(
      "VstGetLineLocal(0).status = 22\n"
      "VstGetLineDetail.amount = 100.000001\n"
      "VstGetInvDetail.invoice = \"INV-1   \"  # trailing blanks kept\n"
      "VstGetInvDetail.company = \"a\\\"b\\\\c\"\n"
      "LocCreateConnHdl = null\n");
  int i = 0;
  double d = 0;
  std::string s;
  ASSERT_TRUE(c.get_int("VstGetLineLocal", 0, "status", &i));
  EXPECT_EQ(i, 22);
  EXPECT_FALSE(c.get_int("VstGetLineLocal", 1, "status", &i));
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

TEST(VtxControl, RealsTruncateAndClampToInt) {
  Control c = Control::parse("A = 2.9\nB = -1e300\nC = 99999999999\n");
  int v = 0;
  ASSERT_TRUE(c.get_int("A", kNone, "", &v));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(c.get_int("B", kNone, "", &v));
  EXPECT_EQ(v, INT_MIN);
  ASSERT_TRUE(c.get_int("C", kNone, "", &v));
  EXPECT_EQ(v, INT_MAX);
}

TEST(VtxControl, MalformedLinesAreSkipped) {
  const char* bad[] = {
      "no equals sign",
      "= 3",
      "VstOpenDb(x) = 3",
      "VstOpenDb(1 = 3",
      "VstOpenDb. = 3",
      "VstOpenDb junk = 3",
      "VstOpenDb = \"unterminated",
      "VstOpenDb = \"text\" trailing",
      "VstOpenDb = 12abc",
      "VstOpenDb = ",
      "# VstOpenDb = 3",
      "VstOpenDb = nan",
      "VstOpenDb = 1e999",
  };
  for (const char* line : bad) {
    Control c = Control::parse(line);
    EXPECT_EQ(c.size(), 0u) << line;
  }
  // Good lines around bad ones still count.
  Control c = Control::parse("junk\nVstOpenDb = 3\n\x01\x02\nmore junk = \"x\n");
  int v = 0;
  EXPECT_EQ(c.size(), 1u);
  ASSERT_TRUE(c.get_int("VstOpenDb", kNone, "", &v));
  EXPECT_EQ(v, 3);
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

}  // namespace

namespace {

TEST(VtxControl, MutatedControlTextNeverCrashes) {
  const std::string original =
      "VstOpenDb(1) = 4  # x\nVstGetInvDetail.invoice = \"A\\\"B\"\nLocCreateConnHdl = null\n"
      "VstGetLineDetail.amount = 1.5\nLocGetLocations.matches = 85\n";
  std::mt19937 rng(7);
  std::size_t parsed = 0;
  for (int round = 0; round < 500; ++round) {
    std::string text = original;
    for (int k = 0; k < 3; ++k) {
      std::size_t at = rng() % text.size();
      text[at] = "=()\".#\\\n x9"[rng() % 12];
    }
    parsed += Control::parse(text).size();
  }
  EXPECT_GT(parsed, 0u);
}

}  // namespace

namespace {

TEST(VtxControl, CallNumbersLimitALineToOneCall) {
  vtx_test::ControlScope scope(
      "CallCounted@2 = 7\n"
      "CallCounted = 1\n"
      "CallCounted(3)@3 = 9\n"
      "CallCounted(3) = 5\n");
  int v = 0;
  // The counter is this library's: the entry name is used nowhere else.
  Control first = Control::load("CallCounted");
  ASSERT_TRUE(first.get_int("CallCounted", kNone, "", &v));
  EXPECT_EQ(v, 1);
  ASSERT_TRUE(first.get_int("CallCounted", 3, "", &v));
  EXPECT_EQ(v, 5);
  Control second = Control::load("CallCounted");
  ASSERT_TRUE(second.get_int("CallCounted", kNone, "", &v));
  EXPECT_EQ(v, 7);
  ASSERT_TRUE(second.get_int("CallCounted", 3, "", &v));
  EXPECT_EQ(v, 5) << "a selector beats a call number";
  Control third = Control::load("CallCounted");
  ASSERT_TRUE(third.get_int("CallCounted", 3, "", &v));
  EXPECT_EQ(v, 9);
  ASSERT_TRUE(third.get_int("CallCounted", kNone, "", &v));
  EXPECT_EQ(v, 1);
  // Loading without an entry counts nothing and applies no call line.
  ASSERT_TRUE(Control::load().get_int("CallCounted", kNone, "", &v));
  EXPECT_EQ(v, 1);
  for (const char* bad : {"X@0 = 1", "X@ = 1", "X@-1 = 1", "X@2x = 1", "X@2(1) = 1"})
    EXPECT_EQ(Control::parse(bad).size(), 0u) << bad;
  EXPECT_EQ(Control::parse("X(1)@2.status = 1").size(), 1u);
}

}  // namespace

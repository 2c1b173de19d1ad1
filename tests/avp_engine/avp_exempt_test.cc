#include "avp_exempt.h"

#include <gtest/gtest.h>

namespace avp_standin {
namespace {

TEST(AvpExempt, MatchesStateOrEveryState) {
  ExemptList l;
  std::string error;
  ASSERT_TRUE(l.parse("*|grocery\nCA|DRUGS\n", &error)) << error;
  EXPECT_TRUE(l.exempt("NY", "GROCERY"));
  EXPECT_TRUE(l.exempt("CA", "DRUGS"));
  EXPECT_FALSE(l.exempt("NY", "DRUGS"));
  EXPECT_FALSE(l.exempt("CA", ""));
}

TEST(AvpExempt, AnEmptyListIsValid) {
  ExemptList l;
  std::string error;
  EXPECT_TRUE(l.parse("# nothing exempt\n", &error));
  EXPECT_FALSE(l.exempt("CA", "ANYTHING"));
}

TEST(AvpExempt, RefusesMalformedLines) {
  for (const char* bad : {"CA", "CA|X|Y", "C|X", "CA|", "CA|ABCDEFGHIJKLMNOPQRSTUVWXYZABC"}) {
    ExemptList l;
    std::string error;
    EXPECT_FALSE(l.parse(bad, &error)) << bad;
  }
}

}  // namespace
}  // namespace avp_standin

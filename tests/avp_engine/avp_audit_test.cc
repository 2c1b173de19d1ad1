#include "avp_audit.h"

#include <gtest/gtest.h>

#include "avp_engine_support.h"

namespace avp_standin {
namespace {

TEST(AvpAudit, OneLineWithEveryField) {
  avp_test::TaxRequest r;
  r.invoice("INV|42").product("WIDGET");
  r.tax.GenCmplCd = 18;
  r.jur.JurCmplCd = 0;
  for (int k = 0; k < AVP_LEVELS; ++k) r.tax.level_out_dbl[k] = k * 1.5;
  CalcSummary s;
  s.state = "CA";
  s.zip = "90411";
  s.geo = "00";
  s.title = 'O';
  s.base = 100;
  s.total = 42;
  std::string line = audit_line(7, 86400 * 365, r.tax, r.jur, s);
  EXPECT_EQ(line,
            "1971-01-01T00:00:00Z|7|INV 42|WIDGET|CA|90411|00|O|100.00|18|0|"
            "0.00|1.50|3.00|4.50|6.00|7.50|9.00|10.50|42.00\n");
  EXPECT_EQ(avp_test::split(line, '|').size(), 20u);
}

TEST(AvpAudit, AppendsAndReportsFailure) {
  avp_test::TempDir dir;
  EXPECT_TRUE(audit_append(dir.at("journal"), "one\n"));
  EXPECT_TRUE(audit_append(dir.at("journal"), "two\n"));
  EXPECT_EQ(avp_test::read_file(dir.at("journal")), "one\ntwo\n");
  EXPECT_FALSE(audit_append(dir.at("missing/journal"), "x\n"));
  EXPECT_FALSE(audit_append(dir.path(), "x\n"));
}

}  // namespace
}  // namespace avp_standin

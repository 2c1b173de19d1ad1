// The built libavptax.so, loaded with dlopen and driven through its entry
// points as the process drives it.
#include <gtest/gtest.h>

#include <filesystem>

#include "avp_engine_support.h"

namespace {

using avp_test::Engine;
using avp_test::EngineEnv;
using avp_test::lines_of;
using avp_test::read_file;
using avp_test::TaxRequest;

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> f = avp_test::split(line, '|');
  EXPECT_EQ(f.size(), 20u) << line;
  f.resize(20);
  return f;
}

TaxRequest san_albero(double amount) {
  TaxRequest r;
  r.block(1, "CA", "SAN ALBERO", "90411").invoice("INV-1").product("WIDGET").amount(amount);
  return r;
}

TEST(AvpTaxEngine, OpensCalculatesJournalsAndCloses) {
  EngineEnv env;
  Engine e;
  ASSERT_NE(e.tax_open(), 0);
  TaxRequest r = san_albero(100);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 0);
  EXPECT_EQ(r.tax.GenCmplCd, 0);
  EXPECT_EQ(r.jur.JurCmplCd, 0);
  EXPECT_DOUBLE_EQ(r.tax.level_out_dbl[1], 6.00);  // the amounts themselves: avp_calc_test
  EXPECT_EQ(r.jur.chr_236, 'D');

  TaxRequest bad = san_albero(50);
  bad.block(4, "ZZ", "", "");
  EXPECT_EQ(e.tax_cmn(&bad.tax, AVP_CMN_SELECT, &bad.jur), 95);
  EXPECT_EQ(bad.jur.JurCmplCd, 99);
  EXPECT_EQ(bad.jur.POOJurRC, 3);

  // One journal line per calculation, failed ones too (the line itself: avp_audit_test).
  const std::vector<std::string> journal = lines_of(read_file(env.audit()));
  ASSERT_EQ(journal.size(), 2u);
  const std::vector<std::string> f = split(journal[0]), g = split(journal[1]);
  EXPECT_EQ(std::vector<std::string>(f.begin() + 1, f.begin() + 6),
            (std::vector<std::string>{"1", "INV-1", "WIDGET", "CA", "90411"}));
  EXPECT_EQ(f[19], "7.50");
  EXPECT_EQ(g[1] + " " + g[9] + " " + g[10], "2 95 99");

  EXPECT_NE(e.tax_close(), 0);
  EXPECT_EQ(read_file(env.dir().at("AVPOUT/avptax.sum")), "calculations 2\nfailures 1\n");
  EXPECT_EQ(e.tax_close(), 0);  // not open any more
  TaxRequest after = san_albero(1);
  EXPECT_EQ(e.tax_cmn(&after.tax, AVP_CMN_SELECT, &after.jur), 90);
  EXPECT_EQ(lines_of(read_file(env.audit())).size(), 2u);
}

TEST(AvpTaxEngine, CalculationBeforeOpenIsRefused) {
  EngineEnv env;
  Engine e;
  TaxRequest r = san_albero(100);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 90);
  EXPECT_EQ(r.tax.GenCmplCd, 90);
  EXPECT_EQ(e.tax_cmn(nullptr, AVP_CMN_SELECT, &r.jur), -1);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, nullptr), -1);
  EXPECT_FALSE(std::filesystem::exists(env.audit()));
}

TEST(AvpTaxEngine, OpenFailsWithoutEachOfItsVariables) {
  for (const char* name : {"AVPIN", "ZIPIN", "STEPIN", "AVPAUDIT", "AVPOUT", "AVPTEMP", "STEPOUT", "STEPTEMP"}) {
    for (bool empty : {false, true}) {
      EngineEnv env;
      if (empty) env.env().set(name, "");
      else env.env().unset(name);
      Engine e;
      EXPECT_EQ(e.tax_open(), 0) << name;
      testing::internal::CaptureStderr();
      EXPECT_EQ(e.tax_io_err(AVP_IO_ERR_ARG), 1);
      std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(err, std::string("avptax: open failed: ") + name + " not set\n");
      EXPECT_EQ(e.tax_io_err(AVP_IO_ERR_ARG), 0);  // reported once
    }
  }
}

TEST(AvpTaxEngine, OpenFailsOnBadFilesAndDirectories) {
  struct Case {
    const char* name;
    const char* what;  // "missing", "dir", "file", or data text
  } cases[] = {
      {"AVPIN", "missing"},     {"AVPIN", "dir"},       {"AVPIN", "1|CA|*|*|*|2.5|rate\n"},
      {"AVPIN", ""},            {"ZIPIN", "missing"},   {"ZIPIN", "CA|1|X|037|Y|00|I\n"},
      {"STEPIN", "missing"},    {"STEPIN", "CA\n"},     {"AVPOUT", "missing"},
      {"AVPOUT", "file"},       {"AVPTEMP", "file"},    {"STEPOUT", "missing"},
      {"STEPTEMP", "file"},     {"AVPAUDIT", "dir"},    {"AVPAUDIT", "missing-dir"},
  };
  for (const Case& c : cases) {
    EngineEnv env;
    std::string path = env.dir().at("bad");
    std::string w = c.what;
    if (w == "dir") std::filesystem::create_directory(path);
    else if (w == "missing-dir") path = env.dir().at("nowhere/audit.log");
    else if (w != "missing") avp_test::write_file(path, w == "file" ? "x" : w);
    env.env().set(c.name, path);
    Engine e;
    EXPECT_EQ(e.tax_open(), 0) << c.name << " " << c.what;
    testing::internal::CaptureStderr();
    EXPECT_EQ(e.tax_io_err(AVP_IO_ERR_ARG), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("avptax: open failed: "), std::string::npos);
    TaxRequest r = san_albero(10);
    EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 90) << c.name << " " << c.what;
  }
}

TEST(AvpTaxEngine, AFailedReopenLeavesTheEngineClosed) {
  EngineEnv env;
  Engine e;
  ASSERT_NE(e.tax_open(), 0);
  env.env().set("AVPIN", env.dir().at("absent"));
  EXPECT_EQ(e.tax_open(), 0);
  TaxRequest r = san_albero(10);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 90);
  env.env().set("AVPIN", std::string(AVP_DATA_DIR) + "/rates.txt");
  EXPECT_NE(e.tax_open(), 0);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 0);
  EXPECT_EQ(e.tax_io_err(AVP_IO_ERR_ARG), 0);
}

TEST(AvpTaxEngine, AnUnwritableJournalFailsTheCalculation) {
  EngineEnv env;
  std::filesystem::create_directory(env.dir().at("journal"));
  env.env().set("AVPAUDIT", env.dir().at("journal/audit.log"));
  Engine e;
  ASSERT_NE(e.tax_open(), 0);
  std::filesystem::remove_all(env.dir().at("journal"));
  TaxRequest r = san_albero(100);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 91);
  EXPECT_DOUBLE_EQ(r.tax.level_out_dbl[1], 0);
  // A close that cannot write its summary reports failure.
  std::filesystem::remove_all(env.dir().at("AVPOUT"));
  EXPECT_EQ(e.tax_close(), 0);
}

TEST(AvpTaxEngine, ControlForcesResultsAndCodes) {
  EngineEnv env;
  Engine e;
  env.control("AVPTAXOPEN = 0\n");
  EXPECT_EQ(e.tax_open(), 0);  // forced, though the open itself worked
  env.control("GenCmplCd = 63\n");
  TaxRequest r = san_albero(100);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 63);
  EXPECT_EQ(r.tax.GenCmplCd, 63);
  EXPECT_DOUBLE_EQ(r.tax.level_out_dbl[1], 6.00);  // amounts stay computed

  env.control("JurCmplCd = 99\nPOOJurRC = 1\nPOAJurRC = 3\nShpToJurRC = 4\nShpFrJurRC = 5\nAVPTAXCMN = 7\n");
  TaxRequest j = san_albero(100);
  EXPECT_EQ(e.tax_cmn(&j.tax, AVP_CMN_SELECT, &j.jur), 7);
  EXPECT_EQ(j.tax.GenCmplCd, 0);
  EXPECT_EQ(j.jur.JurCmplCd, 99);
  EXPECT_EQ((std::vector<int>{j.jur.POOJurRC, j.jur.POAJurRC, j.jur.ShpToJurRC, j.jur.ShpFrJurRC}),
            (std::vector<int>{1, 3, 4, 5}));

  const std::vector<std::string> journal = lines_of(read_file(env.audit()));
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(split(journal[0])[9], "63");
  EXPECT_EQ(split(journal[1])[10], "99");

  env.control("AVPTAX_IO_ERR = 5\nAVPTAXCLOSE = 0\n");
  EXPECT_EQ(e.tax_io_err(AVP_IO_ERR_ARG), 5);
  EXPECT_EQ(e.tax_close(), 0);
  env.control("# nothing forced\n");
  EXPECT_EQ(e.tax_close(), 0);  // the forced close really closed
}

TEST(AvpTaxEngine, ControlIsReadOnEveryCall) {
  EngineEnv env;
  Engine e;
  ASSERT_NE(e.tax_open(), 0);
  for (int gen : {4, 18, 19, 51, 83}) {
    env.control("GenCmplCd=" + std::to_string(gen) + "\n");
    TaxRequest r = san_albero(10);
    EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), gen);
  }
  env.control("\x01\x02garbage = = =\nGenCmplCd=\n");
  TaxRequest r = san_albero(10);
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 0);
  env.env().unset("AVP_STANDIN_CONTROL");
  EXPECT_EQ(e.tax_cmn(&r.tax, AVP_CMN_SELECT, &r.jur), 0);
}

TEST(AvpTaxEngine, TheSelectorMustBe51) {
  EngineEnv env;
  Engine e;
  ASSERT_NE(e.tax_open(), 0);
  TaxRequest r = san_albero(10);
  EXPECT_EQ(e.tax_cmn(&r.tax, 50, &r.jur), 95);
  EXPECT_EQ(r.jur.JurCmplCd, 9);
}

}  // namespace

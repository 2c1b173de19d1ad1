// The tax library loaded with dlopen, called as the process calls it.
#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx_test::ControlScope;
using vtx_test::Engine;
using vtx_test::TaxSession;
using vtx_test::TempDir;
using vtx_test::sample;

struct InvBack {
  int ok = -1;
  char invoice[VTX_INVOICE_SIZE] = {};
  char customer_1[VTX_CUSTOMER_SIZE] = {};
  char customer_2[VTX_CUSTOMER_SIZE] = {};
  char company[VTX_COMPANY_SIZE] = {};
  int mode = -1;
  int write_register = -1;
};

InvBack inv_back(TaxSession& s) {
  InvBack r;
  r.ok = s.e.VstGetInvDetail(s.hdl, nullptr, nullptr, r.invoice, nullptr, nullptr, nullptr,
                             r.customer_1, r.customer_2, &r.mode, r.company, nullptr, nullptr,
                             nullptr, &r.write_register);
  return r;
}

struct LineBack {
  int ok = -1;
  int juris = -1;
  double amount = -1, a = -1, b = -1;
  char user_area[VTX_USER_AREA_SIZE] = {};
  int kind = -1;
};

LineBack line_back(TaxSession& s, int number = 1) {
  LineBack r;
  r.ok = s.e.VstGetLineDetail(s.hdl, number, nullptr, nullptr, nullptr, nullptr, &r.juris,
                              &r.amount, &r.a, &r.b, r.user_area, &r.kind, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
  return r;
}

TEST(VstEntry, DeterminationReadsBackWhatWasSet) {
  TaxSession s;
  ASSERT_EQ(s.juris(eVstJurisTypeShipFrom, 110030200), 1);
  ASSERT_EQ(s.juris(eVstJurisTypeShipTo, 110010100), 1);
  ASSERT_EQ(s.juris(eVstJurisTypeOrderAccept, 0), 1);
  ASSERT_EQ(s.invoice("INV-1  ", 0, "CUST-A", "CUST-B", "ACME"), 1);
  ASSERT_EQ(s.line(200.0, 1, "user area"), 1);
  ASSERT_EQ(s.product("WIDGET"), 1);
  ASSERT_EQ(s.calc(), 0);

  InvBack inv = inv_back(s);
  EXPECT_EQ(inv.ok, 1);
  EXPECT_STREQ(inv.invoice, "INV-1  ");
  EXPECT_STREQ(inv.customer_1, "CUST-A");
  EXPECT_STREQ(inv.customer_2, "CUST-B");
  EXPECT_STREQ(inv.company, "ACME");
  EXPECT_EQ(inv.write_register, 0);

  LineBack ln = line_back(s);
  EXPECT_EQ(ln.ok, 1);
  EXPECT_EQ(ln.juris, 2);
  EXPECT_EQ(ln.amount, 200.0);
  EXPECT_DOUBLE_EQ(ln.a, 0.0725);
  EXPECT_DOUBLE_EQ(ln.b, 14.5);
  EXPECT_STREQ(ln.user_area, "user area");

  char product[VTX_PRODUCT_SIZE] = {};
  EXPECT_EQ(s.e.VstGetLineProd(s.hdl, 1, nullptr, nullptr, product, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
            1);
  EXPECT_STREQ(product, "WIDGET");

  struct {
    int level;
    double a, b;
    int owner;
  } want[] = {{eVstStLocTypeState, 0.05, 10.0, 0},
              {eVstStLocTypeCnty, 0.01, 2.0, 0},
              {eVstStLocTypeCity, 0.01, 2.0, 0},
              {eVstStLocTypeDist, 0.0025, 0.5, eVstDistOwnerCity}};
  for (const auto& w : want) {
    TaxSession::Level l = s.level(w.level);
    EXPECT_EQ(l.ok, 1);
    EXPECT_EQ(l.status, 0);
    EXPECT_DOUBLE_EQ(l.a, w.a) << w.level;
    EXPECT_DOUBLE_EQ(l.b, w.b) << w.level;
    EXPECT_EQ(l.owner, w.owner) << w.level;
  }
  for (int k = 0; k < 3; ++k) {
    TaxSession::Level l = s.addtl(k);
    EXPECT_EQ(l.ok, 1);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.b, 0.0);
    EXPECT_EQ(l.juris, 2);
  }
  // The process passes nulls for what it does not want.
  int status = -1;
  EXPECT_EQ(s.e.VstGetLineLocal(s.hdl, 1, eVstStLocTypeCnty, nullptr, &status, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
            1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(s.e.VstResetHdl(s.hdl), 1);
  EXPECT_EQ(inv_back(s).ok, 0) << "a reset handle holds no invoice";
  EXPECT_EQ(s.level(0).ok, 0);
}

TEST(VstEntry, LongTextsAreCutToTheReadBuffers) {
  TaxSession s;
  std::string long_text(100, 'Z');
  s.juris(eVstJurisTypeShipTo, 110010100);
  std::int64_t zero = 0;
  int mode = 3, wr = 5;
  ASSERT_EQ(s.e.VstSetInvDetail(s.hdl, long_text.c_str(), nullptr, long_text.c_str(), nullptr,
                                &zero, long_text.c_str(), long_text.c_str(), &mode,
                                long_text.c_str(), nullptr, nullptr, nullptr, &wr),
            1);
  EXPECT_EQ(wr, 1) << "the engine writes back the flag it will use";
  ASSERT_EQ(s.line(10.0, 1, long_text.c_str()), 1);
  ASSERT_EQ(s.product(long_text.c_str()), 1);
  // Canaries right behind each buffer.
  struct {
    char invoice[VTX_INVOICE_SIZE];
    char c1;
    char customer_1[VTX_CUSTOMER_SIZE];
    char c2;
    char customer_2[VTX_CUSTOMER_SIZE];
    char c3;
    char company[VTX_COMPANY_SIZE];
    char c4;
    char user_area[VTX_USER_AREA_SIZE];
    char c5;
    char product[VTX_PRODUCT_SIZE];
    char c6;
  } b;
  std::memset(&b, '#', sizeof b);
  int m = 0, w = 0, j = 0, k = 0;
  double amt = 0, a = 0, bb = 0;
  ASSERT_EQ(s.e.VstGetInvDetail(s.hdl, nullptr, nullptr, b.invoice, nullptr, nullptr, nullptr,
                                b.customer_1, b.customer_2, &m, b.company, nullptr, nullptr,
                                nullptr, &w),
            1);
  ASSERT_EQ(s.e.VstGetLineDetail(s.hdl, 1, nullptr, nullptr, nullptr, nullptr, &j, &amt, &a, &bb,
                                 b.user_area, &k, nullptr, nullptr, nullptr, nullptr, nullptr),
            1);
  ASSERT_EQ(s.e.VstGetLineProd(s.hdl, 1, nullptr, nullptr, b.product, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(std::string(b.invoice), std::string(VTX_INVOICE_SIZE - 1, 'Z'));
  EXPECT_EQ(std::string(b.company), std::string(VTX_COMPANY_SIZE - 1, 'Z'));
  EXPECT_EQ(std::string(b.user_area), std::string(VTX_USER_AREA_SIZE - 1, 'Z'));
  EXPECT_EQ(std::string(b.product), std::string(VTX_PRODUCT_SIZE - 1, 'Z'));
  for (char c : {b.c1, b.c2, b.c3, b.c4, b.c5, b.c6}) EXPECT_EQ(c, '#');
  EXPECT_EQ(m, 3);
  EXPECT_EQ(w, 1);
}

TEST(VstEntry, RegisterIsWrittenWhenAsked) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 230110100);
  s.invoice("INV-REG", 1, "CUST-A", "", "ACME");
  s.line(100.0);
  s.product("WIDGET");
  ASSERT_EQ(s.calc(), 0);
  EXPECT_EQ(inv_back(s).write_register, 1);
  std::string reg = vtx_test::read_file(s.reg);
  EXPECT_NE(reg.find("|INV-REG|TEXT|ACME|CUST-A||1|WIDGET|2|230110100|100.00|"),
            std::string::npos)
      << reg;
  EXPECT_EQ(std::count(reg.begin(), reg.end(), '\n'), 1);

  s.e.VstResetHdl(s.hdl);
  s.juris(eVstJurisTypeShipTo, 230110100);
  s.invoice("INV-NOREG", 0);
  s.line(100.0);
  ASSERT_EQ(s.calc(), 0);
  EXPECT_EQ(vtx_test::read_file(s.reg), reg);
}

TEST(VstEntry, ResubmissionWithTotalsAfterStatus22) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 460210200);  // Quarry Flats: no city rate
  s.invoice("INV-22", 1);
  s.line(100.0);
  s.product("WIDGET");
  ASSERT_EQ(s.calc(), 8);
  EXPECT_EQ(s.level(eVstStLocTypeCity).status, 22);
  EXPECT_EQ(vtx_test::read_file(s.reg), "") << "not registered with a level unknown";

  double amount = 100.0, sum_a = 0.045, sum_b = 4.5;
  int one = 1;
  ASSERT_EQ(s.e.VstSetLineDetail(s.hdl, 1, 0, 0, 3, 0, &one, &amount, &sum_a, &sum_b, "UA",
                                 nullptr, nullptr, nullptr, nullptr, nullptr),
            1);
  ASSERT_EQ(s.calc(), 8);
  LineBack ln = line_back(s);
  EXPECT_DOUBLE_EQ(ln.a, 0.045);
  EXPECT_DOUBLE_EQ(ln.b, 4.5);
  std::string reg = vtx_test::read_file(s.reg);
  EXPECT_NE(reg.find("|INV-22|"), std::string::npos);
  EXPECT_NE(reg.find("|100.00|0.045000|4.50|1\n"), std::string::npos) << reg;
  // The product survived the re-submission of the same line.
  EXPECT_NE(reg.find("|WIDGET|"), std::string::npos);
}

TEST(VstEntry, LevelSettingsAsTheProcessSendsThem) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("INV-L");
  s.line(200.0);
  s.product("WIDGET");
  // State non-taxable with the line amount; city taxable at its own rate.
  int non_taxable = eVstTaxbltyNonTaxable, taxable = eVstTaxbltyTaxable, code = 6, zero = 0,
      owner = 0;
  double amount = 200.0, a = 0.0, b = 0.0, city_a = 0.02, city_b = 0.0;
  ASSERT_EQ(s.e.VstSetLineLocal(s.hdl, 1, eVstStLocTypeState, &non_taxable, &code, &zero,
                                nullptr, nullptr, nullptr, &amount, &b, nullptr, nullptr, &a,
                                &owner),
            1);
  ASSERT_EQ(s.e.VstSetLineLocal(s.hdl, 1, eVstStLocTypeCity, &taxable, &code, &zero, "L",
                                nullptr, nullptr, nullptr, &city_b, nullptr, nullptr, &city_a,
                                &owner),
            1);
  EXPECT_EQ(s.e.VstSetLineLocal(s.hdl, 2, eVstStLocTypeCity, &taxable, &code, &zero, nullptr,
                                nullptr, nullptr, nullptr, &b, nullptr, nullptr, &a, &owner),
            0)
      << "another line number";
  EXPECT_EQ(s.e.VstSetLineLocal(s.hdl, 1, 4, &taxable, &code, &zero, nullptr, nullptr, nullptr,
                                nullptr, &b, nullptr, nullptr, &a, &owner),
            0)
      << "no level 4";
  int bad = 3;
  EXPECT_EQ(s.e.VstSetLineLocal(s.hdl, 1, 0, &bad, &code, &zero, nullptr, nullptr, nullptr,
                                nullptr, &b, nullptr, nullptr, &a, &owner),
            0)
      << "no taxability 3";
  ASSERT_EQ(s.calc(), 0);
  EXPECT_EQ(s.level(eVstStLocTypeState).b, 0.0);
  EXPECT_DOUBLE_EQ(s.level(eVstStLocTypeCity).b, 4.0);
  EXPECT_DOUBLE_EQ(s.level(eVstStLocTypeCnty).b, 2.0);
}

TEST(VstEntry, LineNumbersMustMatch) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("INV");
  EXPECT_EQ(s.product("WIDGET"), 0) << "no line yet";
  s.line(10.0, 7);
  EXPECT_EQ(s.product("WIDGET", 8), 0);
  EXPECT_EQ(s.product("WIDGET", 7), 1);
  ASSERT_EQ(s.calc(), 0);
  EXPECT_EQ(line_back(s, 8).ok, 0);
  EXPECT_EQ(line_back(s, 7).ok, 1);
  EXPECT_EQ(s.level(0, 8).ok, 0);
  EXPECT_EQ(s.addtl(0, 7).ok, 1);
  EXPECT_EQ(s.addtl(3, 7).ok, 0) << "no locality 3";
  // A new line number starts a new line without the old product.
  s.line(10.0, 8);
  char product[VTX_PRODUCT_SIZE] = {};
  EXPECT_EQ(s.e.VstGetLineProd(s.hdl, 8, nullptr, nullptr, product, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(s.level(0, 8).ok, 0) << "not calculated since";
}

TEST(VstEntry, CalculationStatuses) {
  TaxSession s;
  EXPECT_EQ(s.calc(), 3) << "no line";
  s.line(10.0);
  EXPECT_EQ(s.calc(), 2) << "no jurisdiction";
  s.juris(eVstJurisTypeShipTo, 770000123);
  EXPECT_EQ(s.calc(), 8) << "foreign";
  EXPECT_EQ(s.level(0).status, 22);
  EXPECT_EQ(s.addtl(2).status, 22);
  int local = 0;
  EXPECT_EQ(s.e.VstCalcTax(&local, s.hdl, 0, 0), 4);
  EXPECT_EQ(s.e.VstCalcTax(nullptr, s.hdl, 0, 0), 4);
  EXPECT_EQ(s.e.VstCalcTax(s.conn, &local, 0, 0), 1);
  EXPECT_EQ(s.e.VstCalcTax(s.conn, nullptr, 0, 0), 1);
  EXPECT_EQ(s.e.VstCloseDb(s.conn, eVstDbTypeTDM, nullptr, nullptr), 0);
  EXPECT_EQ(s.calc(), 9);
  EXPECT_EQ(s.e.VstCloseDb(s.conn, eVstDbTypeRate, nullptr, nullptr), 0);
  EXPECT_EQ(s.calc(), 6);
  s.invoice("INV", 1);
  EXPECT_EQ(s.e.VstOpenDb(s.conn, eVstDbTypeRate, sample("rate.dat").c_str(), nullptr, "", "", 0,
                          nullptr, nullptr),
            0);
  EXPECT_EQ(s.e.VstOpenDb(s.conn, eVstDbTypeTDM, "tdm.dat", VTX_SAMPLE_DATA_DIR, "", "", 0,
                          nullptr, nullptr),
            0);
  s.juris(eVstJurisTypeShipTo, 110010100);
  EXPECT_EQ(s.e.VstCloseDb(s.conn, eVstDbTypeRegister, nullptr, nullptr), 0);
  EXPECT_EQ(s.calc(), 11) << "register asked for but closed";
  EXPECT_EQ(s.e.VstOpenDb(s.conn, eVstDbTypeRegister, s.reg.c_str(), nullptr, "", "", 0, nullptr,
                          nullptr),
            0);
  EXPECT_EQ(s.calc(), 12) << "register open read-only";
}

TEST(VstOpen, StatusOfEverySource) {
  const Engine& e = Engine::get();
  TempDir dir;
  struct Case {
    const char* what;
    int type;
    std::string source;
    const char* server;
    const char* user;
    const char* password;
    int mode;
    int status;
  } cases[] = {
      {"location", eVstDbTypeLocation, sample("location.dat"), nullptr, "", "", 0, 0},
      {"rate by default name", eVstDbTypeRate, "", VTX_SAMPLE_DATA_DIR, "", "", 0, 0},
      {"tdm relative", eVstDbTypeTDM, "tdm.dat", VTX_SAMPLE_DATA_DIR, "", "", 0, 0},
      {"missing", eVstDbTypeRate, dir.at("none.dat"), nullptr, "", "", 0, 2},
      {"null source", eVstDbTypeRate, "", nullptr, "", "", 0, 2},
      {"wrong kind", eVstDbTypeRate, sample("tdm.dat"), nullptr, "", "", 0, 1},
      {"malformed", eVstDbTypeTDM, dir.write("bad", "FORMAT|tdm|1\nPRODUCT|x\n"), nullptr, "",
       "", 0, 5},
      {"bad type", 4, sample("rate.dat"), nullptr, "", "", 0, 1},
      {"negative type", -1, sample("rate.dat"), nullptr, "", "", 0, 1},
      {"auth ok", eVstDbTypeRate, dir.write("auth", "FORMAT|rate|1\nAUTH|amy|pw\n"), nullptr,
       "amy", "pw", 0, 0},
      {"auth user", eVstDbTypeRate, dir.at("auth"), nullptr, "bob", "pw", 0, 3},
      {"auth password", eVstDbTypeRate, dir.at("auth"), nullptr, "amy", "x", 0, 4},
      {"register created", eVstDbTypeRegister, dir.at("reg.dat"), nullptr, "", "", 2, 0},
      {"register read-only missing", eVstDbTypeRegister, dir.at("none.dat"), nullptr, "", "",
       0, 2},
      {"register in missing dir", eVstDbTypeRegister, dir.at("x/reg.dat"), nullptr, "", "", 2,
       2},
  };
  for (const Case& c : cases) {
    VstConnHdl conn = e.VstCreateConnHdl();
    const char* source = c.source.empty() ? nullptr : c.source.c_str();
    EXPECT_EQ(e.VstOpenDb(conn, c.type, source, c.server, c.user, c.password, c.mode, nullptr,
                          nullptr),
              c.status)
        << c.what;
    int close_status = c.status == 0 ? 0 : (c.type < 0 || c.type > 3) ? 1 : 5;
    EXPECT_EQ(e.VstCloseDb(conn, c.type, nullptr, nullptr), close_status) << c.what;
    EXPECT_EQ(e.VstReleaseConnHdl(conn), 1);
  }
  VstConnHdl conn = e.VstCreateConnHdl();
  ASSERT_EQ(e.VstOpenDb(conn, 1, sample("rate.dat").c_str(), nullptr, "", "", 0, nullptr,
                        nullptr),
            0);
  EXPECT_EQ(e.VstOpenDb(conn, 1, sample("rate.dat").c_str(), nullptr, "", "", 0, nullptr,
                        nullptr),
            5)
      << "already open";
  EXPECT_EQ(e.VstGetDatabaseConnHdl(conn, 1), conn);
  EXPECT_EQ(e.VstGetDatabaseConnHdl(conn, 0), nullptr);
  EXPECT_EQ(e.VstReleaseConnHdl(conn), 1);
  EXPECT_EQ(e.VstGetDatabaseConnHdl(conn, 1), nullptr);
}

TEST(VstEntry, ForeignAndNullHandlesNeverCrash) {
  const Engine& e = Engine::get();
  long long local[8] = {};
  void* foreign = local;
  for (void* h : {foreign, static_cast<void*>(nullptr)}) {
    char buf[64] = {};
    int i = 0;
    double d = 0;
    std::int64_t g = 110010100;
    EXPECT_EQ(e.VstOpenDb(h, 0, sample("location.dat").c_str(), nullptr, "", "", 0, nullptr,
                          nullptr),
              5);
    EXPECT_EQ(e.VstCloseDb(h, 0, nullptr, nullptr), 5);
    EXPECT_EQ(e.VstReleaseConnHdl(h), 0);
    EXPECT_EQ(e.VstReleaseHdl(h), 0);
    EXPECT_EQ(e.VstResetHdl(h), 0);
    EXPECT_EQ(e.VstGetDatabaseConnHdl(h, 0), nullptr);
    EXPECT_EQ(e.VstSetInvJuris(h, 0, 1, &g, nullptr, nullptr, nullptr, nullptr, &i), 0);
    EXPECT_EQ(e.VstSetInvDetail(h, "", nullptr, "", nullptr, nullptr, "", "", &i, "", nullptr,
                                nullptr, nullptr, &i),
              0);
    EXPECT_EQ(e.VstSetLineDetail(h, 1, 0, 0, 0, 0, &i, &d, nullptr, nullptr, "", nullptr,
                                 nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(e.VstSetLineProd(h, 1, 0, &d, "", nullptr, &i, nullptr, &d, nullptr, nullptr), 0);
    EXPECT_EQ(e.VstSetLineLocal(h, 1, 0, &i, &i, &i, nullptr, nullptr, nullptr, &d, &d, nullptr,
                                nullptr, &d, &i),
              0);
    EXPECT_EQ(e.VstGetInvDetail(h, nullptr, nullptr, buf, nullptr, nullptr, nullptr, buf, buf,
                                &i, buf, nullptr, nullptr, nullptr, &i),
              0);
    EXPECT_EQ(e.VstGetLineDetail(h, 1, nullptr, nullptr, nullptr, nullptr, &i, &d, &d, &d, buf,
                                 &i, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(e.VstGetLineProd(h, 1, nullptr, nullptr, buf, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              0);
    EXPECT_EQ(e.VstGetLineLocal(h, 1, 0, nullptr, &i, nullptr, &d, nullptr, &d, nullptr, &d,
                                nullptr, nullptr, &d, &i),
              0);
    EXPECT_EQ(e.VstGetLineLocalAddtl(h, 1, 0, nullptr, &i, nullptr, &d, nullptr, &d, nullptr,
                                     &d, nullptr, nullptr, &d, &i, &i),
              0);
    e.VstDebugHdl(h, nullptr, nullptr);
  }
  for (long long v : local) EXPECT_EQ(v, 0) << "nothing written through a foreign handle";
  // A live handle still refuses a null jurisdiction or amount.
  TaxSession s;
  int flag = 0;
  EXPECT_EQ(e.VstSetInvJuris(s.hdl, 0, 1, nullptr, nullptr, nullptr, nullptr, nullptr, &flag), 0);
  EXPECT_EQ(s.juris(3, 110010100), 0);
  EXPECT_EQ(e.VstSetLineDetail(s.hdl, 1, 0, 0, 0, 0, &flag, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  VstHdl gone = e.VstCreateHdl();
  EXPECT_EQ(e.VstReleaseHdl(gone), 1);
  EXPECT_EQ(e.VstReleaseHdl(gone), 0);
  EXPECT_EQ(e.VstResetHdl(gone), 0);
}

TEST(VstEntry, DebugDumpIsAppended) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("INV-DBG");
  s.line(50.0);
  std::string file = s.dir.at("tarn.out");
  s.e.VstDebugHdl(s.hdl, file.c_str(), "before calculation\n");
  ASSERT_EQ(s.calc(), 0);
  s.e.VstDebugHdl(s.hdl, file.c_str(), "after calculation");
  std::string dump = vtx_test::read_file(file);
  EXPECT_EQ(dump.find("before calculation\n"), 0u);
  EXPECT_NE(dump.find("after calculation\n"), std::string::npos);
  EXPECT_NE(dump.find("INV-DBG"), std::string::npos);
  EXPECT_NE(dump.find("result done=1"), std::string::npos);
  s.e.VstDebugHdl(s.hdl, s.dir.at("no/dir/tarn.out").c_str(), "x");  // silently nothing
}

TEST(VstControl, ForcedResults) {
  TaxSession s;
  ControlScope control("VstCreateHdl = null\nVstCreateConnHdl = null\n");
  EXPECT_EQ(s.e.VstCreateHdl(), nullptr);
  EXPECT_EQ(s.e.VstCreateConnHdl(), nullptr);

  control.set("VstOpenDb(1) = 4\n");
  VstConnHdl conn = s.e.VstCreateConnHdl();
  EXPECT_EQ(s.e.VstOpenDb(conn, 0, sample("location.dat").c_str(), nullptr, "", "", 0, nullptr,
                          nullptr),
            0);
  EXPECT_EQ(s.e.VstOpenDb(conn, 1, sample("rate.dat").c_str(), nullptr, "", "", 0, nullptr,
                          nullptr),
            4);
  EXPECT_EQ(s.e.VstGetDatabaseConnHdl(conn, 1), nullptr) << "left closed";
  control.set("VstCloseDb(0) = 5\nVstReleaseConnHdl = 0\n");
  EXPECT_EQ(s.e.VstCloseDb(conn, 0, nullptr, nullptr), 5);
  EXPECT_EQ(s.e.VstReleaseConnHdl(conn), 0);

  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("INV");
  s.line(100.0);
  s.product("P");
  control.set("VstCalcTax = 14\n");
  EXPECT_EQ(s.calc(), 14);
  control.set("VstSetInvJuris(1) = 0\nVstSetLineLocal(3) = 0\nVstResetHdl = 0\n");
  EXPECT_EQ(s.juris(eVstJurisTypeShipFrom, 0), 0);
  EXPECT_EQ(s.juris(eVstJurisTypeShipTo, 110010100), 1);
  int t = 1, code = 6, zero = 0, owner = 0;
  double a = 0, b = 0;
  EXPECT_EQ(s.e.VstSetLineLocal(s.hdl, 1, 2, &t, &code, &zero, nullptr, nullptr, nullptr,
                                nullptr, &b, nullptr, nullptr, &a, &owner),
            1);
  EXPECT_EQ(s.e.VstSetLineLocal(s.hdl, 1, 3, &t, &code, &zero, nullptr, nullptr, nullptr,
                                nullptr, &b, nullptr, nullptr, &a, &owner),
            0);
  EXPECT_EQ(s.e.VstResetHdl(s.hdl), 0);
}

TEST(VstControl, ForcedReadBacks) {
  TaxSession s;
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("INV-1", 1);
  s.line(100.0);
  s.product("P");
  ASSERT_EQ(s.calc(), 0);
  ControlScope control(
      "VstGetInvDetail.invoice = \"INV-1   \"\n"
      "VstGetInvDetail.write_register = 0\n"
      "VstGetInvDetail.customer_2 = \"other\"\n"
      "VstGetLineDetail.amount = 100.000001\n"
      "VstGetLineDetail.juris = 7\n"
      "VstGetLineDetail.user_area = \"x\"\n"
      "VstGetLineProd.product = \"Q\"\n"
      "VstGetLineLocal(0).status = 22\n"
      "VstGetLineLocal(3).owner = 2\n"
      "VstGetLineLocal(2).a = 0.5\n"
      "VstGetLineLocalAddtl(1).status = 22\n"
      "VstGetLineLocalAddtl.juris = 4\n"
      "VstGetLineLocalAddtl(2).b = 1.25\n");
  InvBack inv = inv_back(s);
  EXPECT_STREQ(inv.invoice, "INV-1   ");
  EXPECT_EQ(inv.write_register, 0);
  EXPECT_STREQ(inv.customer_1, "C1");
  EXPECT_STREQ(inv.customer_2, "other");
  LineBack ln = line_back(s);
  EXPECT_EQ(ln.amount, 100.000001);
  EXPECT_EQ(ln.juris, 7);
  EXPECT_STREQ(ln.user_area, "x");
  char product[VTX_PRODUCT_SIZE] = {};
  s.e.VstGetLineProd(s.hdl, 1, nullptr, nullptr, product, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
  EXPECT_STREQ(product, "Q");
  EXPECT_EQ(s.level(0).status, 22);
  EXPECT_EQ(s.level(1).status, 0);
  EXPECT_EQ(s.level(3).owner, 2);
  EXPECT_EQ(s.level(2).a, 0.5);
  EXPECT_DOUBLE_EQ(s.level(2).b, 1.0) << "only A was forced";
  EXPECT_EQ(s.addtl(1).status, 22);
  EXPECT_EQ(s.addtl(0).juris, 4);
  EXPECT_EQ(s.addtl(2).b, 1.25);

  control.set("VstGetLineLocal(1) = 0\nVstGetLineLocalAddtl = 0\nVstGetInvDetail = 0\n");
  EXPECT_EQ(s.level(0).ok, 1);
  EXPECT_EQ(s.level(1).ok, 0);
  EXPECT_EQ(s.addtl(0).ok, 0);
  EXPECT_EQ(inv_back(s).ok, 0);
}

TEST(VstControl, MalformedControlFileIsHarmless) {
  TaxSession s;
  ControlScope control(std::string("\xff\xfe\0garbage(((=\nVstCalcTax(=3\n=\n", 30) +
                       std::string(5000, '(') + "\nVstCalcTax.status = \"unterminated\n");
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice("I");
  s.line(1.0);
  EXPECT_EQ(s.calc(), 0);
}

}  // namespace

namespace {

// A private copy of both libraries: its call counters start at zero.
struct FreshEngine {
  TempDir dir;
  Engine engine;
  FreshEngine() {
    for (const char* lib : {"libvst.so", "libloc.so"})
      dir.write(lib, vtx_test::read_file(std::string(VTX_SHLIB_DIR) + "/" + lib));
    engine = Engine::load(dir.path());
  }
  ~FreshEngine() {
    if (engine.vst != nullptr) dlclose(engine.vst);
    if (engine.loc != nullptr) dlclose(engine.loc);
  }
};

TEST(VstControl, CallNumberFailsOnlyTheResubmission) {
  FreshEngine fresh;
  ASSERT_NE(fresh.engine.VstSetLineDetail, nullptr);
  ControlScope control("VstSetLineDetail@2 = 0\n");
  TaxSession s(fresh.engine);
  s.juris(eVstJurisTypeShipTo, 460230200);
  s.invoice("INV-RS", 1);
  EXPECT_EQ(s.line(100.0), 1) << "first call";
  double amount = 100.0, sum_a = 0.0475, sum_b = 4.75;
  int one = 1;
  EXPECT_EQ(s.e.VstSetLineDetail(s.hdl, 1, 0, 0, 3, 0, &one, &amount, &sum_a, &sum_b, "UA",
                                 nullptr, nullptr, nullptr, nullptr, nullptr),
            0)
      << "second call";
  EXPECT_EQ(s.line(100.0), 1) << "third call";
}

}  // namespace

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
using vtx_test::open_db;
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

InvBack inv_back(const Engine& e, VstHdl hdl) {
  InvBack r;
  r.ok = e.VstGetInvDetail(hdl, nullptr, nullptr, r.invoice, nullptr, nullptr, nullptr,
                           r.customer_1, r.customer_2, &r.mode, r.company, nullptr, nullptr,
                           nullptr, &r.write_register);
  return r;
}
InvBack inv_back(TaxSession& s) { return inv_back(s.e, s.hdl); }

struct LineBack {
  int ok = -1;
  int juris = -1;
  double amount = -1, a = -1, b = -1;
  char user_area[VTX_USER_AREA_SIZE] = {};
  int kind = -1;
};

LineBack line_back(const Engine& e, VstHdl hdl, int number) {
  LineBack r;
  r.ok = e.VstGetLineDetail(hdl, number, nullptr, nullptr, nullptr, nullptr, &r.juris, &r.amount,
                            &r.a, &r.b, r.user_area, &r.kind, nullptr, nullptr, nullptr, nullptr,
                            nullptr);
  return r;
}
LineBack line_back(TaxSession& s, int number = 1) { return line_back(s.e, s.hdl, number); }

int prod_back(const Engine& e, VstHdl hdl, int number, char* product) {
  return e.VstGetLineProd(hdl, number, nullptr, nullptr, product, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
}
int prod_back(TaxSession& s, int number, char* product) {
  return prod_back(s.e, s.hdl, number, product);
}

// One level setting as the process sends it (local code 6).
int set_local(const Engine& e, VstHdl hdl, int number, int level, int taxability, double a,
              double b, double* amount = nullptr, const char* text = nullptr) {
  int code = 6, zero = 0, owner = 0;
  return e.VstSetLineLocal(hdl, number, level, &taxability, &code, &zero, text, nullptr, nullptr,
                           amount, &b, nullptr, nullptr, &a, &owner);
}
template <class... Args>
int set_local(TaxSession& s, Args... args) {
  return set_local(s.e, s.hdl, args...);
}

// Ship-to Millbrook city, one line of `amount` with product WIDGET.
void millbrook(TaxSession& s, const char* invoice, double amount, int write_register = 0) {
  s.juris(eVstJurisTypeShipTo, 110010100);
  s.invoice(invoice, write_register);
  s.line(amount);
  s.product("WIDGET");
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
  EXPECT_EQ(prod_back(s, 1, product), 1);
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
    SCOPED_TRACE(w.level);
    TaxSession::Level l = s.level(w.level);
    EXPECT_EQ(l.ok, 1);
    EXPECT_EQ(l.status, 0);
    EXPECT_DOUBLE_EQ(l.a, w.a);
    EXPECT_DOUBLE_EQ(l.b, w.b);
    EXPECT_EQ(l.owner, w.owner);
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
    char invoice[VTX_INVOICE_SIZE], c1;
    char customer_1[VTX_CUSTOMER_SIZE], c2;
    char customer_2[VTX_CUSTOMER_SIZE], c3;
    char company[VTX_COMPANY_SIZE], c4;
    char user_area[VTX_USER_AREA_SIZE], c5;
    char product[VTX_PRODUCT_SIZE], c6;
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
  ASSERT_EQ(prod_back(s, 1, b.product), 1);
  EXPECT_EQ(std::string(b.invoice), std::string(VTX_INVOICE_SIZE - 1, 'Z'));
  EXPECT_EQ(std::string(b.customer_2), std::string(VTX_CUSTOMER_SIZE - 1, 'Z'));
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
  millbrook(s, "INV-NOREG", 100.0);
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
  millbrook(s, "INV-L", 200.0);
  // State non-taxable with the line amount; city taxable at its own rate.
  double amount = 200.0;
  ASSERT_EQ(set_local(s, 1, eVstStLocTypeState, eVstTaxbltyNonTaxable, 0, 0, &amount), 1);
  ASSERT_EQ(set_local(s, 1, eVstStLocTypeCity, eVstTaxbltyTaxable, 0.02, 0, nullptr, "L"), 1);
  EXPECT_EQ(set_local(s, 2, eVstStLocTypeCity, eVstTaxbltyTaxable, 0, 0), 0) << "other line";
  EXPECT_EQ(set_local(s, 1, 4, eVstTaxbltyTaxable, 0, 0), 0) << "no level 4";
  EXPECT_EQ(set_local(s, 1, 0, 3, 0, 0), 0) << "no taxability 3";
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
  EXPECT_EQ(prod_back(s, 8, product), 0);
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
  EXPECT_EQ(open_db(s.e, s.conn, eVstDbTypeRate, sample("rate.dat")), 0);
  EXPECT_EQ(open_db(s.e, s.conn, eVstDbTypeTDM, "tdm.dat", 0, VTX_SAMPLE_DATA_DIR), 0);
  s.juris(eVstJurisTypeShipTo, 110010100);
  EXPECT_EQ(s.e.VstCloseDb(s.conn, eVstDbTypeRegister, nullptr, nullptr), 0);
  EXPECT_EQ(s.calc(), 11) << "register asked for but closed";
  EXPECT_EQ(open_db(s.e, s.conn, eVstDbTypeRegister, s.reg), 0);
  EXPECT_EQ(s.calc(), 12) << "register open read-only";
}

TEST(VstOpen, StatusOfEverySource) {
  const Engine& e = Engine::get();
  TempDir dir;
  const char* srv = VTX_SAMPLE_DATA_DIR;
  struct Case {
    const char* what;
    int type;
    std::string source;
    const char* server;
    int mode, status;
    const char* user = "";
    const char* password = "";
  } cases[] = {
      {"location", eVstDbTypeLocation, sample("location.dat"), nullptr, 0, 0},
      {"rate by default name", eVstDbTypeRate, "", srv, 0, 0},
      {"tdm relative", eVstDbTypeTDM, "tdm.dat", srv, 0, 0},
      {"missing", eVstDbTypeRate, dir.at("none.dat"), nullptr, 0, 2},
      {"null source", eVstDbTypeRate, "", nullptr, 0, 2},
      {"wrong kind", eVstDbTypeRate, sample("tdm.dat"), nullptr, 0, 1},
      {"malformed", eVstDbTypeTDM, dir.write("bad", "FORMAT|tdm|1\nPRODUCT|x\n"), nullptr, 0, 5},
      {"bad type", 4, sample("rate.dat"), nullptr, 0, 1},
      {"negative type", -1, sample("rate.dat"), nullptr, 0, 1},
      {"auth ok", eVstDbTypeRate, dir.write("auth", "FORMAT|rate|1\nAUTH|amy|pw\n"), nullptr, 0, 0,
       "amy", "pw"},
      {"auth user", eVstDbTypeRate, dir.at("auth"), nullptr, 0, 3, "bob", "pw"},
      {"auth password", eVstDbTypeRate, dir.at("auth"), nullptr, 0, 4, "amy", "x"},
      {"register created", eVstDbTypeRegister, dir.at("reg.dat"), nullptr, 2, 0},
      {"register read-only missing", eVstDbTypeRegister, dir.at("none.dat"), nullptr, 0, 2},
      {"register in missing dir", eVstDbTypeRegister, dir.at("x/reg.dat"), nullptr, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VstConnHdl conn = e.VstCreateConnHdl();
    EXPECT_EQ(open_db(e, conn, c.type, c.source, c.mode, c.server, c.user, c.password), c.status);
    int close_status = c.status == 0 ? 0 : (c.type < 0 || c.type > 3) ? 1 : 5;
    EXPECT_EQ(e.VstCloseDb(conn, c.type, nullptr, nullptr), close_status);
    EXPECT_EQ(e.VstReleaseConnHdl(conn), 1);
  }
  VstConnHdl conn = e.VstCreateConnHdl();
  ASSERT_EQ(open_db(e, conn, 1, sample("rate.dat")), 0);
  EXPECT_EQ(open_db(e, conn, 1, sample("rate.dat")), 5) << "already open";
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
    char buf[VTX_PRODUCT_SIZE] = {};
    int i = 0;
    double d = 0;
    std::int64_t g = 110010100;
    EXPECT_EQ(open_db(e, h, 0, sample("location.dat")), 5);
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
    EXPECT_EQ(set_local(e, h, 1, 0, eVstTaxbltyNonTaxable, 0, 0, &d), 0);
    EXPECT_EQ(inv_back(e, h).ok, 0);
    EXPECT_EQ(line_back(e, h, 1).ok, 0);
    EXPECT_EQ(prod_back(e, h, 1, buf), 0);
    EXPECT_EQ(TaxSession::level_back(e, h, 0, 1).ok, 0);
    EXPECT_EQ(TaxSession::addtl_back(e, h, 0, 1).ok, 0);
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
  millbrook(s, "INV-DBG", 50.0);
  std::string file = s.dir.at("tarn.out");
  s.e.VstDebugHdl(s.hdl, file.c_str(), "before calculation\n");
  ASSERT_EQ(s.calc(), 0);
  s.e.VstDebugHdl(s.hdl, file.c_str(), "after calculation");
  std::string dump = vtx_test::read_file(file);
  EXPECT_EQ(dump.find("before calculation\n"), 0u);
  for (const char* part : {"after calculation\n", "INV-DBG", "geo=110010100", "result done=1"})
    EXPECT_NE(dump.find(part), std::string::npos) << part;
  s.e.VstDebugHdl(s.hdl, s.dir.at("no/dir/tarn.out").c_str(), "x");  // silently nothing
}

TEST(VstControl, ForcedResults) {
  TaxSession s;
  ControlScope control("VstCreateHdl = null\nVstCreateConnHdl = null\n");
  EXPECT_EQ(s.e.VstCreateHdl(), nullptr);
  EXPECT_EQ(s.e.VstCreateConnHdl(), nullptr);

  control.set("VstOpenDb(1) = 4\n");
  VstConnHdl conn = s.e.VstCreateConnHdl();
  EXPECT_EQ(open_db(s.e, conn, 0, sample("location.dat")), 0);
  EXPECT_EQ(open_db(s.e, conn, 1, sample("rate.dat")), 4);
  EXPECT_EQ(s.e.VstGetDatabaseConnHdl(conn, 1), nullptr) << "left closed";
  control.set("VstCloseDb(0) = 5\nVstReleaseConnHdl = 0\n");
  EXPECT_EQ(s.e.VstCloseDb(conn, 0, nullptr, nullptr), 5);
  EXPECT_EQ(s.e.VstReleaseConnHdl(conn), 0);

  millbrook(s, "INV", 100.0);
  control.set("VstCalcTax = 14\n");
  EXPECT_EQ(s.calc(), 14);
  control.set("VstSetInvJuris(1) = 0\nVstSetLineLocal(3) = 0\nVstResetHdl = 0\n");
  EXPECT_EQ(s.juris(eVstJurisTypeShipFrom, 0), 0);
  EXPECT_EQ(s.juris(eVstJurisTypeShipTo, 110010100), 1);
  EXPECT_EQ(set_local(s, 1, 2, eVstTaxbltyTaxable, 0, 0), 1);
  EXPECT_EQ(set_local(s, 1, 3, eVstTaxbltyTaxable, 0, 0), 0);
  EXPECT_EQ(s.e.VstResetHdl(s.hdl), 0);
}

TEST(VstControl, ForcedReadBacks) {
  TaxSession s;
  millbrook(s, "INV-1", 100.0, 1);
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
  prod_back(s, 1, product);
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

// A private copy of both libraries: its call counters start at zero.
TEST(VstControl, CallNumberFailsOnlyTheResubmission) {
  TempDir dir;
  for (const char* lib : {"libvst.so", "libloc.so"})
    dir.write(lib, vtx_test::read_file(std::string(VTX_SHLIB_DIR) + "/" + lib));
  Engine fresh = Engine::load(dir.path());
  ASSERT_NE(fresh.VstSetLineDetail, nullptr);
  {
    ControlScope control("VstSetLineDetail@2 = 0\n");
    TaxSession s(fresh);
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
  dlclose(fresh.vst);
  dlclose(fresh.loc);
}

}  // namespace

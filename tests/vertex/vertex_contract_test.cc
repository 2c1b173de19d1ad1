// The Vertex engine's contract, call by call: every entry point the adapter
// calls, with every argument, for the open, the address lookup, both tax
// request forms, the re-submission and the close. The expected calls are
// written from the engine's interface as the engine knows it - literal
// numbers, not the adapter's names for them - so a level, a mode, a database
// type or a capacity that drifts on both sides of the header still fails.
// The engine is a recording fake put into the session's entry pointers.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "test_util.h"
#include "vertex_addr.h"
#include "vertex_parse.h"
#include "vertex_session.h"
#include "vertex_tax.h"

namespace {

using Lines = std::vector<std::string>;

// ---- The recording engine --------------------------------------------------

// Handles the fake hands out, named in the recorded calls.
char g_handles[6];
void* const kLocConn = &g_handles[0];
void* const kVstConn = &g_handles[1];
void* const kHdl = &g_handles[2];
void* const kCtx = &g_handles[3];
void* const kLoc1 = &g_handles[4];
void* const kLoc2 = &g_handles[5];

Lines g_calls;
// What the read-backs echo: the request being determined.
const VertexTaxRequest* g_echo = nullptr;
std::vector<int> g_batches;  // the location counts LocGetLocations answers, in turn; then 0
int g_addtl_status = 0;      // the status every additional read reports

// How an argument shows in a recorded call: handles by name, input texts
// quoted, buffers the engine fills as "buf", numbers as they are, a value
// handed by reference as "&" and its value - or "&" alone in a reading call,
// where the engine writes it.
bool g_reading = false;
std::string show(const void* p) {
  const std::map<const void*, const char*> names = {{kLocConn, "locconn"}, {kVstConn, "vstconn"}, {kHdl, "hdl"},
                                                   {kCtx, "ctx"},         {kLoc1, "loc1"},       {kLoc2, "loc2"}};
  if (p == nullptr) return "null";
  const auto it = names.find(p);
  return it != names.end() ? it->second : "ptr";
}
std::string show(int v) { return std::to_string(v); }
std::string show(long v) { return std::to_string(v); }
std::string show(const char* t) { return t == nullptr ? "null" : std::string("\"") + t + "\""; }
std::string show(char* b) { return b == nullptr ? "null" : "buf"; }
std::string show(void** b) { return b == nullptr ? "null" : "buf"; }
std::string d(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}
template <typename T>
std::string by_reference(const T* p, const std::string& value) {
  return p == nullptr ? "null" : g_reading ? "&" : "&" + value;
}
std::string show(int* p) { return by_reference(p, p != nullptr ? show(*p) : ""); }
std::string show(long* p) { return by_reference(p, p != nullptr ? show(*p) : ""); }
std::string show(double* p) { return by_reference(p, p != nullptr ? d(*p) : ""); }
// A value the engine writes, in a setting call.
struct Written {
  const void* p;
};
std::string show(Written w) { return w.p == nullptr ? "null" : "&"; }

template <typename... A>
void record(const char* entry, bool reading, A... args) {
  g_reading = reading;
  const std::vector<std::string> shown = {show(args)...};
  std::string call = std::string(entry) + "(";
  for (std::size_t i = 0; i < shown.size(); ++i) call += (i == 0 ? "" : ", ") + shown[i];
  g_calls.push_back(call + ")");
}

// Copies `text` into an engine's output of `width` bytes, terminator included.
void put(char* out, const char* text, std::size_t width) {
  std::snprintf(out, width, "%s", text);
}

namespace engine {

LocConnHdl LocCreateConnHdl() { record("LocCreateConnHdl", false); return kLocConn; }
int LocOpenDb(LocConnHdl c, const char* source, const char* server, const char* user, const char* pwd, int mode) {
  record("LocOpenDb", false, c, source, server, user, pwd, mode);
  return 0;
}
VstConnHdl VstCreateConnHdl() { record("VstCreateConnHdl", false); return kVstConn; }
int VstOpenDb(VstConnHdl c, int type, const char* source, const char* server, const char* user, const char* pwd,
              int mode, void* r1, void* r2) {
  record("VstOpenDb", false, c, type, source, server, user, pwd, mode, r1, r2);
  return 0;
}
VstHdl VstCreateHdl() { record("VstCreateHdl", false); return kHdl; }
int VstResetHdl(VstHdl hdl) { record("VstResetHdl", false, hdl); return 1; }
LocFindCtx LocCreateFindContext(LocConnHdl c) { record("LocCreateFindContext", false, c); return kCtx; }
int LocSetNameCriteria(LocFindCtx ctx, int kind, int r3, const char* state, int r5, int r6, int r7, int city_flag,
                       const char* city, int r10, const char* zip) {
  record("LocSetNameCriteria", false, ctx, kind, r3, state, r5, r6, r7, city_flag, city, r10, zip);
  return 1;
}
int LocGetLocations(LocFindCtx ctx, LocHdl* locations, int max, int* more) {
  record("LocGetLocations", true, ctx, locations, max, more);
  int count = 0;
  if (!g_batches.empty()) {
    count = g_batches.front();
    g_batches.erase(g_batches.begin());
  }
  for (int i = 0; i < count && i < max; ++i) locations[i] = i == 0 ? kLoc1 : kLoc2;
  return count;
}
void LocGetGeoCode(LocHdl loc) { record("LocGetGeoCode", false, loc); }
// Names that fill every capacity: the adapter must hand room for them. The
// second location has no county: the call fails and writes nothing.
int LocGetName(LocHdl loc, int level, int flag, char* name, int capacity) {
  record("LocGetName", true, loc, level, flag, name, capacity);
  if (loc == kLoc2 && level == 1) return 0;
  const char* full = level == 0 ? "ST" : level == 1 ? "Countyname Countyname" : "Cityname Cityname Cityname";
  put(name, full, static_cast<std::size_t>(capacity) + 1);
  return 1;
}
int LocGetGeoCodeString(LocHdl loc, char* geo, int r3, int r4, int r5) {
  record("LocGetGeoCodeString", true, loc, geo, r3, r4, r5);
  std::memcpy(geo, "1234567890", 10);  // ten characters, no terminator: as the engine may write
  return 1;
}
int LocRelease(LocHdl* locations, int count) { record("LocRelease", false, locations, count); return 1; }
int LocDestroyFindContext(LocFindCtx ctx) { record("LocDestroyFindContext", false, ctx); return 1; }
int VstSetInvJuris(VstHdl hdl, int type, int one, std::int64_t* geo, void* r5, void* r6, void* r7, void* r8,
                   int* flag) {
  record("VstSetInvJuris", false, hdl, type, one, geo, r5, r6, r7, r8, flag);
  return 1;
}
int VstSetInvDetail(VstHdl hdl, const char* text, void* r3, const char* number, void* r5, std::int64_t* zero,
                    const char* c1, const char* c2, int* mode, const char* company, const char* enh_code, void* r12,
                    void* r13, int* write_register) {
  record("VstSetInvDetail", false, hdl, text, r3, number, r5, zero, c1, c2, mode, company, enh_code, r12, r13,
         write_register);
  return 1;
}
int VstSetLineDetail(VstHdl hdl, std::int64_t line, int tt, int z1, int kind, int z2, int* one, double* amount,
                     double* line_a, double* line_b, const char* user_area, void* r12, const char* enh_text,
                     const char* enh_code, void* r15, void* r16) {
  record("VstSetLineDetail", false, hdl, line, tt, z1, kind, z2, one, amount, line_a, line_b, user_area, r12,
         enh_text, enh_code, r15, r16);
  return 1;
}
int VstSetLineProd(VstHdl hdl, int line, int zero, double* product, const char* code, void* r6, int* zero_ref,
                   void* r8, double* copy, void* r10, void* r11) {
  record("VstSetLineProd", false, hdl, line, zero, product, code, r6, zero_ref, r8, copy, r10, r11);
  return 1;
}
// The district owner is the engine's to write.
int VstSetLineLocal(VstHdl hdl, int line, int level, int* taxability, int* local_code, int* zero, const char* text,
                    void* r8, void* r9, double* amount, double* b, void* r12, void* r13, double* a, int* owner) {
  record("VstSetLineLocal", false, hdl, line, level, taxability, local_code, zero, text, r8, r9, amount, b, r12, r13,
         a, Written{owner});
  return 1;
}
void VstDebugHdl(VstHdl hdl, const char* file, const char* text) {
  const std::string dump = std::regex_replace(text, std::regex(R"(^\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])"), "STAMP");
  record("VstDebugHdl", false, hdl, file, dump.c_str());
}
int VstCalcTax(VstConnHdl conn, VstHdl hdl, int r3, int r4) {
  record("VstCalcTax", false, conn, hdl, r3, r4);
  return 0;
}
// The read-backs give back what the request set, filling each width whole.
int VstGetInvDetail(VstHdl hdl, void* r2, void* r3, char* invoice, void* r5, void* r6, void* r7, char* c1, char* c2,
                    int* mode, char* company, void* r12, void* r13, void* r14, int* write_register) {
  record("VstGetInvDetail", true, hdl, r2, r3, invoice, r5, r6, r7, c1, c2, mode, company, r12, r13, r14,
         write_register);
  put(invoice, g_echo->invoice_number, 31);
  put(c1, g_echo->customer_1, 33);
  put(c2, g_echo->customer_2, 33);
  put(company, g_echo->company_code, 6);
  return 1;
}
int VstGetLineDetail(VstHdl hdl, int line, void* r3, void* r4, void* r5, void* r6, int* juris, double* amount,
                     double* line_a, double* line_b, char* user_area, int* kind, void* r13, void* r14, void* r15,
                     void* r16, void* r17) {
  record("VstGetLineDetail", true, hdl, line, r3, r4, r5, r6, juris, amount, line_a, line_b, user_area, kind, r13,
         r14, r15, r16, r17);
  *juris = 2;
  *amount = g_echo->line_amount;
  *line_a = 0.5;
  *line_b = 5.0;
  put(user_area, g_echo->user_area, 26);
  return 1;
}
int VstGetLineProd(VstHdl hdl, int line, void* r3, void* r4, char* product, void* r6, void* r7, void* r8, void* r9,
                   void* r10, void* r11) {
  record("VstGetLineProd", true, hdl, line, r3, r4, product, r6, r7, r8, r9, r10, r11);
  put(product, g_echo->product_code, 33);
  return 1;
}
int VstGetLineLocal(VstHdl hdl, int line, int level, void* r4, int* status, void* r6, double* s1, void* r8,
                    double* s2, void* r10, double* b, void* r12, void* r13, double* a, int* owner) {
  record("VstGetLineLocal", true, hdl, line, level, r4, status, r6, s1, r8, s2, r10, b, r12, r13, a, owner);
  if (status != nullptr) *status = 0;
  if (a != nullptr) *a = 0.01 * (level + 1);
  if (b != nullptr) *b = level + 1;
  if (owner != nullptr) *owner = 1;
  return 1;
}
int VstGetLineLocalAddtl(VstHdl hdl, int line, int locality, void* r4, int* status, void* r6, double* s1, void* r8,
                         double* s2, void* r10, double* b, void* r12, void* r13, double* a, int* juris,
                         int* owner) {
  record("VstGetLineLocalAddtl", true, hdl, line, locality, r4, status, r6, s1, r8, s2, r10, b, r12, r13, a, juris,
         owner);
  *status = g_addtl_status;
  *a = 0.001 * (locality + 1);
  *b = 0.1 * (locality + 1);
  *juris = 3;
  if (owner != nullptr) *owner = 2;
  return 1;
}
int LocCloseDb(LocConnHdl c) { record("LocCloseDb", false, c); return 0; }
int LocReleaseConnHdl(LocConnHdl c) { record("LocReleaseConnHdl", false, c); return 1; }
int VstReleaseHdl(VstHdl hdl) { record("VstReleaseHdl", false, hdl); return 1; }
int VstCloseDb(VstConnHdl c, int type, void* r3, void* r4) { record("VstCloseDb", false, c, type, r3, r4); return 0; }
int VstReleaseConnHdl(VstConnHdl c) { record("VstReleaseConnHdl", false, c); return 1; }

}  // namespace engine

// A session whose entry points are the recording engine, opened on the
// given sources, its three handles made.
class Contract : public ::testing::Test {
 protected:
  void SetUp() override {
    vertex_session = VertexSession{};
    VertexSession& v = vertex_session;
#define VTX_FAKE(name) v.name##Add = engine::name;
    VTX_FAKE(LocCreateConnHdl) VTX_FAKE(LocOpenDb) VTX_FAKE(VstCreateConnHdl) VTX_FAKE(VstOpenDb)
    VTX_FAKE(VstCreateHdl) VTX_FAKE(VstResetHdl) VTX_FAKE(LocCreateFindContext) VTX_FAKE(LocSetNameCriteria)
    VTX_FAKE(LocGetLocations) VTX_FAKE(LocGetGeoCode) VTX_FAKE(LocGetName) VTX_FAKE(LocGetGeoCodeString)
    VTX_FAKE(LocRelease) VTX_FAKE(LocDestroyFindContext) VTX_FAKE(VstSetInvJuris) VTX_FAKE(VstSetInvDetail)
    VTX_FAKE(VstSetLineDetail) VTX_FAKE(VstSetLineProd) VTX_FAKE(VstSetLineLocal) VTX_FAKE(VstDebugHdl)
    VTX_FAKE(VstCalcTax) VTX_FAKE(VstGetInvDetail) VTX_FAKE(VstGetLineDetail) VTX_FAKE(VstGetLineProd)
    VTX_FAKE(VstGetLineLocal) VTX_FAKE(VstGetLineLocalAddtl) VTX_FAKE(LocCloseDb) VTX_FAKE(LocReleaseConnHdl)
    VTX_FAKE(VstReleaseHdl) VTX_FAKE(VstCloseDb) VTX_FAKE(VstReleaseConnHdl)
#undef VTX_FAKE
    v.VertexServer = "srv";
    v.VertexUser = "usr";
    v.VertexPwd = "pwd";
    v.VertexGeo = "geo";
    v.VertexRate = "rate";
    v.VertexTDM = "tdm";
    v.VertexReg = "reg";
    g_calls.clear();
    g_batches.clear();
    g_addtl_status = 0;
  }
  void TearDown() override { vertex_session = VertexSession{}; }

  // Opens the three handles and forgets their calls.
  void open_handles() {
    vertex_session.pLocConn = open_vertex_geo();
    vertex_session.pVstConnHdl = open_vertex_tax();
    vertex_session.pVstHdl = open_vertex_handle();
    g_calls.clear();
  }

  // The determination of `text` (a whole data message) in standard or
  // enhanced form, the request echoed by the read-backs.
  int determine(const std::string& text, bool enh, VertexTaxResult* res) {
    static VertexTaxRequest req;
    req = VertexTaxRequest{};
    (enh ? format_vertex_jur_enh : format_vertex_jur)(text.c_str(), &req, 6);
    g_echo = &req;
    return (enh ? determine_tax_vertex_enh : determine_tax_vertex)(res, &req);
  }
};

// A data message of body fields 6, 7, ...; `changes` by field number.
std::string tax_message(bool enh, const std::map<int, std::string>& changes) {
  std::map<int, std::string> f = {
      {9, "110010100"},  {10, "7"},  {14, "230110100"}, {15, "1"},  {19, "460210100"}, {20, "0"},
      {21, "3"},         {22, "100.5"}, {25, "2"},       {26, "42"}, {27, "PROD"},     {28, "C1"},
      {29, "C2"},        {30, "INV-1"}, {31, "TEXT"},    {32, "9"},  {33, "1"},        {34, "1"},
      {35, "CO1"},       {36, "UA"},    {37, "1"},       {38, "0"},  {39, "0.02"},     {40, "0.03"},
      {43, "4"},         {44, "5"},     {45, "6"}};
  if (enh) {
    f[41] = "0.04";
    f[46] = "7";
    f[47] = "8";
    f[48] = "9";
    f[52] = "ENH";
    f[53] = "L";
    f[54] = "LINE";
    f[55] = "6";
    f[45] = "6";
  }
  for (const auto& [field, text] : changes) f[field] = text;
  std::string message = "9~1~1~2~1~";
  for (int i = 6; i <= (enh ? 55 : 47); ++i) message += (f.count(i) ? f[i] : "") + "~";
  return message;
}

TEST_F(Contract, OpenAndClose) {
  vertex_session.pLocConn = open_vertex_geo();
  vertex_session.pVstConnHdl = open_vertex_tax();
  vertex_session.pVstHdl = open_vertex_handle();
  EXPECT_EQ(g_calls, (Lines{
                         "LocCreateConnHdl()",
                         R"(LocOpenDb(locconn, "geo", "srv", "usr", "pwd", 0))",
                         "VstCreateConnHdl()",
                         R"(VstOpenDb(vstconn, 0, "geo", "srv", "usr", "pwd", 0, null, null))",
                         R"(VstOpenDb(vstconn, 1, "rate", "srv", "usr", "pwd", 0, null, null))",
                         R"(VstOpenDb(vstconn, 3, "tdm", "srv", "usr", "pwd", 0, null, null))",
                         R"(VstOpenDb(vstconn, 2, "reg", "srv", "usr", "pwd", 2, null, null))",
                         "VstCreateHdl()",
                     }));
  g_calls.clear();
  close_vertex();
  EXPECT_EQ(g_calls, (Lines{"LocCloseDb(locconn)", "LocReleaseConnHdl(locconn)", "VstReleaseHdl(hdl)",
                            "VstCloseDb(vstconn, 1, null, null)", "VstCloseDb(vstconn, 0, null, null)",
                            "VstCloseDb(vstconn, 3, null, null)", "VstCloseDb(vstconn, 2, null, null)",
                            "VstReleaseConnHdl(vstconn)"}));
}

// Two locations in one batch: each named at its capacity, the names and
// geo codes that fill their widths kept whole and nothing more.
TEST_F(Contract, AddressLookup) {
  open_handles();
  g_batches = {2};
  VertexAddrRec rec{};
  format_vertex_addr("9~2~1~2~1~Millbrook~BR~1234567~", &rec);
  ASSERT_EQ(determine_addr_vertex(&rec), 0);
  Lines want = {"LocCreateFindContext(locconn)",
                R"(LocSetNameCriteria(ctx, 2, 0, "BR", 0, 0, 0, 1, "Millbrook", 0, "1234567"))",
                "LocGetLocations(ctx, buf, 75, &)"};
  for (const char* loc : {"loc1", "loc2"}) {
    for (const char* call :
         {"LocGetGeoCode(%)", "LocGetName(%, 2, 1, buf, 25)", "LocGetName(%, 0, 0, buf, 2)",
          "LocGetName(%, 1, 1, buf, 20)", "LocGetGeoCodeString(%, buf, 0, 0, 0)"}) {
      want.push_back(std::regex_replace(call, std::regex("%"), loc));
    }
  }
  want.insert(want.end(), {"LocRelease(buf, 2)", "LocGetLocations(ctx, buf, 75, &)", "LocDestroyFindContext(ctx)"});
  EXPECT_EQ(g_calls, want);
  ASSERT_EQ(rec.count, 2);
  EXPECT_STREQ(rec.locations[0].city, "Cityname Cityname Citynam");
  EXPECT_STREQ(rec.locations[0].state, "ST");
  EXPECT_STREQ(rec.locations[0].county, "Countyname Countynam");
  EXPECT_EQ(std::string(rec.locations[0].geo_code, sizeof rec.locations[0].geo_code), "1234567890");
  EXPECT_STREQ(rec.locations[1].county, "") << "no other level's name in its place";
}

// The standard form, every call with every argument: jurisdictions, invoice,
// line, product, the four local levels (local_override 1), the dumps around
// the calculation, the read-backs, the level and additional reads, the reset.
TEST_F(Contract, StandardTaxRequest) {
  open_handles();
  vertex_session.vertex_debug = 1;
  test_util::TempDir dir("vtx_contract_");
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  VertexTaxResult res{};
  const int result = determine(tax_message(false, {}), false, &res);
  std::filesystem::current_path(cwd);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(g_calls, (Lines{
      "VstSetInvJuris(hdl, 1, 1, &230110100, null, null, null, null, &1)",
      "VstSetInvJuris(hdl, 0, 1, &110010100, null, null, null, null, &7)",
      "VstSetInvJuris(hdl, 2, 1, &460210100, null, null, null, null, &0)",
      R"(VstSetInvDetail(hdl, "TEXT", null, "INV-1", null, &0, "C1", "C2", &3, "CO1", null, null, null, &1))",
      R"(VstSetLineDetail(hdl, 9, 2, 0, 2, 0, &1, &100.5, null, null, "UA", null, null, null, null, null))",
      R"(VstSetLineProd(hdl, 9, 0, &42, "PROD", null, &0, null, &42, null, null))",
      // Local code 9 for transaction type 2; a value A of 0 is non-taxable with the amount.
      R"(VstSetLineLocal(hdl, 9, 0, &2, &9, &0, null, null, null, &100.5, &4, null, null, &0, &))",
      R"(VstSetLineLocal(hdl, 9, 2, &1, &9, &0, null, null, null, null, &6, null, null, &0.03, &))",
      R"(VstSetLineLocal(hdl, 9, 1, &1, &9, &0, null, null, null, null, &5, null, null, &0.02, &))",
      R"(VstSetLineLocal(hdl, 9, 3, &1, &9, &0, null, null, null, null, &0, null, null, &0, &))",
      "VstDebugHdl(hdl, \"tarn.out\", \"STAMPbefore calculation: \n\")",
      "VstCalcTax(vstconn, hdl, 0, 0)",
      "VstDebugHdl(hdl, \"tarn.out\", \"STAMPafter calculation: \n\")",
      "VstGetInvDetail(hdl, null, null, buf, null, null, null, buf, buf, &, buf, null, null, null, &)",
      "VstGetLineDetail(hdl, 9, null, null, null, null, &, &, &, &, buf, &, null, null, null, null, null)",
      "VstGetLineProd(hdl, 9, null, null, buf, null, null, null, null, null, null)",
      "VstGetLineLocal(hdl, 9, 0, null, &, null, &, null, &, null, &, null, null, &, null)",
      "VstGetLineLocal(hdl, 9, 2, null, &, null, &, null, &, null, &, null, null, &, null)",
      "VstGetLineLocal(hdl, 9, 1, null, &, null, &, null, &, null, &, null, null, &, null)",
      "VstGetLineLocal(hdl, 9, 3, null, &, null, &, null, &, null, &, null, null, &, &)",
      "VstGetLineLocalAddtl(hdl, 9, 1, null, &, null, &, null, &, null, &, null, null, &, &, null)",
      "VstGetLineLocalAddtl(hdl, 9, 0, null, &, null, &, null, &, null, &, null, null, &, &, null)",
      "VstGetLineLocalAddtl(hdl, 9, 2, null, &, null, &, null, &, null, &, null, null, &, &, &)",
      "VstResetHdl(hdl)",
  }));
  // The district (owner 1, the city) and the additional district (owner 2,
  // the county) are added to their owners.
  EXPECT_EQ(d(res.state_a) + " " + d(res.city_a) + " " + d(res.county_a), "0.01 0.07 0.023");
  EXPECT_EQ(d(res.state_b) + " " + d(res.city_b) + " " + d(res.county_b), "1 7 2.3");
  EXPECT_EQ(d(res.addtl_city_a) + " " + d(res.addtl_county_a) + " " + d(res.line_a) + " " + d(res.line_b),
            "0.002 0.001 0.5 5");
  EXPECT_EQ(std::string() + res.taxing_juris + res.addtl_juris, "TF");
}

// The enhanced form's differences: the codes and the line text of the
// request, the local code of its local kind, each level's own value A
// deciding its taxability, the county level before the city, the district
// values kept apart.
TEST_F(Contract, EnhancedTaxRequest) {
  open_handles();
  VertexTaxResult res{};
  EXPECT_EQ(determine(tax_message(true, {{38, "0"}, {41, "0.04"}}), true, &res), 0);
  const Lines head(g_calls.begin() + 3, g_calls.begin() + 9);
  EXPECT_EQ(head, (Lines{
      R"(VstSetInvDetail(hdl, "TEXT", null, "INV-1", null, &0, "C1", "C2", &3, "CO1", "ENH", null, null, &1))",
      R"(VstSetLineDetail(hdl, 9, 2, 0, 2, 0, &1, &100.5, null, null, "UA", null, "LINE", "ENH", null, null))",
      R"(VstSetLineProd(hdl, 9, 0, &42, "PROD", null, &0, null, &42, null, null))",
      // Local kind 6 with local_override 1: 4 + 4.
      R"(VstSetLineLocal(hdl, 9, 0, &2, &8, &0, "L", null, null, &100.5, &6, null, null, &0, &))",
      R"(VstSetLineLocal(hdl, 9, 1, &1, &8, &0, "L", null, null, null, &7, null, null, &0.02, &))",
      R"(VstSetLineLocal(hdl, 9, 2, &1, &8, &0, "L", null, null, null, &8, null, null, &0.03, &))",
  }));
  EXPECT_EQ(g_calls[9], R"(VstSetLineLocal(hdl, 9, 3, &1, &8, &0, "L", null, null, null, &9, null, null, &0.04, &))");
  EXPECT_EQ(d(res.city_a) + " " + d(res.district_a) + " " + d(res.county_a) + " " + d(res.addtl_district_a),
            "0.03 0.04 0.02 0.003");
}

// The local code every level setting gets, by the request's form,
// transaction type, local kind and switch; no settings with the switch off
// (standard: only 1 switches them on).
TEST_F(Contract, LocalCodes) {
  const struct {
    bool enh;
    const char* transaction_type;
    const char* local_kind;
    const char* local_override;
    const char* code;  // the fifth argument of each VstSetLineLocal; null: none is made
  } rows[] = {{false, "1", "", "1", "&6"}, {false, "2", "", "1", "&9"}, {false, "3", "", "1", "&8"},
              {false, "3", "", "2", nullptr}, {true, "1", "5", "2", "&3"}, {true, "1", "6", "2", "&4"},
              {true, "3", "7", "1", "&9"},    {true, "2", "4", "2", "&2"}, {true, "1", "4", "0", nullptr}};
  open_handles();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.transaction_type) + " " + row.local_kind + " " + row.local_override);
    g_calls.clear();
    VertexTaxResult res{};
    determine(tax_message(row.enh, {{25, row.transaction_type}, {55, row.local_kind}, {37, row.local_override}}),
              row.enh, &res);
    Lines codes;
    for (const std::string& call : g_calls) {
      if (call.rfind("VstSetLineLocal(", 0) != 0) continue;
      codes.push_back(std::regex_replace(call, std::regex("^([^,]*, ){4}([^,]*),.*"), "$2"));
    }
    EXPECT_EQ(codes, row.code != nullptr ? Lines(4, row.code) : Lines{});
  }
}

// A stop at an additional locality of an invoice for the register: the line
// goes back with the summed values and is calculated again, the levels read
// without checks.
TEST_F(Contract, Resubmission) {
  open_handles();
  g_addtl_status = 22;
  VertexTaxResult res{};
  EXPECT_EQ(determine(tax_message(false, {{37, "0"}}), false, &res), 10);
  const Lines tail(g_calls.end() - 7, g_calls.end());
  EXPECT_EQ(tail, (Lines{
      R"(VstSetLineDetail(hdl, 9, 0, 0, 3, 0, &1, &100.5, &0.1, &10, "UA", null, null, null, null, null))",
      "VstCalcTax(vstconn, hdl, 0, 0)",
      "VstGetLineLocal(hdl, 9, 1, null, &, null, null, null, null, null, null, null, null, null, null)",
      "VstGetLineLocal(hdl, 9, 2, null, &, null, null, null, null, null, null, null, null, null, null)",
      "VstGetLineLocal(hdl, 9, 0, null, &, null, null, null, null, null, null, null, null, null, null)",
      "VstGetLineLocal(hdl, 9, 3, null, &, null, null, null, null, null, null, null, null, null, null)",
      "VstResetHdl(hdl)",
  }));
}

}  // namespace

// The Vertex adapter's pieces in process: the request parser, the reply
// senders, the result codes, and the session's open through the OS seam.
// Whole requests run end to end (vertex_e2e_test.cc).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "al_os.h"
#include "api_log.h"
#include "api_msg.h"
#include "output_queue.h"
#include "test_util.h"
#include "vertex_adapter.h"
#include "vertex_addr.h"
#include "vertex_tax.h"
#include "vertex_parse.h"
#include "vertex_reply.h"
#include "vertex_request.h"
#include "vertex_session.h"

namespace {

using Lines = std::vector<std::string>;

// ---- Request parser ------------------------------------------------------

// A data message whose body fields 6, 7, ... are `body`.
std::string message(const Lines& body) {
  std::string text = "9~1~1~2~1~";
  for (const std::string& f : body) text += f + "~";
  return text;
}

// Fields 6 to 55, each holding a value of its own.
Lines full_body() {
  return {"Providence", "RI", "02903", "440610000", "1.9",                       // 6-10
          "Boston", "MA", "02101", "220250000", "-1.9",                          // 11-15
          "Hartford", "CT", "06101", "070030000", "2",                          // 16-20
          "3", "100.50", "9", "9", "2abc", "77", "PROD-1", "CUST-1", "CUST-2",  // 21-29
          "   INV-1  ", "TEXT", "4", "1", "1", "CO1", "AREA", "1",              // 30-37
          "0.06", "0.01", "0.02", "0.03", "0.04", "6.0", "1.0", "2.0", "3.0",   // 38-46
          "4.0", "5.0", "9", "9", "9", "ENH", "L", "LINE TEXT", "6.7"};         // 47-55
}

// A parsed request, one line per group of members.
Lines described(const VertexTaxRequest& r) {
  auto line = [](auto... parts) {
    std::ostringstream o;
    ((o << parts << '|'), ...);
    return o.str();
  };
  auto jur = [&](const VertexJurisdiction& j) { return line(j.city, j.state, j.zip, j.geo_code, j.juris_flag); };
  return {jur(r.ship_to), jur(r.ship_from), jur(r.order_accept),
          line(r.line_kind, r.line_amount, r.transaction_type, r.prod_number),
          line(r.product_code, r.customer_1, r.customer_2, r.invoice_number, r.invoice_text),
          line(r.line_number, r.invoice_flag, r.write_register, r.company_code, r.user_area, r.local_override),
          line(r.state_a, r.county_a, r.city_a, r.district_a),
          line(r.state_b, r.county_b, r.city_b, r.district_b),
          line(r.enh_code, r.enh_local_code, r.enh_line_text, r.local_kind)};
}

const Lines kStandard = {
    "Providence|RI|02903|440610000|1|", "Boston|MA|02101|220250000|-1|", "Hartford|CT|06101|070030000|2|",
    "3|100.5|2|77|", "PROD-1|CUST-1|CUST-2|INV-1  |TEXT|", "4|1|1|CO1|AREA|1|", "0.06|0.01|0.02|0|",
    "6|1|2|0|", "|||0|"};

const std::string kLong = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghij";

TEST(VertexParse, BothFormsFieldByField) {
  const struct {
    const char* name;
    bool enh;
    int first_field;
    std::map<int, std::string> fields;  // body changes by field number; "<end>" ends the text there
    std::map<int, std::string> lines;   // changes to kStandard by line
  } rows[] = {
      {"text ends after field 29", false, 6, {{30, "<end>"}},
       {{4, "PROD-1|CUST-1|CUST-2|||"}, {5, "0|0|0|||0|"}, {6, "0|0|0|0|"}, {7, "0|0|0|0|"}}},
      {"fields before the first are skipped", false, 30, {},
       {{0, "||||0|"}, {1, "||||0|"}, {2, "||||0|"}, {3, "0|0|0|0|"}, {4, "|||INV-1  |TEXT|"}}},
      {"empty and blank fields", false, 6, {{27, ""}, {30, "   "}, {38, "letters"}, {33, ""}},
       {{4, "|CUST-1|CUST-2||TEXT|"}, {5, "4|0|1|CO1|AREA|1|"}, {6, "0|0.01|0.02|0|"}}},
      // Numbers: int keeps the low 32 bits, trunc goes toward zero and gives
      // INT32_MIN out of range, real reads what strtod reads; long numbers
      // are converted whole.
      {"numbers", false, 6,
       {{10, "2147483648"}, {15, "-2147483649.5"}, {20, "nan"}, {21, "3e2"}, {22, "0000000000000000000000000100.25"},
        {25, " -17x"}, {26, "99999999999999999999999999"}, {32, "00000000000000000000000000000042"},
        {33, "4294967297"}, {34, "+5"}, {37, "2147483648"}},
       {{0, "Providence|RI|02903|440610000|-2147483648|"}, {1, "Boston|MA|02101|220250000|-2147483648|"},
        {2, "Hartford|CT|06101|070030000|-2147483648|"}, {3, "300|100.25|-17|-469762049|"},
        {5, "42|1|5|CO1|AREA|-2147483648|"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Lines body = full_body();
    if (!row.enh) body.resize(47 - 5);
    for (const auto& [field, text] : row.fields) {
      if (text == "<end>") {
        body.resize(static_cast<std::size_t>(field - 6));
      } else {
        body[static_cast<std::size_t>(field - 6)] = text;
      }
    }
    VertexTaxRequest r;
    std::memset(&r, 0, sizeof r);
    (row.enh ? format_vertex_jur_enh : format_vertex_jur)(message(body).c_str(), &r, row.first_field);
    Lines want = kStandard;
    for (const auto& [index, text] : row.lines) want[static_cast<std::size_t>(index)] = text;
    EXPECT_EQ(described(r), want);
  }
}

// Where each request field lands in the request record, from its layout
// (offset and width; a text holds width - 1 characters and its terminator),
// in both forms: a field alone, longer than its member, fills its bytes and
// no other byte of the record.
TEST(VertexParse, EveryFieldInItsBytes) {
  struct Place {
    int field;
    std::size_t offset, width;
    char kind;  // t text, i 32-bit integer, d double
  };
  const std::vector<Place> common = {
      {6, 52, 26, 't'},   {7, 78, 3, 't'},    {8, 81, 7, 't'},    {9, 88, 12, 't'},   {10, 100, 4, 'i'},
      {11, 0, 26, 't'},   {12, 26, 3, 't'},   {13, 29, 7, 't'},   {14, 36, 12, 't'},  {15, 48, 4, 'i'},
      {16, 104, 26, 't'}, {17, 130, 3, 't'},  {18, 133, 7, 't'},  {19, 140, 12, 't'}, {20, 152, 4, 'i'},
      {21, 376, 4, 'i'},  {22, 400, 8, 'd'},  {25, 380, 4, 'i'},  {26, 388, 4, 'i'},  {27, 294, 33, 't'},
      {28, 196, 33, 't'}, {29, 229, 33, 't'}, {30, 165, 31, 't'}, {31, 156, 9, 't'},  {32, 384, 4, 'i'},
      {33, 368, 4, 'i'},  {34, 372, 4, 'i'},  {35, 262, 6, 't'},  {36, 268, 26, 't'}, {37, 392, 4, 'i'}};
  const std::vector<Place> standard = {{38, 408, 8, 'd'}, {39, 416, 8, 'd'}, {40, 424, 8, 'd'},
                                       {43, 440, 8, 'd'}, {44, 448, 8, 'd'}, {45, 456, 8, 'd'}};
  const std::vector<Place> enhanced = {{38, 408, 8, 'd'}, {39, 416, 8, 'd'}, {40, 424, 8, 'd'}, {41, 432, 8, 'd'},
                                       {45, 440, 8, 'd'}, {46, 448, 8, 'd'}, {47, 456, 8, 'd'}, {48, 464, 8, 'd'},
                                       {52, 327, 6, 't'}, {53, 333, 2, 't'}, {54, 335, 33, 't'}, {55, 396, 4, 'i'}};
  for (const bool enh : {false, true}) {
    std::vector<Place> places = common;
    for (const Place& p : enh ? enhanced : standard) places.push_back(p);
    for (const Place& p : places) {
      SCOPED_TRACE(std::to_string(p.field) + (enh ? " enhanced" : " standard"));
      Lines body(enh ? 50 : 42);
      const std::string text = kLong.substr(0, p.width + 3);
      body[static_cast<std::size_t>(p.field - 6)] = p.kind == 't' ? text : p.kind == 'i' ? "-7" : "2.5";
      std::string want(sizeof(VertexTaxRequest), '\0');
      const std::int32_t seven = -7;
      const double half = 2.5;
      want.replace(p.offset, p.kind == 't' ? p.width - 1 : p.width,
                   p.kind == 't'   ? text.substr(0, p.width - 1)
                   : p.kind == 'i' ? std::string(reinterpret_cast<const char*>(&seven), 4)
                                   : std::string(reinterpret_cast<const char*>(&half), 8));
      VertexTaxRequest r;
      std::memset(&r, 0, sizeof r);
      (enh ? format_vertex_jur_enh : format_vertex_jur)(message(body).c_str(), &r, 6);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r), sizeof r), want);
    }
  }
}

// ---- Reply senders -------------------------------------------------------

VertexTaxResult sample_result() {
  VertexTaxResult r{};
  r.state_a = 0.06; r.county_a = 0.01; r.city_a = 0.02; r.district_a = 0.005;
  r.addtl_county_a = 0.001; r.addtl_city_a = 0.002; r.addtl_district_a = 0.003;
  r.state_b = 6; r.county_b = 1; r.city_b = 2; r.district_b = 0.5;
  r.addtl_county_b = 0.1; r.addtl_city_b = 0.2; r.addtl_district_b = 0.3;
  r.line_a = 0.101; r.line_b = 10.1;
  r.taxing_juris = 'T';
  r.addtl_juris = 'F';
  return r;
}

// Three candidates; the first geo code fills its member, the ZIP code too.
VertexAddrRec sample_addr() {
  VertexAddrRec rec{};
  format_vertex_addr("9~2~1~2~1~Millbrook~BR~1234567890~", &rec);
  rec.count = 3;
  const char* cities[] = {"Millbrook", "Harrow", "Lisk"};
  for (int i = 0; i < 3; ++i) {
    std::strcpy(rec.locations[i].city, cities[i]);
    std::strcpy(rec.locations[i].state, "BR");
    std::strcpy(rec.locations[i].county, i == 2 ? "" : "Alder County");
  }
  std::memcpy(rec.locations[0].geo_code, "1100101009", 10);
  std::strcpy(rec.locations[1].geo_code, "110030200");
  return rec;
}

TEST(VertexReply, WholeTextsOverARealQueue) {
  const VertexTaxResult tax = sample_result();
  const VertexTaxResult blank{};
  const VertexAddrRec addr = sample_addr();
  VertexAddrRec none = addr;
  none.count = 0;
  const std::string zeros12 = "0.000000~0.000000~0.000000~0.000000~0.000000~0.000000~0.000000~"
                              "0.000000~0.000000~0.000000~0.000000~0.000000~";
  const struct {
    const char* name;
    std::function<int(char*)> send;
    int fail_send;  // the send that fails (0: none)
    int result;
    Lines sent;
  } rows[] = {
      {"standard", [&](char* out) { return send_vertex_tax(&tax, out); }, 0, 0,
       {"6~1~1~2~1~0~", "7~1~1~2~1~0.060000~0.010000~0.020000~0.001000~0.002000~6.000000~1.000000~"
                        "2.000000~0.100000~0.200000~0.101000~10.100000~T~F~"}},
      {"standard, no jurisdictions", [&](char* out) { return send_vertex_tax(&blank, out); }, 0, 0,
       {"6~1~1~2~1~0~", "7~1~1~2~1~" + zeros12 + "~~"}},
      {"enhanced", [&](char* out) { return send_vertex_tax_enh(&tax, out); }, 0, 0,
       {"6~1~1~2~1~0~", "7~1~1~2~1~0.060000~0.010000~0.020000~0.005000~0.001000~0.002000~0.003000~"
                        "6.000000~1.000000~2.000000~0.500000~0.100000~0.200000~0.300000~0.101000~"
                        "10.100000~"}},
      {"standard, status unsent", [&](char* out) { return send_vertex_tax(&tax, out); }, 1, 1, {}},
      {"enhanced, result unsent", [&](char* out) { return send_vertex_tax_enh(&tax, out); }, 2, 1,
       {"6~1~1~2~1~0~"}},
      {"address", [&](char* out) { return send_vertex_addr(&addr, out); }, 0, 0,
       {"6~2~1~2~3~0~", "7~2~1~2~1~Millbrook~BR~1234567~1100101009~Alder County~",
        "7~2~1~2~2~Harrow~BR~1234567~110030200~Alder County~", "7~2~1~2~3~Lisk~BR~1234567~~~"}},
      {"address, third unsent", [&](char* out) { return send_vertex_addr(&addr, out); }, 3, 1,
       {"6~2~1~2~3~0~", "7~2~1~2~1~Millbrook~BR~1234567~1100101009~Alder County~"}},
      {"address, status unsent", [&](char* out) { return send_vertex_addr(&addr, out); }, 1, 1, {}},
      {"address, no candidate", [&](char* out) { return send_vertex_addr(&none, out); }, 0, 0,
       {"6~2~1~2~0~0~"}},
      {"no record", [&](char* out) { return send_vertex_tax(nullptr, out) + send_vertex_tax_enh(nullptr, out) + send_vertex_addr(nullptr, out); }, 0, 3, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test_util::OutputQueue q;
    ASSERT_TRUE(q.ok());
    al_os_reset();
    if (row.fail_send != 0) al_os_fail_nth(AL_OS_MSGSND, row.fail_send, EIDRM);
    char out[API_TEXT_SIZE] = {};
    EXPECT_EQ(row.send(out), row.result);
    al_os_reset();
    EXPECT_EQ(q.drain(), row.sent);
  }
}

// "%f" of the largest double takes over 300 characters: the result text is
// cut at the end of its buffer.
TEST(VertexReply, HugeValuesStayInTheBuffer) {
  VertexTaxResult r{};
  r.state_a = r.county_a = r.city_a = r.line_b = std::numeric_limits<double>::max();
  r.taxing_juris = 'T';
  for (auto* format : {format_vertex_tax_result, format_vertex_tax_result_enh}) {
    char out[API_TEXT_SIZE + 8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(format(&r, out, API_TEXT_SIZE), static_cast<int>(API_TEXT_SIZE)) << "does not fit";
    EXPECT_EQ(out[API_TEXT_SIZE - 1], '\0');
    EXPECT_EQ(out[API_TEXT_SIZE], '#');
  }
  EXPECT_FALSE(vertex_tax_result_fits(&r, 0));
  // Amounts past the bound below which a result is known to fit still go
  // out when the text fits.
  r.state_a = r.county_a = r.city_a = r.line_b = 1e20;
  EXPECT_TRUE(vertex_tax_result_fits(&r, 0));
  EXPECT_TRUE(vertex_tax_result_fits(&r, 1));
}

// ---- Result codes --------------------------------------------------------

TEST(VertexCodes, ResultsBecomeErrorCodes) {
  const struct {
    bool addr;
    int result;
    double code;  // 0: no error
  } rows[] = {
      {false, 0, 0.0},       {false, 1, 1600.0001},  {false, 10, 1600.001},   {false, 11, 1600.0011},
      {false, 100, 1600.01}, {false, 101, 1600.0101}, {false, 111, 1600.0111}, {false, 2, 1502.0},
      {false, 20, 1520.0},   {false, 36, 1536.0},    {false, 102, 1602.0},    {false, -1, 1499.0},
      {true, 0, 0.0},        {true, 1, 1401.0},      {true, 2, 1402.0},       {true, 3, 0.0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.addr) + " " + std::to_string(row.result));
    double code = -7.0;
    const int is_error = row.addr ? vertex_adapter.addr_error_code(nullptr, row.result, &code)
                                  : vertex_adapter.tax_error_code(nullptr, row.result, &code);
    EXPECT_EQ(is_error != 0, row.code != 0.0);
    EXPECT_NEAR(code, row.code != 0.0 ? row.code : -7.0, 1e-9);
  }
}

// A jurisdiction is foreign when its geo code starts with "77".
TEST(VertexCodes, ForeignJurisdictions) {
  VertexTaxRequest req {};
  std::memcpy(req.ship_to.geo_code, "77", 2);
  std::memcpy(req.ship_from.geo_code, "70", 2);
  std::memcpy(req.order_accept.geo_code, "07", 2);
  const int want[] = {1, 1, 0, 1, 1, 1};  // by jurisdiction type 0 to 5
  for (int type = 0; type < 6; ++type) EXPECT_EQ(primary_foreign(&req, type), want[type]) << type;
}

// ---- Session open through the OS seam ------------------------------------

class VertexOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"QSE", "QSE_BIN", "LD_LIBRARY_PATH", "VERTEXTDM", "VERTEXGEO", "VERTEXRATE"}) {
      env_.unset(name);
    }
    env_.set("QSE_SHLIB", SHLIB_DIR);
    env_.set("VERTEXDEBUG", "1");
    env_.set("VERTEXSERVER", VTX_DATA_DIR);
    env_.set("VERTEXUSER", "tester");
    env_.set("VERTEXREG", dir_.at("register.dat"));
    std::snprintf(api_settings.log_dir, sizeof api_settings.log_dir, "%s", dir_.path().c_str());
    std::snprintf(api_settings.username, sizeof api_settings.username, "%s", "tester");
    vertex_session = VertexSession{};
  }
  void TearDown() override {
    close_vertex();
    al_os_reset();
    api_settings.log_dir[0] = '\0';
  }
  Lines messages() const { return test_util::log_messages(test_util::slurp(dir_.at("vertex.log"))); }

  test_util::TempDir dir_{"vtx_open_"};
  test_util::EnvGuard env_;
};

// Each loader call and the log's open failing in turn: the open fails
// naming what is missing, or (the log) goes on without a log.
TEST_F(VertexOpen, EachLoaderCallFailingInTurn) {
#define VTX_NAME(name) #name,
  const char* const entries[] = {VTX_TAX_ENTRY_POINTS(VTX_NAME) VTX_LOC_ENTRY_POINTS(VTX_NAME)};
#undef VTX_NAME
  struct Fault {
    al_os_call call;
    int nth;
    int result;
    std::string last;  // the log's last message (a prefix)
  };
  std::vector<Fault> faults = {{AL_OS_DLOPEN, 1, 1, "Loading vst.DLL failed: "},
                               {AL_OS_DLOPEN, 2, 1, "Loading location.DLL failed: "},
                               {AL_OS_FOPEN, 1, 0, ""}};
  for (int i = 0; i < 32; ++i) {
    faults.push_back({AL_OS_DLSYM, i + 1, 1, std::string("Missing function '") + entries[i] + "' in DLL"});
  }
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.last);
    close_vertex();
    std::remove(dir_.at("vertex.log").c_str());
    al_os_reset();
    al_os_fail_nth(f.call, f.nth, ENOENT);
    EXPECT_EQ(open_vertex_general(), f.result);
    EXPECT_EQ(vertex_ready(), f.result == 0 ? 1 : 0);
    if (f.result == 0) {  // the close unloads both libraries
      close_vertex();
      for (const char* lib : {SHLIB_DIR "/libvst.so", SHLIB_DIR "/libloc.so"}) {
        EXPECT_EQ(dlopen(lib, RTLD_NOW | RTLD_NOLOAD), nullptr) << lib;
      }
    }
    const Lines m = messages();
    if (f.last.empty()) {
      EXPECT_TRUE(m.empty());
    } else {
      ASSERT_FALSE(m.empty());
      EXPECT_EQ(m.back().substr(0, f.last.size()), f.last);
    }
  }
}

// Without an open session nothing reaches the engine.
TEST_F(VertexOpen, RequestsWithoutASessionFail) {
  VertexTaxRequest req{};
  VertexTaxResult res{};
  VertexAddrRec addr{};
  EXPECT_EQ(determine_tax_vertex(&res, &req), VTX_TAX_CALL_FAILED);
  EXPECT_EQ(determine_addr_vertex(&addr), VTX_ADDR_ENGINE_FAILED);
  EXPECT_EQ(reset_vertex_handle(), VTX_RESET_FAILED);
  EXPECT_EQ(vertex_adapter.tax_determine(nullptr, 0), VTX_TAX_CALL_FAILED);
  EXPECT_EQ(vertex_adapter.addr_determine(nullptr), VTX_ADDR_ENGINE_FAILED);
  char out[API_TEXT_SIZE] = {};
  EXPECT_NE(vertex_adapter.tax_send(nullptr, 0, out), 0);
  EXPECT_NE(vertex_adapter.addr_send(nullptr, out), 0);
}

}  // namespace

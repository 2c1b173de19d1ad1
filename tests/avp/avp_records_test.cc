// Taxware records in-process: where every request field lands (whole records
// compared with images written out from the layout), every reply text, and
// the completion-code mapping.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "al_os.h"
#include "api_msg.h"
#include "avp_addr.h"
#include "avp_reply.h"
#include "avp_tax.h"
#include "avp_codes.h"
#include "avp_parse.h"
#include "gtest/gtest.h"
#include "output_queue.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Texts = std::vector<std::string>;
using Fields = std::map<int, std::string>;

template <typename V>
std::string raw(V v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}
template <typename T>
Bytes bytes_of(const T& rec) {
  const auto* p = reinterpret_cast<const unsigned char*>(&rec);
  return Bytes(p, p + sizeof rec);
}
void put(Bytes& b, std::size_t off, const std::string& s) { std::memcpy(b.data() + off, s.data(), s.size()); }
// "" when equal, else the first byte that differs.
std::string first_difference(const Bytes& got, const Bytes& want) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) return "byte " + std::to_string(i) + " is " + std::to_string(got[i]) + ", not " +
                                  std::to_string(want[i]);
  }
  return "";
}
// Characters that tell their position: "ABC...".
std::string pattern(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

enum Form { STD, ENH, ADDR };
struct Patch {
  char rec;  // 'j' Jur_Str, 't' Tax_Str, 'z' Zip_Str
  std::size_t off;
  std::string bytes;
};
struct ParseRow {
  std::string name;
  Form form;
  Fields fields;
  std::vector<Patch> patches;  // against the records of a request with every field empty
  int first = 6;
  int last = 0;  // last field in the text; 0: the form's last
};

// The records after clearing and parsing a request whose fields are all
// empty: blanks, zeros where numbers live, 1139 'Y', and 0 for every empty
// number or character field.
Bytes empty_tax(Form form) {
  Bytes b(1224, ' ');
  const auto zero = [&b](std::size_t off, std::size_t n) { std::memset(b.data() + off, 0, n); };
  zero(144, 112);
  for (std::size_t off : {260, 264, 296, 612, 904}) zero(off, 4);
  zero(316, 72);
  for (std::size_t k = 0; k < 8; ++k) zero(392 + 16 * k, 12);
  zero(912, 52);
  zero(968, 160);
  b[1139] = 'Y';
  if (form == ENH) {
    zero(305, 1);
    zero(307, 6);
    zero(1138, 1);
  }
  return b;
}
Bytes empty_jur() {
  Bytes b(356, ' ');
  std::memset(b.data() + 324, 0, 24);
  b[225] = b[226] = 0;
  return b;
}

std::vector<ParseRow> parse_rows() {
  std::vector<ParseRow> rows = {
      {"no fields at all", STD, {}, {}, 6, 5},
      {"no field read: the cleared records", STD, {}, {{'t', 904, raw(int32_t{1})}, {'j', 225, "  "}}, 48},
      {"a short text keeps the rest of its fill", STD, {{29, "AB"}}, {{'t', 268, "AB"}}},
      {"35 is copied to 763", STD, {{35, pattern(24)}}, {{'t', 783, pattern(20)}, {'t', 763, pattern(20)}}},
      {"55, 56 and 57 with their copies", ENH, {{55, "ABC"}, {56, pattern(30)}, {57, "Nx"}},
       {{'t', 653, "ABABABAB"}, {'t', 661, pattern(25) + pattern(25) + pattern(25) + pattern(25)},
        {'t', 305, "N"}, {'t', 307, "NNNNNN"}}},
      {"level inputs that cancel out leave no marker", ENH, {{38, "5"}, {45, "-5"}, {46, "1"}, {47, "-1"}},
       {{'t', 392, raw(5.0)}, {'t', 392 + 16 * 5, raw(-5.0)}, {'t', 400, raw(1.0f)}, {'t', 416, raw(-1.0f)}}},
      {"integers beyond 32 bits are clamped", STD, {{27, "1234567890123456789999999"}, {28, "-99999999999999999999"}},
       {{'t', 260, raw(INT32_MAX)}, {'t', 264, raw(INT32_MIN)}}},
      {"numbers are read from their first 19 characters", STD,
       {{24, "0.000000000000000001999"}, {25, "1000000000000000000000000"}}, {{'t', 168, raw(1e18)}}},
      {"floats beyond range are infinite", STD, {{43, "1e39"}, {44, "-1e39"}},
       {{'t', 416, raw(std::numeric_limits<float>::infinity())},
        {'t', 432, raw(-std::numeric_limits<float>::infinity())}}},
      {"fields before the first are not read", STD, {{6, "CITY"}, {24, "9"}, {27, "5"}},
       {{'j', 225, " "}, {'j', 226, " "}, {'t', 260, raw(int32_t{5})}}, 25},
      {"address: a short city", ADDR, {{6, "Boston"}}, {{'z', 15, "Boston"}}},
      {"address: every field cut to its room", ADDR, {{6, std::string(40, 'c')}, {7, "MAX"}, {8, "0211012345678"}},
       {{'z', 15, std::string(29, 'c')}, {'z', 4, "MA"}, {'z', 6, "021101234"}}},
  };
  // Each field alone: a text longer than its room fills the room and nothing
  // else; a number or character lands in its bytes.
  struct Place {
    Form form;
    int field;
    char rec;
    std::size_t off;
    char kind;  // s text (of `room` bytes), c character, i integer, d double, f float
    std::size_t room = 0;
  };
  std::vector<Place> places = {
      {STD, 6, 'j', 53, 's', 26},   {STD, 7, 'j', 48, 's', 5},    {STD, 8, 'j', 79, 's', 5},
      {STD, 9, 'j', 84, 's', 9},    {STD, 10, 'j', 8, 's', 26},   {STD, 11, 'j', 3, 's', 5},
      {STD, 12, 'j', 34, 's', 5},   {STD, 13, 'j', 39, 's', 9},   {STD, 14, 'j', 143, 's', 26},
      {STD, 15, 'j', 138, 's', 5},  {STD, 16, 'j', 169, 's', 5},  {STD, 17, 'j', 174, 's', 9},
      {STD, 18, 'j', 98, 's', 26},  {STD, 19, 'j', 93, 's', 5},   {STD, 20, 'j', 124, 's', 5},
      {STD, 21, 'j', 129, 's', 9},  {STD, 29, 't', 268, 's', 28}, {STD, 30, 't', 526, 's', 66},
      {STD, 31, 't', 803, 's', 50}, {STD, 32, 't', 592, 's', 20}, {STD, 33, 't', 516, 's', 10},
      {STD, 37, 't', 853, 's', 51}, {STD, 22, 'j', 225, 'c'},     {STD, 23, 'j', 226, 'c'},
      {STD, 24, 't', 144, 'd'},     {STD, 25, 't', 168, 'd'},     {STD, 26, 't', 240, 'd'},
      {STD, 27, 't', 260, 'i'},     {STD, 28, 't', 264, 'i'},     {STD, 34, 't', 904, 'i'},
      {STD, 36, 't', 352, 'i'},     {ENH, 54, 't', 1138, 'c'}};
  for (std::size_t i = 0; i < 5; ++i) {  // standard: levels 1 to 5, doubles then floats
    places.push_back({STD, static_cast<int>(38 + i), 't', 392 + 16 * (i + 1), 'd'});
    places.push_back({STD, static_cast<int>(43 + i), 't', 400 + 16 * (i + 1), 'f'});
  }
  const std::size_t travel[8] = {0, 1, 2, 3, 7, 6, 4, 5};  // enhanced level order
  for (std::size_t i = 0; i < 8; ++i) {
    places.push_back({ENH, static_cast<int>(38 + i), 't', 392 + 16 * travel[i], 'd'});
    places.push_back({ENH, static_cast<int>(46 + i), 't', 400 + 16 * travel[i], 'f'});
  }
  for (const Place& p : places) {
    const std::string value = p.kind == 's'   ? pattern(p.room + 3)
                              : p.kind == 'c' ? "Qx"
                              : p.kind == 'i' ? "-42"
                                              : "12.625";
    const std::string stored = p.kind == 's'   ? pattern(p.room)
                               : p.kind == 'c' ? "Q"
                               : p.kind == 'i' ? raw(int32_t{-42})
                               : p.kind == 'd' ? raw(12.625)
                                               : raw(12.625f);
    ParseRow row{"field " + std::to_string(p.field) + (p.form == ENH ? " enhanced" : ""), p.form,
                 {{p.field, value}}, {{p.rec, p.off, stored}}};
    if (p.form == ENH && p.field < 54) row.patches.push_back({'t', 256, "E"});  // level input marks the request
    rows.push_back(row);
  }
  return rows;
}

TEST(AvpParse, EveryFieldLandsInItsRoomAndNothingElse) {
  for (const ParseRow& row : parse_rows()) {
    SCOPED_TRACE(row.name);
    const int last = row.last != 0 ? row.last : row.form == STD ? 47 : row.form == ENH ? 57 : 8;
    std::string text = "9~1~1~1~1~";
    for (int n = 6; n <= last; ++n) text += (row.fields.count(n) != 0 ? row.fields.at(n) : "") + "~";

    Bytes want_jur = empty_jur(), want_tax = empty_tax(row.form), want_zip(sizeof(Zip_Str), 0);
    std::memset(want_zip.data(), ' ', 8);
    for (const Patch& p : row.patches) {
      put(p.rec == 'j' ? want_jur : p.rec == 't' ? want_tax : want_zip, p.off, p.bytes);
    }

    if (row.form == ADDR) {
      auto zip = std::make_unique<Zip_Str>();  // zero-filled, as every caller allocates it
      Clear_Zip_Str(zip.get());
      format_avp_addr(text.c_str(), zip.get());
      EXPECT_EQ(first_difference(bytes_of(*zip), want_zip), "");
      continue;
    }
    Jur_Str jur;
    Tax_Str tax;
    std::memset(&jur, 0x55, sizeof jur);
    std::memset(&tax, 0x55, sizeof tax);
    Clear_Jur_Str(&jur);
    Clear_Tax_Str(&tax);
    (row.form == ENH ? format_avp_jur_enh : format_avp_jur)(text.c_str(), &jur, &tax, row.first);
    EXPECT_EQ(first_difference(bytes_of(jur), want_jur), "") << "Jur_Str";
    EXPECT_EQ(first_difference(bytes_of(tax), want_tax), "") << "Tax_Str";
  }
}

// The records a reply is built from; level k's results are k.5 and (10k).25.
struct Records {
  Records() {
    Clear_Tax_Str(&tax);
    Clear_Jur_Str(&jur);
    for (int k = 0; k < AVP_LEVELS; ++k) {
      tax.level_out_dbl[k] = k + 0.5;
      tax.level_out_flt[k] = 10.0f * k + 0.25f;
    }
    jur.chr_236 = 'J';
    std::memcpy(tax.copy_686[0], "Jurisdiction name here   ", 25);
  }
  Tax_Str tax;
  Jur_Str jur;
  Zip_Str zip{};
};

// Entry i holds a place named by `city`, or is blank for ".".
void place(Zip_Str* zip, int i, const std::string& city, const char* state = "MA") {
  ZipEntry& e = zip->entry[i];
  std::memset(&e, ' ', sizeof e);
  if (city == ".") return;
  std::memcpy(e.city, city.data(), city.size());
  std::memcpy(e.state, state, 2);
  std::memcpy(e.zip, "02110", 5);
  std::memcpy(e.geo, "07", 2);
  std::memcpy(e.county_code, "025", 3);
  std::memcpy(e.county_name, "SUFFOLK", 7);
  e.indicator = 'Y';
}
std::string record(int i, const std::string& city, const char* state = "MA") {
  return "7~2~1~1~" + std::to_string(i) + "~" + city + std::string(26 - city.size(), ' ') + "~" + state +
         "~02110~07~025~SUFFOLK" + std::string(19, ' ') + "~Y~";
}

struct ReplyRow {
  const char* name;
  Form form;
  void (*setup)(Records&);
  int result;
  Texts replies;
};

std::vector<ReplyRow> reply_rows() {
  const std::string levels = "1.500000~2.500000~3.500000~4.500000~5.500000~10.250000~20.250000~30.250000~40.250000~"
                             "50.250000~";
  std::vector<ReplyRow> rows = {
      {"standard", STD, [](Records& r) { r.tax.GenCmplCd = 4; }, 0,
       {"6~1~1~1~1~4~", "7~1~1~1~1~" + levels + "J~Jurisdiction name here   ~"}},
      {"enhanced: levels in travel order, a blank character, a name cut at byte 0", ENH,
       [](Records& r) {
         r.jur.chr_236 = ' ';
         std::memset(r.tax.copy_686[0], 0, 25);
         std::memcpy(r.tax.copy_686[0], "Short", 5);
       },
       0,
       {"6~1~1~1~1~0~", "7~1~1~1~1~0.500000~1.500000~2.500000~3.500000~7.500000~6.500000~4.500000~5.500000~"
                        "0.250000~10.250000~20.250000~30.250000~70.250000~60.250000~40.250000~50.250000~ ~Short~"}},
      {"no jurisdiction character", STD, [](Records& r) { r.jur.chr_236 = '\0'; r.tax.GenCmplCd = 83; }, 0,
       {"6~1~1~1~1~83~", "7~1~1~1~1~" + levels + "~Jurisdiction name here   ~"}},
      {"a code without a result", STD, [](Records& r) { r.tax.GenCmplCd = 95; }, 1, {}},
      {"results too long for one message are not even announced", ENH,
       [](Records& r) { std::fill(std::begin(r.tax.level_out_dbl), std::end(r.tax.level_out_dbl), 1e300); }, 1, {}},
      {"address 0: entry 0 alone, its fields up to a byte 0", ADDR,
       [](Records& r) {
         place(&r.zip, 0, "AB");
         place(&r.zip, 1, "O");
         r.zip.entry[0].city[1] = '\0';
         r.zip.entry[0].county_name[3] = '\0';
         r.zip.entry[0].indicator = '\0';
       },
       0, {"6~2~1~1~1~0~", "7~2~1~1~1~A~MA~02110~07~025~SUF~~"}},
      {"address 29: up to the first entry with two blanks", ADDR,
       [](Records& r) {
         r.zip.ZipCmplCd = 29;
         place(&r.zip, 0, "A");
         place(&r.zip, 1, "B", " M");
         place(&r.zip, 2, "C", "M ");
         place(&r.zip, 3, ".");
         place(&r.zip, 4, "E");
       },
       0, {"6~2~1~1~3~29~", record(1, "A"), record(2, "B", " M"), record(3, "C", "M ")}},
      {"address 29: the first entry blank", ADDR, [](Records& r) { r.zip.ZipCmplCd = 29, place(&r.zip, 0, "."); }, 0,
       {"6~2~1~1~0~29~"}},
      {"address: another code sends nothing", ADDR, [](Records& r) { r.zip.ZipCmplCd = 13, place(&r.zip, 0, "A"); },
       0, {}},
      {"address 29: all 300 entries", ADDR,
       [](Records& r) {
         r.zip.ZipCmplCd = 29;
         for (ZipEntry& e : r.zip.entry) e.state[0] = 'M';  // every other byte 0: short records
       },
       0, {"6~2~1~1~300~29~"}},
  };
  for (int i = 1; i <= AVP_ZIP_ENTRIES; ++i) {
    rows.back().replies.push_back("7~2~1~1~" + std::to_string(i) + "~~M~~~~~~");
  }
  return rows;
}

TEST(AvpReplies, EveryReplyByItsRecordsAndEachFailingSend) {
  for (const ReplyRow& row : reply_rows()) {
    SCOPED_TRACE(row.name);
    test_util::OutputQueue queue;
    ASSERT_TRUE(queue.ok());
    auto send = [&row] {
      auto r = std::make_unique<Records>();
      row.setup(*r);
      char out[API_TEXT_SIZE];
      std::memset(out, 0, API_TEXT_SIZE);
      return row.form == ADDR  ? send_avp_addr(&r->zip, out)
             : row.form == ENH ? send_avp_tax_enh(&r->tax, &r->jur, out)
                               : send_avp_tax(&r->tax, &r->jur, out);
    };
    EXPECT_EQ(send(), row.result);
    EXPECT_EQ(queue.drain(), row.replies);
    // The nth send failing: a tax reply passes over its status, an address reply ends there.
    for (std::size_t n = 1; n <= std::min<std::size_t>(row.replies.size(), 3); ++n) {
      SCOPED_TRACE("send " + std::to_string(n) + " failing");
      al_os_fail_nth(AL_OS_MSGSND, static_cast<int>(n), EIDRM);
      const int result = send();
      al_os_reset();
      Texts want = row.replies;
      if (row.form == ADDR) {
        want.resize(n - 1);
      } else {
        want.erase(want.begin() + static_cast<std::ptrdiff_t>(n - 1));
      }
      EXPECT_EQ(result, row.form != ADDR && n == 1 ? row.result : 1);
      EXPECT_EQ(queue.drain(), want);
    }
  }
}

// Amounts past the bound below which a result is known to fit without being
// formatted still go out when the text fits; only one that cannot is refused.
TEST(AvpReplies, WideResultsFitUntilTheTextDoesNot) {
  for (const auto& [value, fits] : {std::pair{1e20, true}, {1e300, false}}) {
    Records r;
    std::fill(std::begin(r.tax.level_out_dbl), std::end(r.tax.level_out_dbl), value);
    EXPECT_EQ(avp_tax_result_fits(&r.tax, &r.jur, 1), fits) << value;
  }
}

// Which outcomes carry a result, the error number of the others, and the text of each.
TEST(AvpCodes, TaxAndAddressOutcomes) {
  struct Row {
    int gen, jur, poo, poa, shpto, shpfr;
    double number;     // 0: the outcome carries a result
    const char* text;  // GetAvpErrorMess
  };
  const Row rows[] = {
      {0, 0, 0, 0, 0, 0, 0, "Successful Completion"},      {4, 0, 0, 0, 0, 0, 0, "Ignorable error code: 4"},
      {18, 0, 0, 0, 0, 0, 0, "Ignorable error code: 18"}, {19, 0, 0, 0, 0, 0, 0, "Ignorable error code: 19"},
      {51, 0, 0, 0, 0, 0, 0, "Ignorable error code: 51"}, {63, 0, 0, 0, 0, 0, 0, "Ignorable error code: 63"},
      {83, 0, 0, 0, 0, 0, 0, "Ignorable error code: 83"},
      {5, 0, 0, 0, 0, 0, 1205, "GenCmplCd: 5"},
      {95, 0, 0, 0, 0, 0, 1295, "Successful Completion"},
      {0, 2, 0, 0, 0, 0, 1302, "Successful Completion"},  // general success, jurisdiction failure
      {95, 1, 0, 0, 0, 0, 1301, "If point-of-title is invalid, the default will be 'D'"},
      {95, 2, 0, 0, 0, 0, 1302, "Service indicator not valid"},
      {95, 9, 0, 0, 0, 0, 1309, "Invalid tax selection parameter"},
      {95, 3, 0, 0, 0, 0, 1303, "Unknown"},
      {95, 99, 1, 3, 0, 0, 1399.0100, "POOJurRC: 1"},  // the text names a code the fraction ignores
      {95, 99, 0, 0, 0, 0, 1399, "Unknown (99)"},
      {95, 99, 0, 2, 0, 0, 1399.0100, "POAJurRC: 2"},
      {95, 99, 0, 0, 5, 4, 1399.0011, "ShpToJurRC: 5"},
      {95, 99, 0, 0, 0, -4, 1399, "ShpFrJurRC: -4"},
      {95, 99, 2, 2, 2, 2, 1399.1111, "POOJurRC: 2"},
      {4, 99, 0, 0, 0, 0, 1399, "Ignorable error code: 4"},
  };
  for (const Row& c : rows) {
    SCOPED_TRACE("GenCmplCd " + std::to_string(c.gen) + " JurCmplCd " + std::to_string(c.jur));
    Tax_Str t{};
    Jur_Str j{};
    t.GenCmplCd = c.gen;
    std::tie(j.JurCmplCd, j.POOJurRC, j.POAJurRC, j.ShpToJurRC, j.ShpFrJurRC) =
        std::tie(c.jur, c.poo, c.poa, c.shpto, c.shpfr);
    EXPECT_EQ(avp_tax_has_result(&t, &j) != 0, c.number == 0);
    if (c.number != 0) {
      EXPECT_NEAR(avp_tax_error_number(&t, &j), c.number, 1e-9);
    }
    EXPECT_EQ(GetAvpErrorMess(&t, &j), c.text);
  }
  const std::string verify = "An error occurred while validating input string in Verify_Zip or ZipQuery";
  const std::pair<int, std::string> zip_rows[] = {
      {0, "Successful completion"}, {1, "Invalid link action"}, {2, "Indexed ZIP Master file not found"},
      {3, "Indexed County file not found"}, {4, "Sequential ZIP Exeception file not found"},
      {5, "More than one needed file not found"}, {12, "Invalid State code passed"},
      {13, "No ZIP code or City name passed"}, {14, "State and ZIP code combination not found"},
      {15, "State code and City name combination not found"}, {16, "State, ZIP and City combination not found"},
      {17, "State, ZIP and City combination not found; Returned all possible ZIP codes based on City and State"},
      {18, "State, ZIP and City combination not found; Returned all possible City names based on ZIP and State"},
      {29, "Two or more counties found for State, ZIP and City combination; Retured all possible County codes"},
      {30, "ZIP code not valid for State; Defaulted to State code that matches ZIP"},
      {41, "Multiple City names possible for State and ZIP combination; Returned all possible City names"},
      {42, "Multiple ZIP codes possible for State and City combination; Retured all possible ZIP codes"},
      {43, verify}, {80, verify}, {6, "Unknown completion code: 6"}, {-1, "Unknown completion code: -1"},
  };
  for (const auto& [code, text] : zip_rows) {
    SCOPED_TRACE(code);
    Zip_Str z{};
    z.ZipCmplCd = code;
    EXPECT_EQ(GetZipErrorMess(&z), text);
    EXPECT_EQ(avp_addr_has_result(&z) != 0, code == 0 || code == 29);
    EXPECT_EQ(avp_addr_error_number(&z), 1100.0 + code);
  }
}

}  // namespace

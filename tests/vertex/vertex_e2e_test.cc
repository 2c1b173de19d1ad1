// End to end: the real taxapi process over real queues, with the stand-in
// Vertex libraries (loaded with dlopen) and their sample data, and
// erp::ErpPeer as the ERP. One row per reply path; the stand-in's control
// file and its copies without an entry point force the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "erp_peer.h"
#include "test_util.h"
#include "vertex_request.h"

namespace {

namespace fs = std::filesystem;
using Fields = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

const std::string kAck = "10~0~1~2~0~~";
const std::string kStdStatus = "6~1~1~2~1~0~";

// A standard line of 100.00 shipped to Millbrook (Alder County, Brenmark):
// state 5 %, county 1 %, city 1 % and a district of 0.25 % owned by the city.
const Fields kTaxLine = {{"ship_to_geo", "110010100"}, {"line_amount", "100.00"},
                         {"prod_number", "1"},          {"product_code", "GEN"},
                         {"customer_1", "C1"},          {"customer_2", "C2"},
                         {"invoice_number", "INV-1"},   {"invoice_text", "T"},
                         {"line_number", "1"},          {"company_code", "CO1"},
                         {"user_area", "UA"}};
const std::string kStdResult =
    "7~1~1~2~1~0.050000~0.010000~0.012500~0.000000~0.000000~5.000000~1.000000~1.250000~"
    "0.000000~0.000000~0.072500~7.250000~T~T~";

struct Row {
  const char* name;
  const char* control = "";  // the stand-in's control file
  const char* kind = "tax";  // request kind; "" sends none
  Fields fields = {};        // request fields changed from kTaxLine (tax) or given (addr)
  Lines replies = {};        // whole replies after the acknowledgements
  Lines log = {};            // vertex.log messages in this order (a final "..." matches a prefix)
  Lines dump = {};           // lines of the engine's handle dumps (tarn.out)
  Lines reg = {};            // the register file, time stamps cut out
  const char* setup = "";    // blank-separated: "-dv", "shlib=<none|vst|no_ENTRY>", "unset=NAME", "env=NAME=value"
  int exit = 0;              // exit status of the process
};

// Rows are named by their names in test output.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

Lines error_reply(const char* code) { return {std::string("5~0~1~2~0~") + code + "~"}; }
const Lines kNotOpen = error_reply("1.000000");
const Lines kStartFailed = error_reply("4.000000");
// A step's failure line and the reset that follows it.
Lines failed(const char* line) { return {line, "VstResetHdl passed."}; }
// A step that fails: the control that makes it fail, the whole part of the
// error code, and the step's failure line followed by the reset.
Row fails(const char* name, const char* control, const char* code, const char* line) {
  return {.name = name, .control = control, .replies = error_reply((std::string(code) + ".000000").c_str()),
          .log = failed(line)};
}

// The address replies of candidates `first` to `last` (numbered from 1) of
// a search for Millbrook, BR that the stand-in repeats in order.
Lines millbrook_candidates(int first, int last) {
  const char* const texts[] = {"Millbrook~BR~~110010100~Alder County~",
                               "Millbrook~BR~~110010000~Alder County~",
                               "Millbrook~BR~~110030200~Harrow County~"};
  Lines out = {"6~2~1~2~" + std::to_string(last - first + 1) + "~0~"};
  for (int i = first; i <= last; ++i) {
    out.push_back("7~2~1~2~" + std::to_string(i - first + 1) + "~" + texts[(i - 1) % 3]);
  }
  return out;
}

// The messages of an open with the sample data, a standard request and the close.
const Lines kOpenLog = {
    "Loading vst.DLL.", "Loading vst.DLL succeeded.", "Loading loc shared library.",
    "Loading location.DLL succeeded.", "Checking environment variables", "VERTEXSERVER - <" VTX_DATA_DIR ">",
    "VERTEXTDM - <(not set)>", "VERTEXPWD - <********>", "VERTEXUSER - <e2e>", "VERTEXGEO - <(not set)>",
    "VERTEXRATE - <(not set)>", "VERTEXREG - <...", "LocCreateConnHdl passed.", "LocOpenDb passed.",
    "VstCreateConnHdl passed.", "VstOpenDb(eVstDbTypeLocation) passed.", "VstOpenDb(eVstDbTypeRate) passed.",
    "VstOpenDb(eVstDbTypeTDM) passed.", "VstOpenDb(eVstDbTypeRegister) passed.", "VstCreateHdl passed."};
const Lines kTaxLog = {
    "VstSetInvJuris(eVstJurisTypeShipFrom) passed.", "VstSetInvJuris(eVstJurisTypeShipTo) passed.",
    "VstSetInvJuris(eVstJurisTypeOrderAccept) passed.", "VstSetInvDetail() passed.", "VstSetLineDetail passed.",
    "VstSetLineProd passed.", "VstCalcTax passed.", "VstGetInvDetail passed.", "Invoice check passed.",
    "Customer check passed.", "Write register and company code check passed", "VstGetLineDetail passed",
    "User area check passed", "VstGetLineProd passed.", "Product check passed.",
    "VstGetLineLocal(eVstStLocTypeState) passed.", "VstGetLineLocal(eVstStLocTypeCity) passed.",
    "VstGetLineLocal(eVstStLocTypeCnty) passed.", "VstGetLineLocal(eVstStLocTypeDist) passed.",
    "VstGetLineLocalAddtl(eVstLocAddtlTypeCity) passed.", "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) passed.",
    "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.", "VstResetHdl passed."};
const Lines kCloseLog = {
    "LocCloseDb passed.", "LocReleaseConnHdl passed.", "VstReleaseHdl passed.", "VstCloseDb(eVstDbTypeRate) passed.",
    "VstCloseDb(eVstDbTypeLocation) passed.", "VstCloseDb(eVstDbTypeTDM) passed.",
    "VstCloseDb(eVstDbTypeRegister) passed.", "VstReleaseConnHdl passed."};

Lines joined(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Row kRows[] = {
    // Results.
    {.name = "standard", .replies = {kStdStatus, kStdResult},
     .log = {"VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.", "VstResetHdl passed."},
     .dump = {"  juris ship-to      set=1 geo=110010100 flag=0", "  juris ship-from    set=1 geo=0 flag=0",
              "  invoice number=<INV-1> text=<T> company=<CO1> customers=<C1><C2>",
              "  invoice mode=0 write_register=0",
              "  line set=1 number=1 type=0 kind=0 amount=100.000000 totals=0 a=0.000000 b=0.000000",
              "  product=<GEN> user_area=<UA>"}},
    {.name = "enhanced", .kind = "tax-enh",
     .replies = {kStdStatus, "7~1~1~2~1~0.050000~0.010000~0.010000~0.002500~0.000000~0.000000~0.000000~"
                             "5.000000~1.000000~1.000000~0.250000~0.000000~0.000000~0.000000~0.072500~7.250000~"},
     .log = {"VstGetLineLocal(eVstStLocTypeCity) passed.", "VstGetLineeLocal(eVstStLocTypeCnty) passed.",
             "VstGetLineLocal(eVstStLocTypeDist) passed."}},
    {.name = "invoice fields", .control = "VstCalcTax = 8\nVstGetInvDetail.invoice = \"INV-1   \"",
     .fields = {{"ship_to_geo", "00110010100"}, {"ship_to_flag", "0.9"}, {"ship_from_geo", "230110100"},
                {"ship_from_flag", "1"}, {"order_accept_geo", "460210100"}, {"invoice_flag", "1"},
                {"write_register", "5"}, {"transaction_type", "3"}, {"line_kind", "6"}, {"line_number", "7"}},
     .replies = {kStdStatus, kStdResult},
     .dump = {"  juris ship-to      set=1 geo=110010100 flag=0", "  juris ship-from    set=1 geo=230110100 flag=1",
              "  juris order-accept set=1 geo=460210100 flag=0", "  invoice mode=3 write_register=0",
              "  line set=1 number=7 type=3 kind=5 amount=100.000000 totals=0 a=0.000000 b=0.000000"}},
    {.name = "jurisdiction characters", .control = "VstGetLineDetail.juris = 4\nVstGetLineLocalAddtl.juris = 7",
     .fields = {{"line_kind", "7"}, {"transaction_type", "4"}},
     .replies = {kStdStatus, kStdResult.substr(0, kStdResult.size() - 4) + "A~ ~"},
     .dump = {"  line set=1 number=1 type=0 kind=0 amount=100.000000 totals=0 a=0.000000 b=0.000000"}},
    {.name = "taxed at the ship-from", .fields = {{"ship_to_geo", "230130100"}, {"ship_from_geo", "230110100"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.062500~0.010000~0.025000~0.000000~0.000000~6.250000~1.000000~"
                             "2.500000~0.000000~0.000000~0.097500~9.750000~F~T~"}},
    {.name = "district owned by the county", .fields = {{"ship_to_geo", "230110200"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.062500~0.013000~0.010000~0.000000~0.000000~6.250000~1.300000~"
                             "1.000000~0.000000~0.000000~0.085500~8.550000~T~T~"}},
    {.name = "additional localities", .fields = {{"ship_to_geo", "230110100"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.062500~0.010000~0.025000~0.002000~0.002500~6.250000~1.000000~"
                             "2.500000~0.200000~0.250000~0.103000~10.300000~T~T~"}},
    {.name = "additional district owned by the county", .fields = {{"ship_to_geo", "110010210"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.050000~0.011000~0.015000~0.002500~0.000000~5.000000~1.100000~"
                             "1.500000~0.250000~0.000000~0.078500~7.850000~T~T~"}},
    {.name = "enhanced additional districts", .kind = "tax-enh",
     .fields = {{"ship_to_geo", "110010210"}, {"local_override", "2"}, {"local_kind", "1"}, {"state_a", "1"},
                {"county_a", "1"}, {"city_a", "1"}, {"district_a", "1"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.050000~0.010000~0.015000~0.000000~0.002500~0.000000~0.001000~"
                             "5.000000~1.000000~1.500000~0.000000~0.250000~0.000000~0.100000~0.078500~7.850000~"},
     .dump = {"  setting level=0 taxability=1 code=2 a=1.000000 b=0.000000"}},
    {.name = "enhanced own districts", .kind = "tax-enh",
     .fields = {{"ship_to_geo", "230110100"}, {"local_override", "2"}, {"local_kind", "6"}, {"state_a", "1"},
                {"county_a", "1"}, {"city_a", "1"}, {"district_a", "1"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.062500~0.010000~0.020000~0.005000~0.002000~0.002500~0.000000~"
                             "6.250000~1.000000~2.000000~0.500000~0.200000~0.250000~0.000000~0.103000~10.300000~"},
     .dump = {"  setting level=3 taxability=1 code=4 a=1.000000 b=0.000000"}},
    {.name = "a result too wide for one message", .fields = {{"line_amount", "1e300"}},
     .replies = error_reply("1599.000000"), .log = {"VstResetHdl passed.", "Tax result does not fit the message."}},
    {.name = "foreign line never stops", .fields = {{"ship_to_geo", "770000001"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.000000~0.000000~0.000000~0.000000~0.000000~0.000000~0.000000~"
                             "0.000000~0.000000~0.000000~0.000000~0.000000~T~T~"}},
    {.name = "unowned additional district answers false", .control = "VstGetLineLocalAddtl(2) = 0",
     .replies = {kStdStatus, kStdResult}},
    // The request's own level values.
    {.name = "standard level settings",
     .fields = {{"local_override", "1"}, {"transaction_type", "2"}, {"state_a", "0.03"}, {"city_a", "0.02"},
                {"county_b", "3"}},
     .replies = {kStdStatus, "7~1~1~2~1~0.030000~0.010000~0.020000~0.000000~0.000000~3.000000~0.000000~"
                             "2.000000~0.000000~0.000000~0.060000~5.000000~T~T~"},
     .log = {"VstSetLineLocal(eVstStLocTypeState, eVstTaxbltyTaxable) passed.",
             "VstSetLineLocal(eVstStLocTypeCity, eVstTaxbltyTaxable) passed.",
             "VstSetLineLocal(eVstStLocTypeCnty, eVstTaxbltyNonTaxable) passed.",
             "VstSetLineLocal(eVstStLocTypeDist, eVstTaxbltyTaxable) passed."},
     .dump = {"  line set=1 number=1 type=2 kind=0 amount=100.000000 totals=0 a=0.000000 b=0.000000",
              "  setting level=0 taxability=1 code=9 a=0.030000 b=0.000000",
              "  setting level=1 taxability=2 code=9 a=0.000000 b=3.000000",
              "  setting level=2 taxability=1 code=9 a=0.020000 b=0.000000",
              "  setting level=3 taxability=1 code=9 a=0.000000 b=0.000000"}},
    // Status 22 of a domestic line stops the reads: the taxing jurisdiction
    // gives the result; levels after the stop are not read.
    {.name = "state stop at the ship-to",
     .control = "VstGetLineLocal(0).status = 22\nVstGetLineLocal(1) = 0\nVstGetLineLocal(2) = 0\nVstGetLineLocal(3) = 0",
     .replies = error_reply("1600.000100"),
     .log = {"VstGetLineLocal(eVstStLocTypeState) passed.", "VstGetLineLocal(eVstStLocTypeCity) passed.",
             "VstGetLineLocal(eVstStLocTypeCnty) passed.", "VstGetLineLocal(eVstStLocTypeDist) passed.",
             "VstResetHdl passed."}},
    {.name = "state stop at the ship-from", .control = "VstGetLineLocal(0).status = 22\nVstGetLineDetail.juris = 3",
     .replies = error_reply("1600.001000")},
    {.name = "county stop at the order acceptance",
     .control = "VstGetLineLocal(1).status = 22\nVstGetLineDetail.juris = 4\nVstGetLineLocal(3) = 0",
     .replies = error_reply("1600.010000")},
    {.name = "district stop elsewhere",
     .control = "VstGetLineLocal(3).status = 22\nVstGetLineDetail.juris = 7\nVstGetLineLocalAddtl = 0",
     .replies = error_reply("1600.011100")},
    {.name = "city without a rate", .fields = {{"ship_to_geo", "460210200"}}, .replies = error_reply("1600.000100")},
    {.name = "additional county without a rate",
     .control = "VstGetLineLocalAddtl(2) = 0\nVstGetLineLocalAddtl(2).owner = 1",
     .fields = {{"ship_to_geo", "460230200"}}, .replies = error_reply("1600.000100"),
     .log = {"VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) passed.",
             "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.", "VstResetHdl passed."}},
    {.name = "additional city stop",
     .control = "VstGetLineLocalAddtl(1).status = 22\nVstGetLineLocalAddtl(1).juris = 4\nVstGetLineLocalAddtl(0) = 0",
     .replies = error_reply("1600.010000")},
    {.name = "additional district stop",
     .control = "VstGetLineLocalAddtl(2).status = 22\nVstGetLineLocalAddtl(2).juris = 3",
     .replies = error_reply("1600.001000")},
    // After an additional stop an invoice for the register goes back with
    // its level sums.
    {.name = "register", .fields = {{"write_register", "1"}}, .replies = {kStdStatus, kStdResult},
     .reg = {"INVOICE|INV-1|T|CO1|C1|C2|1|GEN|2|110010100|100.00|0.072500|7.25|0"}},
    {.name = "re-submission",
     .control = "VstGetLineLocalAddtl(1).a = 0.002\nVstGetLineLocalAddtl(1).b = 0.2",
     .fields = {{"ship_to_geo", "460230200"}, {"write_register", "1"}}, .replies = error_reply("1600.000100"),
     .log = {"VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.", "VstSetLineDetail passed.",
             "VstCalcTax unknown status.", "VstGetLineLocal(eVstStLocTypeCnty) unknown status.",
             "VstGetLineLocal(eVstStLocTypeCity) unknown status.", "VstGetLineLocal(eVstStLocTypeState) unknown status.",
             "VstGetLineLocal(eVstStLocTypeDist) unknown status.", "VstResetHdl passed."},
     .reg = {"INVOICE|INV-1|T|CO1|C1|C2|1|GEN|2|460230200|100.00|0.047500|4.75|1"}},
    {.name = "enhanced re-submission",
     .control = "VstGetLineLocalAddtl(1).a = 0.002\nVstGetLineLocalAddtl(1).b = 0.2", .kind = "tax-enh",
     .fields = {{"ship_to_geo", "460230200"}, {"write_register", "1"}}, .replies = error_reply("1600.000100"),
     .log = {"VstGetlineLocal(eVstStLocTypeState) unknown status."},
     .reg = {"INVOICE|INV-1|T|CO1|C1|C2|1|GEN|2|460230200|100.00|0.049500|4.95|1"}},
    {.name = "nothing to re-submit",
     .fields = {{"ship_to_geo", "460230200"}, {"write_register", "1"}, {"product_code", "MED-07"}},
     .replies = error_reply("1600.011100")},
    {.name = "re-submission refused", .control = "VstSetLineDetail@2 = 0",
     .fields = {{"ship_to_geo", "460230200"}, {"write_register", "1"}}, .replies = error_reply("1520.000000"),
     .log = failed("VstSetLineDetail failed, returned FALSE.")},
    // An engine call answering FALSE, a read-back that differs, a status.
    {.name = "jurisdiction refused", .control = "VstSetInvJuris(2) = 0", .replies = error_reply("1520.000000"),
     .log = {"VstSetInvJuris(eVstJurisTypeShipFrom) passed.", "VstSetInvJuris(eVstJurisTypeShipTo) passed.",
             "VstSetInvJuris(eVstJurisTypeOrderAccept) failed, returned FALSE.", "VstResetHdl passed."}},
    fails("invoice refused", "VstSetInvDetail = 0", "1520", "VstSetInvDetail() failed, returned FALSE."),
    fails("line refused", "VstSetLineDetail = 0", "1520", "VstSetLineDetail failed, returned FALSE."),
    fails("product refused", "VstSetLineProd = 0", "1520", "VstSetLineProd failed, returned FALSE."),
    {.name = "level setting refused", .control = "VstSetLineLocal(2) = 0",
     .fields = {{"local_override", "1"}, {"city_a", "0.02"}}, .replies = error_reply("1520.000000"),
     .log = failed("VstSetLineLocal(eVstStLocTypeCity, eVstTaxbltyTaxable) failed, returned FALSE.")},
    fails("invoice unreadable", "VstGetInvDetail = 0", "1520", "VstGetInvDetail failed, returned FALSE."),
    fails("line unreadable", "VstGetLineDetail = 0", "1520", "VstGetLineDetail failed, returned FALSE"),
    fails("product unreadable", "VstGetLineProd = 0", "1520", "VstGetLineProd failed, returned FALSE."),
    fails("invoice differs", "VstGetInvDetail.invoice = \"inv-1\"", "1521", "Invoice check failed."),
    fails("write register differs", "VstGetInvDetail.write_register = 1", "1523", "Write register check failed"),
    fails("user area differs", "VstGetLineDetail.user_area = \"UB\"", "1524", "User area check failed"),
    {.name = "amount differs", .control = "VstGetLineDetail.amount = 100.000001",
     .replies = error_reply("1524.000000")},
    fails("product differs", "VstGetLineProd.product = \"OTHER\"", "1525", "Product check failed."),
    fails("calculation fails", "VstCalcTax = 9", "1526", "VstCalcTax failed, returned eVstCalcRetCdTdmDbConnError."),
    fails("calculation fails unnamed", "VstCalcTax = 14", "1526", "VstCalcTax failed, returned "),
    fails("company differs", "VstGetInvDetail.company = \"ZZ\"", "1527", "Company code check failed"),
    fails("state unreadable", "VstGetLineLocal(0) = 0", "1528",
          "VstGetLineLocal(eVstStLocTypeState) failed, returned FALSE."),
    fails("city unreadable", "VstGetLineLocal(2) = 0", "1529",
          "VstGetLineLocal(eVstStLocTypeCity) failed, returned FALSE."),
    fails("county unreadable", "VstGetLineLocal(1) = 0", "1530",
          "VstGetLineLocal(eVstStLocTypeCnty) failed, returned FALSE."),
    fails("district unreadable", "VstGetLineLocal(3) = 0", "1531",
          "VstGetLineLocal(eVstStLocTypeDist) failed, returned FALSE."),
    fails("additional county unreadable", "VstGetLineLocalAddtl(0) = 0", "1532",
          "VstGetLineLocalAddtl(eVstLocAddtlTypeCnty) failed, returned FALSE."),
    fails("additional city unreadable", "VstGetLineLocalAddtl(1) = 0", "1533",
          "VstGetLineLocalAddtl(eVstLocAddtlTypeCity) failed, returned FALSE."),
    fails("additional district unreadable", "VstGetLineLocalAddtl(2) = 0\nVstGetLineLocalAddtl(2).owner = 1", "1534",
          "VstGetLineLocalAddtl(eVstLocAddtlTypeDist) failed, returned FALSE."),
    fails("customer differs", "VstGetInvDetail.customer_2 = \"X\"", "1535", "Customer check failed."),
    {.name = "reset refused", .control = "VstResetHdl = 0", .replies = error_reply("1536.000000"),
     .log = {"VstGetLineLocalAddtl(eVstLocAddtlTypeDist) passed.", "VstResetHdl failed, returned FALSE."}},
    // Address searches.
    {.name = "address candidates", .kind = "addr", .fields = {{"city", "Millbrook"}, {"state", "BR"}},
     .replies = millbrook_candidates(1, 3),
     .log = {"LocCreateFindContext passed.", "LocSetNameCriteria passed.", "LocGetLocations passed.",
             "LocDestroyFindContext passed."}},
    // More than one batch of 75: every batch is kept, up to 300 candidates.
    {.name = "address batches", .control = "LocGetLocations.matches = 85", .kind = "addr",
     .fields = {{"city", "Millbrook"}, {"state", "BR"}}, .replies = millbrook_candidates(1, 85)},
    {.name = "address cut at 300", .control = "LocGetLocations.matches = 400", .kind = "addr",
     .fields = {{"city", "Millbrook"}, {"state", "BR"}}, .replies = millbrook_candidates(1, 300),
     .log = {"LocGetLocations: 300 locations kept, the search stops there.", "LocGetLocations passed."}},
    {.name = "address texts cut",
     .control = "LocGetLocations.matches = 1\nLocGetName(2).text = \"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123\"\n"
                "LocGetName(1).text = \"abcdefghijklmnopqrstuvwxyz\"\nLocGetName(0).text = \"BRX\"\n"
                "LocGetGeoCodeString.text = \"123456789012\"",
     .kind = "addr", .fields = {{"city", "Nowhere"}, {"zip", "1234567"}},
     .replies = {"6~2~1~2~1~0~", "7~2~1~2~1~ABCDEFGHIJKLMNOPQRSTUVWXY~BR~1234567~1234567890~abcdefghijklmnopqrst~"}},
    {.name = "address without match", .kind = "addr", .fields = {{"city", "Nowhere"}},
     .replies = error_reply("1402.000000"), .log = {"LocSetNameCriteria passed.", "LocGetLocations failed, returned 0."}},
    {.name = "address criteria refused", .control = "LocSetNameCriteria = 0", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = error_reply("1402.000000"),
     .log = {"LocCreateFindContext passed.", "LocSetNameCriteria failed, returned FALSE."}},
    {.name = "address context refused", .control = "LocCreateFindContext = null", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = error_reply("1401.000000"),
     .log = {"LocCreateFindContext failed, returned NULL."}},
    {.name = "address release refused", .control = "LocRelease = 0", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = error_reply("1401.000000")},
    {.name = "address destroy refused", .control = "LocDestroyFindContext = 0", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = error_reply("1401.000000"),
     .log = {"LocGetLocations passed.", "LocDestroyFindContext failed, returned FALSE."}},
    {.name = "address overfull batch", .control = "LocGetLocations = 80", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = error_reply("1401.000000"),
     .log = {"LocGetLocations failed, returned 80."}},
    // An engine that did not open answers every request with an error.
    // Status 0 is the engine's "no error", whatever it returned itself.
    {.name = "rate database status 0", .control = "VstOpenDb(1) = 0", .replies = {kStdStatus, kStdResult},
     .log = {"VstOpenDb(eVstDbTypeRate) passed."}},
    {.name = "rate database refused", .control = "VstOpenDb(1) = 4", .replies = kNotOpen,
     .log = {"VstOpenDb(eVstDbTypeRate) failed, returned eVstDbRetCdInvalidPassword.", "VstCreateHdl passed."}},
    {.name = "location connection refused", .control = "LocCreateConnHdl = null", .kind = "addr",
     .fields = {{"city", "Millbrook"}}, .replies = kNotOpen,
     .log = {"LocCreateConnHdl failed, returned NULL.", "LocOpenDb skipped, no connection.",
             "VstCreateConnHdl passed."}},
    {.name = "location database refused", .control = "LocOpenDb = 106", .kind = "",
     .log = {"LocOpenDb() failed, returned eLocDbRetIndexReIndexFailed.", "LocCloseDb skipped, no connection.",
             "LocReleaseConnHdl skipped, no connection."}},
    {.name = "taxability database refused", .control = "VstOpenDb(3) = 2", .kind = "",
     .log = {"VstOpenDb(eVstDbTypeTDM) failed, returned eVstDbRetCdInvalidDataSourcei.",
             "VstCloseDb(eVstDbTypeRate) skipped, no connection.", "VstCloseDb(eVstDbTypeLocation) skipped, no connection.",
             "VstCloseDb(eVstDbTypeTDM) skipped, no connection.", "VstCloseDb(eVstDbTypeRegister) skipped, no connection.",
             "VstReleaseConnHdl skipped, no connection."}},
    {.name = "tax connection refused", .control = "VstCreateConnHdl = null", .kind = "",
     .log = {"VstCreateConnHdl failed, returned NULL.", "VstCreateHdl passed."}},
    {.name = "handle refused", .control = "VstCreateHdl = null", .kind = "",
     .log = {"VstCreateHdl failed, returned NULL.", "LocCloseDb passed.", "LocReleaseConnHdl passed.",
             "VstReleaseHdl skipped, no handle.", "VstCloseDb(eVstDbTypeRate) passed."}},
    {.name = "close failures",
     .control = "LocCloseDb = 55\nLocReleaseConnHdl = 0\nVstReleaseHdl = 5\nVstCloseDb(0) = 6\nVstCloseDb(2) = 42\n"
                "VstReleaseConnHdl = 0",
     .kind = "",
     .log = {"LocCloseDb failed, returned unknown status 55.", "LocReleaseConnHdl failed, returned FALSE.",
             "VstReleaseHdl failed, returned FALSE.", "VstCloseDb(eVstDbTypeRate) passed.",
             "VstCloseDb(eVstDbTypeLocation) failed, returned eVstDbRetCdMem.", "VstCloseDb(eVstDbTypeTDM) passed.",
             "VstCloseDb(eVstDbTypeRegister) failed, returned ", "VstReleaseConnHdl failed, returned FALSE."}},
    // Start-up failures.
    {.name = "no tax library", .kind = "", .replies = kStartFailed,
     .log = {"Loading vst.DLL.", "Loading vst.DLL failed: ..."}, .setup = "shlib=none"},
    {.name = "no location library", .kind = "", .replies = kStartFailed,
     .log = {"Loading loc shared library.", "Loading location.DLL failed: ..."}, .setup = "shlib=vst"},
    {.name = "tax entry point missing", .kind = "", .replies = kStartFailed,
     .log = {"Loading vst.DLL succeeded.", "Missing function 'VstCalcTax' in DLL"}, .setup = "shlib=no_VstCalcTax"},
    {.name = "location entry point missing", .kind = "", .replies = kStartFailed,
     .log = {"Loading location.DLL succeeded.", "Missing function 'LocGetName' in DLL"},
     .setup = "shlib=no_LocGetName"},
    {.name = "no geo source", .kind = "", .replies = kStartFailed,
     .log = {"VERTEXGEO - <(not set)>", "VERTEXGEO or VERTEXUSER not set."}, .setup = "unset=VERTEXUSER"},
    {.name = "no rate source", .kind = "", .replies = kStartFailed,
     .log = {"VERTEXGEO - <>", "VERTEXRATE - <(not set)>", "VERTEXRATE or VERTEXUSER not set."},
     .setup = "unset=VERTEXUSER env=VERTEXGEO="},
    {.name = "no register source", .kind = "", .replies = kStartFailed,
     .log = {"VERTEXRATE - <rate.dat>", "VERTEXREG - <(not set)>", "VERTEXREG or VERTEXUSER not set."},
     .setup = "unset=VERTEXUSER unset=VERTEXREG env=VERTEXGEO=location.dat env=VERTEXRATE=rate.dat"},
    // Diagnostic mode: open the engine and close it, the bare messages on standard error.
    {.name = "diagnostic mode", .kind = "", .log = joined(kOpenLog, kCloseLog), .setup = "-dv"},
    {.name = "diagnostic mode failing", .kind = "", .log = {"Missing function 'VstCalcTax' in DLL"},
     .setup = "-dv shlib=no_VstCalcTax", .exit = 1},
};

Fields merged(Fields out, const Fields& changes) {
  for (const auto& change : changes) {
    auto it = std::find_if(out.begin(), out.end(), [&](const auto& f) { return f.first == change.first; });
    if (it != out.end()) *it = change; else out.push_back(change);
  }
  return out;
}

std::string body_of(const std::string& kind, const Fields& fields) {
  std::string body, err;
  EXPECT_TRUE(erp::build_vertex_body(kind, fields, &body, &err)) << err;
  return body;
}

// True when `want` appears in `have` in this order (other messages may come
// between); a wanted message ending in "..." matches any that starts so.
bool in_order(const Lines& have, const Lines& want) {
  auto at = have.begin();
  for (const std::string& w : want) {
    const bool prefix = w.size() > 3 && w.compare(w.size() - 3, 3, "...") == 0;
    const std::string text = prefix ? w.substr(0, w.size() - 3) : w;
    at = std::find_if(at, have.end(), [&](const std::string& h) { return prefix ? h.rfind(text, 0) == 0 : h == text; });
    if (at == have.end()) return false;
    ++at;
  }
  return true;
}

// A taxapi process for Vertex in a temporary directory of its own: its logs,
// register and the engine's handle dumps (tarn.out, in the working
// directory) land there.
class VertexProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    cwd_ = fs::current_path();
    fs::current_path(dir_.path());
    test_util::write_file(dir_.at("control"), "\n");
  }
  void TearDown() override { fs::current_path(cwd_); }

  erp::PeerOptions options(const std::string& setup = "") {
    erp::PeerOptions o;
    o.taxapi = TAXAPI_BIN;
    o.dir = dir_.path() + "/queues";
    o.stype = 2;
    o.timeout_ms = 15000;
    o.unset = {"QSE", "QSE_BIN", "LD_LIBRARY_PATH", "APILOG", "VERTEXTDM", "VERTEXGEO", "VERTEXRATE"};
    o.env = {"QSE_SHLIB=" SHLIB_DIR, "HOME=" + dir_.path(), "VERTEXSERVER=" VTX_DATA_DIR,
             "VERTEXUSER=e2e", "VERTEXPWD=secret", "VERTEXREG=" + dir_.at("register.dat"),
             "VERTEXDEBUG=1", "VST_STANDIN_CONTROL=" + dir_.at("control")};
    std::istringstream words(setup);
    for (std::string word; words >> word;) {
      const std::string value = word.substr(word.find('=') + 1);
      if (word == "-dv") o.args = std::vector<std::string>{"-dv"};
      if (word.rfind("unset=", 0) == 0) set_env(&o, value, nullptr);
      if (word.rfind("env=", 0) == 0) set_env(&o, value.substr(0, value.find('=')), value.substr(value.find('=') + 1).c_str());
      if (word.rfind("shlib=", 0) == 0) set_env(&o, "QSE_SHLIB", shlib_dir(value).c_str());
    }
    return o;
  }

  // Sets (or, with a null value, removes) one variable of the process.
  static void set_env(erp::PeerOptions* o, const std::string& name, const char* value) {
    std::erase_if(o->env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
    if (value != nullptr) {
      o->env.push_back(name + "=" + value);
    } else {
      o->unset.push_back(name);
    }
  }

  // No engine library, the tax library only, or the build's copy of the
  // libraries that lacks one entry point.
  std::string shlib_dir(const std::string& what) {
    if (what.rfind("no_", 0) == 0) return BUILD_DIR "/vertex_variants/" + what;
    const std::string dir = dir_.mkdir("shlib");
    if (what == "vst") fs::create_symlink(SHLIB_DIR "/libvst.so", dir + "/libvst.so");
    return dir;
  }

  Lines log() const { return test_util::log_messages(test_util::slurp(dir_.at("vertex.log"))); }

  test_util::TempDir dir_{"vtx_e2e_"};
  fs::path cwd_;
};

class VertexE2E : public VertexProcess, public ::testing::WithParamInterface<Row> {
 protected:
  Lines register_lines() const {
    Lines out;
    for (const std::string& line : test_util::lines_of(test_util::slurp(dir_.at("register.dat")))) {
      out.push_back(std::regex_replace(line, std::regex("^INVOICE\\|[^|]*\\|"), "INVOICE|"));
    }
    return out;
  }
};

TEST_P(VertexE2E, Replies) {
  const Row& row = GetParam();
  test_util::write_file(dir_.at("control"), std::string(row.control) + "\n");
  const std::string kind = row.kind;
  erp::ErpPeer peer(options(row.setup));
  Lines replies;
  if (std::string(row.setup).rfind("-dv", 0) == 0) {
    test_util::FdCapture out(1, dir_.at("stdout")), err(2, dir_.at("stderr"));
    ASSERT_TRUE(peer.spawn());
    EXPECT_EQ(peer.wait_exit(15000), row.exit);
    EXPECT_TRUE(in_order(test_util::lines_of(err.text()), row.log)) << err.text();
  } else if (std::string first; !peer.start(&first)) {
    replies.push_back(first);
    EXPECT_EQ(peer.wait_exit(15000), row.exit);
  } else if (kind.empty()) {
    EXPECT_EQ(peer.terminate(), row.exit);
  } else {
    const Fields fields = kind == "addr" ? row.fields : merged(kTaxLine, row.fields);
    const erp::Exchange ex = peer.request(kind == "addr" ? 2 : 1, 2, body_of(kind, fields));
    ASSERT_FALSE(ex.replies.empty()) << ex.problem;
    EXPECT_EQ(ex.replies[0], kAck);
    replies.assign(ex.replies.begin() + 1, ex.replies.end());
  }
  EXPECT_EQ(replies, row.replies);
  EXPECT_TRUE(in_order(log(), row.log)) << testing::PrintToString(log());
  const std::string dumps = test_util::slurp(dir_.at("tarn.out"));
  const Lines dump = test_util::lines_of(dumps);
  for (const std::string& line : row.dump) {
    EXPECT_NE(std::find(dump.begin(), dump.end(), line), dump.end()) << line << " not in\n" << dumps;
  }
  EXPECT_EQ(register_lines(), row.reg);
  if (!peer.running()) return;
  // Every path leaves the engine ready for the next request (unless it never opened).
  test_util::write_file(dir_.at("control"), "\n");
  const erp::Exchange again = peer.request(1, 2, body_of("tax", kTaxLine));
  EXPECT_EQ(again.results, row.replies == kNotOpen ? Lines{} : Lines{kStdResult}) << again.problem;
  EXPECT_EQ(peer.terminate(), row.exit);
}

INSTANTIATE_TEST_SUITE_P(Vertex, VertexE2E, ::testing::ValuesIn(kRows), test_util::RowName());

// The engine's dump goes to "tarn.out" in the working directory, which other
// users may write to: whatever they plant there is never written through.
// The requests are served; the dumps are skipped with one note.
TEST_F(VertexProcess, TheDumpNeverGoesThroughAPlantedFile) {
  const std::string victim = dir_.at("victim");
  const struct {
    const char* planted;
    void (*plant)(const std::string& victim, const std::string& at);
  } rows[] = {
      {"a symbolic link", [](const std::string& v, const std::string& at) { fs::create_symlink(v, at); }},
      {"a hard link", [](const std::string& v, const std::string& at) { fs::create_hard_link(v, at); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.planted);
    test_util::write_file(victim, "mine\n");
    fs::remove(dir_.at("tarn.out"));
    row.plant(victim, dir_.at("tarn.out"));
    test_util::FdCapture err(2, dir_.at("stderr"));
    {
      erp::ErpPeer peer(options());
      ASSERT_TRUE(peer.start());
      for (int i = 0; i < 2; ++i) EXPECT_EQ(peer.request(1, 2, body_of("tax", kTaxLine)).results, Lines{kStdResult});
      EXPECT_EQ(peer.terminate(), 0);
    }
    EXPECT_EQ(test_util::slurp(victim), "mine\n");
    const std::string note = "taxapi: the engine's dumps to tarn.out are skipped: ";
    const std::string said = err.text();
    EXPECT_NE(said.find(note), std::string::npos) << said;
    EXPECT_EQ(said.find(note), said.rfind(note)) << "one note";
  }
}

// The whole log of a standard request, and one message's frame.
TEST_F(VertexProcess, LogFromOpenToClose) {
  {
    erp::ErpPeer peer(options());
    ASSERT_TRUE(peer.start());
    EXPECT_EQ(peer.request(1, 2, body_of("tax", kTaxLine)).results, Lines{kStdResult});
    EXPECT_EQ(peer.terminate(), 0);
  }
  const Lines all = joined(joined(kOpenLog, kTaxLog), kCloseLog);
  EXPECT_EQ(log().size(), all.size());
  EXPECT_TRUE(in_order(log(), all)) << testing::PrintToString(log());
  const Lines lines = test_util::lines_of(test_util::slurp(dir_.at("vertex.log")));
  ASSERT_GE(lines.size(), 6u);
  const std::string stamp = R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\][^:]*)";
  const std::string frame[6] = {stamp + ":", stamp + R"(: Vertex Log Start \*{29})", stamp + R"(: Pid \d+ Uid \d+)",
                                stamp + R"(: Log mesg: Loading vst\.DLL\.)", stamp + R"(: File: lib/tax/vertex:\d+)",
                                stamp + R"(: Vertex Log End   \*{29})"};
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(std::regex_match(lines[i], std::regex(frame[i]))) << lines[i];
}

}  // namespace

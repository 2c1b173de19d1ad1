#include "avp_request.h"

#include <cstdio>

#include "request_fields.h"

namespace erp {

namespace {

// Fields 6 to 37 of both tax layouts. Each group of four fills one address
// block of the jurisdiction record in the order slot 2, 1, 3, 4.
const NamedField kTaxCommon[] = {
    {6, "addr2_slot2", "address block 2, slot 2 (26)"},   {7, "addr2_slot1", "address block 2, slot 1 (5)"},
    {8, "addr2_slot3", "address block 2, slot 3 (5)"},    {9, "addr2_slot4", "address block 2, slot 4 (9)"},
    {10, "addr1_slot2", "address block 1, slot 2 (26)"},  {11, "addr1_slot1", "address block 1, slot 1 (5)"},
    {12, "addr1_slot3", "address block 1, slot 3 (5)"},   {13, "addr1_slot4", "address block 1, slot 4 (9)"},
    {14, "addr4_slot2", "address block 4, slot 2 (26)"},  {15, "addr4_slot1", "address block 4, slot 1 (5)"},
    {16, "addr4_slot3", "address block 4, slot 3 (5)"},   {17, "addr4_slot4", "address block 4, slot 4 (9)"},
    {18, "addr3_slot2", "address block 3, slot 2 (26)"},  {19, "addr3_slot1", "address block 3, slot 1 (5)"},
    {20, "addr3_slot3", "address block 3, slot 3 (5)"},   {21, "addr3_slot4", "address block 3, slot 4 (9)"},
    {22, "jur225", "character at jurisdiction byte 225"}, {23, "jur226", "character at jurisdiction byte 226"},
    {24, "tax144", "double at tax byte 144"},             {25, "tax168", "double at tax byte 168"},
    {26, "tax240", "double at tax byte 240"},             {27, "tax260", "integer at tax byte 260"},
    {28, "tax264", "integer at tax byte 264"},            {29, "tax268", "text at tax byte 268 (28)"},
    {30, "tax526", "text at tax byte 526 (66)"},          {31, "tax803", "text at tax byte 803 (50)"},
    {32, "tax592", "text at tax byte 592 (20)"},          {33, "tax516", "text at tax byte 516 (10)"},
    {34, "tax904", "integer at tax byte 904"},            {35, "tax783", "text at tax byte 783 (20)"},
    {36, "tax352", "integer at tax byte 352"},            {37, "tax853", "text at tax byte 853 (51)"},
};

const NamedField kTaxStd[] = {
    {38, "level1_dbl", "level 1 amount (double)"}, {39, "level2_dbl", "level 2 amount (double)"},
    {40, "level3_dbl", "level 3 amount (double)"}, {41, "level4_dbl", "level 4 amount (double)"},
    {42, "level5_dbl", "level 5 amount (double)"}, {43, "level1_flt", "level 1 value (float)"},
    {44, "level2_flt", "level 2 value (float)"},   {45, "level3_flt", "level 3 value (float)"},
    {46, "level4_flt", "level 4 value (float)"},   {47, "level5_flt", "level 5 value (float)"},
};

// The enhanced levels travel in the order 0, 1, 2, 3, 7, 6, 4, 5.
const NamedField kTaxEnh[] = {
    {38, "level0_dbl", "level 0 amount (double)"},   {39, "level1_dbl", "level 1 amount (double)"},
    {40, "level2_dbl", "level 2 amount (double)"},   {41, "level3_dbl", "level 3 amount (double)"},
    {42, "level7_dbl", "level 7 amount (double)"},   {43, "level6_dbl", "level 6 amount (double)"},
    {44, "level4_dbl", "level 4 amount (double)"},   {45, "level5_dbl", "level 5 amount (double)"},
    {46, "level0_flt", "level 0 value (float)"},     {47, "level1_flt", "level 1 value (float)"},
    {48, "level2_flt", "level 2 value (float)"},     {49, "level3_flt", "level 3 value (float)"},
    {50, "level7_flt", "level 7 value (float)"},     {51, "level6_flt", "level 6 value (float)"},
    {52, "level4_flt", "level 4 value (float)"},     {53, "level5_flt", "level 5 value (float)"},
    {54, "tax1138", "character at tax byte 1138"},   {55, "tax653", "text at tax byte 653 (2), copied thrice"},
    {56, "tax661", "text at tax byte 661 (25), copied thrice"},
    {57, "tax305", "character at tax bytes 305 and 307 to 312"},
};

const NamedField kAddr[] = {
    {6, "city", "city name (29)"},
    {7, "state", "state code (2)"},
    {8, "zip", "ZIP code (9)"},
};

// Body values of the result messages, after the five header fields.
const char* const kTaxResult[] = {"level1_dbl", "level2_dbl", "level3_dbl", "level4_dbl", "level5_dbl",
                                  "level1_flt", "level2_flt", "level3_flt", "level4_flt", "level5_flt",
                                  "jur236",     "tax686"};
const char* const kTaxEnhResult[] = {"level0_dbl", "level1_dbl", "level2_dbl", "level3_dbl", "level7_dbl",
                                     "level6_dbl", "level4_dbl", "level5_dbl", "level0_flt", "level1_flt",
                                     "level2_flt", "level3_flt", "level7_flt", "level6_flt", "level4_flt",
                                     "level5_flt", "jur236",     "tax686"};
const char* const kAddrResult[] = {"city", "state", "zip", "geo", "county_code", "county_name", "indicator"};

const RequestTables kTables = {field_table(kTaxCommon), field_table(kTaxStd), field_table(kTaxEnh),
                                field_table(kAddr)};
const KindResults kResults = {result_names(kTaxResult), result_names(kTaxEnhResult), result_names(kAddrResult)};

}  // namespace

bool build_avp_body(std::string_view kind, const std::vector<std::pair<std::string, std::string>>& fields,
                    std::string* body, std::string* err) {
  return build_named_body(kTables, "Taxware", kind, fields, body, err);
}

NamedReply name_avp_reply(std::string_view kind, std::string_view reply) {
  const char* completion = kind == "addr" ? "ZipCmplCd" : "GenCmplCd";
  return name_reply(reply, ReplyNames{completion, "record", results_of(kind, kResults), "f"});
}

std::string describe_avp_reply(std::string_view kind, std::string_view reply) {
  return reply_lines(name_avp_reply(kind, reply));
}

bool avp_kind_fields(std::string_view kind, KindFields* out) { return kind_fields(kind, kTables, out); }

std::string avp_request_help() {
  std::string out =
      "Taxware requests: avp tax|tax-enh|addr NAME=VALUE...\n"
      "Fields not named are sent empty. Every field also answers to fN, its number.\n";
  auto list = [&out](const char* title, const auto& table) {
    out += title;
    for (const NamedField& f : table) {
      char text[160];
      std::snprintf(text, sizeof text, "  %-12s f%-3d %s\n", f.name, f.number, f.what);
      out += text;
    }
  };
  list("\ntax and tax-enh, fields 6 to 37:\n", kTaxCommon);
  list("\ntax, fields 38 to 47:\n", kTaxStd);
  list("\ntax-enh, fields 38 to 57:\n", kTaxEnh);
  list("\naddr, fields 6 to 8:\n", kAddr);
  out += "\nReplies: tax results name the level results (levelK_dbl, levelK_flt), jur236 and tax686;\n"
         "address results name city, state, zip, geo, county_code, county_name and indicator.\n";
  return out;
}

}  // namespace erp

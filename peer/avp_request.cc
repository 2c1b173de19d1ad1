#include "avp_request.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>

namespace erp {

namespace {

struct NamedField {
  int number;
  const char* name;
  const char* what;
};

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

// Header plus body must stay below the process's 1024-byte text.
constexpr std::size_t kMaxBody = 1023 - std::string_view("9~1~1~1~1~").size();

struct KindFields {
  std::vector<const NamedField*> fields;
  int last = 0;
};

bool kind_fields(std::string_view kind, KindFields* out) {
  auto add = [out](const auto& table) {
    for (const NamedField& f : table) out->fields.push_back(&f);
  };
  if (kind == "tax") {
    add(kTaxCommon);
    add(kTaxStd);
    out->last = 47;
  } else if (kind == "tax-enh") {
    add(kTaxCommon);
    add(kTaxEnh);
    out->last = 57;
  } else if (kind == "addr") {
    add(kAddr);
    out->last = 8;
  } else {
    return false;
  }
  return true;
}

// The field number `name` stands for in `k`, or 0.
int field_number(const KindFields& k, const std::string& name) {
  for (const NamedField* f : k.fields) {
    if (name == f->name) return f->number;
  }
  if (name.size() >= 2 && name[0] == 'f' && name.find_first_not_of("0123456789", 1) == std::string::npos &&
      name.size() <= 3) {
    const int n = std::stoi(name.substr(1));
    if (n >= 6 && n <= k.last) return n;
  }
  return 0;
}

std::vector<std::string> split(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('~', start);
    if (end == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      break;
    }
    fields.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

std::string error_meaning(std::string_view kind, double code) {
  static const std::map<int, const char*> kSmall = {
      {0, "unknown or unexpected message, or wrong provider"},
      {1, "engine could not be opened"},
      {2, "engine environment variables not set"},
      {3, "wrong sub-provider, or engine environment variables not set"},
      {4, "engine could not be opened"},
      {5, "process not set up for tax"},
      {8, "data message outside an action sequence"},
      {13, "queues could not be opened"},
      {14, "missing arguments or wrong provider type"},
      {15, "malformed action sequence"},
  };
  if (code < 1000) {
    const auto it = kSmall.find(static_cast<int>(code));
    return it != kSmall.end() && code == it->first ? it->second : "unknown code";
  }
  char text[160];
  if (kind == "addr") {
    std::snprintf(text, sizeof text, "address lookup failed, ZipCmplCd %ld", std::lround(code - 1100));
  } else if (code >= 1399 && code < 1400) {
    const long digits = std::lround((code - 1399) * 10000);
    std::string failed;
    const char* names[] = {"POO", "POA", "ship-from", "ship-to"};
    long scale = 1000;
    for (const char* n : names) {
      if ((digits / scale) % 10 != 0) failed += failed.empty() ? n : std::string(", ") + n;
      scale /= 10;
    }
    std::snprintf(text, sizeof text, "jurisdiction check failed, JurCmplCd 99 (failed: %s)",
                  failed.empty() ? "none above 1" : failed.c_str());
  } else if (code >= 1300 && code < 1399) {
    std::snprintf(text, sizeof text, "jurisdiction check failed, JurCmplCd %ld", std::lround(code - 1300));
  } else {
    std::snprintf(text, sizeof text, "tax calculation failed, GenCmplCd %ld", std::lround(code - 1200));
  }
  return text;
}

}  // namespace

bool build_avp_body(std::string_view kind, const std::vector<std::pair<std::string, std::string>>& fields,
                    std::string* body, std::string* err) {
  KindFields k;
  if (!kind_fields(kind, &k)) {
    *err = "unknown Taxware request kind '" + std::string(kind) + "' (tax, tax-enh or addr)";
    return false;
  }
  std::vector<std::string> values(static_cast<std::size_t>(k.last + 1));
  std::vector<bool> given(values.size(), false);
  for (const auto& [name, value] : fields) {
    const int n = field_number(k, name);
    if (n == 0) {
      *err = "unknown field '" + name + "' for Taxware " + std::string(kind) + " requests";
      return false;
    }
    if (given[static_cast<std::size_t>(n)]) {
      *err = "field '" + name + "' (field " + std::to_string(n) + ") given twice";
      return false;
    }
    if (value.find('~') != std::string::npos) {
      *err = "the value of '" + name + "' holds the delimiter '~'";
      return false;
    }
    given[static_cast<std::size_t>(n)] = true;
    values[static_cast<std::size_t>(n)] = value;
  }
  std::string out;
  for (int n = 6; n <= k.last; ++n) out += values[static_cast<std::size_t>(n)] + "~";
  if (out.size() > kMaxBody) {
    *err = "request of " + std::to_string(out.size()) + " characters does not fit one message (at most " +
           std::to_string(kMaxBody) + ")";
    return false;
  }
  *body = out;
  return true;
}

std::string describe_avp_reply(std::string_view kind, std::string_view reply) {
  const std::vector<std::string> f = split(reply);
  auto at = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
  std::string out;
  auto line = [&out](const std::string& name, const std::string& value) { out += name + ": " + value + "\n"; };

  const std::string type = at(0);
  std::size_t body_names = 0;
  const char* const* names = nullptr;
  if (type == "5") {
    line("message", "error");
    line("ptype", at(2));
    line("stype", at(3));
    line("code", at(5));
    line("meaning", error_meaning(kind, std::strtod(at(5).c_str(), nullptr)));
    return out;
  }
  if (type == "10") {
    line("message", "ack");
    line("ptype", at(2));
    line("stype", at(3));
    return out;
  }
  if (type == "6") {
    line("message", "status");
    line("action", at(1));
    line("ptype", at(2));
    line("stype", at(3));
    line("results", at(4));
    line(kind == "addr" ? "ZipCmplCd" : "GenCmplCd", at(5));
    return out;
  }
  if (type == "7") {
    line("message", "result");
    line("action", at(1));
    line("ptype", at(2));
    line("stype", at(3));
    line("record", at(4));
    if (kind == "addr") {
      names = kAddrResult;
      body_names = std::size(kAddrResult);
    } else if (kind == "tax-enh") {
      names = kTaxEnhResult;
      body_names = std::size(kTaxEnhResult);
    } else {
      names = kTaxResult;
      body_names = std::size(kTaxResult);
    }
  } else {
    line("message", "type " + type);
    for (std::size_t i = 1; i < std::min<std::size_t>(f.size(), 5); ++i) line("f" + std::to_string(i + 1), f[i]);
  }
  for (std::size_t i = 5; i < f.size(); ++i) {
    const std::size_t b = i - 5;
    line(b < body_names ? names[b] : "f" + std::to_string(i + 1), f[i]);
  }
  return out;
}

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

#include "error_codes.h"

#include <map>
#include <optional>
#include <utility>

#include "avp_zip_text.h"

namespace erp {

namespace {

constexpr const char* kUnknown = kUnknownCode;

using Texts = std::map<long, const char*>;

// The codes of the process itself.
const Texts kProcessCodes = {
    {0, "unknown or unexpected message, or wrong provider"},
    {1, "engine could not be opened, or an action for an engine that is not open"},
    {2, "engine environment variables not set"},
    {3, "wrong sub-provider, or engine environment variables not set"},
    {4, "engine could not be opened"},
    {5, "process not set up for tax"},
    {8, "data message outside an action sequence"},
    {13, "queues could not be opened"},
    {14, "missing arguments or wrong provider type"},
    {15, "malformed action sequence"},
};


// GenCmplCd values that end a calculation without a result.
const Texts kGeneralCodes = {
    {1, "the function field is not blank"}, {21, "an amount, exemption or rate of the request is out of range"},
    {90, "the engine is not open"},         {91, "the audit journal could not be written"},
    {95, "the jurisdiction check failed"},
};

const Texts kJurisdictionCodes = {
    {1, "the point of title is not valid"},
    {2, "the goods or services indicator is not valid"},
    {9, "invalid tax selection parameter"},
};

// Vertex determination results: which step of the calculation failed.
const Texts kVertexResults = {
    {20, "an engine call answered FALSE"}, {21, "invoice check failed"},
    {23, "write register check failed"},   {24, "user area check failed"},
    {25, "product check failed"},          {26, "calculation failed"},
    {27, "company code check failed"},     {28, "state level read failed"},
    {29, "city level read failed"},        {30, "county level read failed"},
    {31, "district level read failed"},    {32, "additional county read failed"},
    {33, "additional city read failed"},   {34, "additional district read failed"},
    {35, "customer check failed"},         {36, "handle reset failed"},
};

const char* text_of(const Texts& texts, long code, const char* otherwise) {
  const auto it = texts.find(code);
  return it != texts.end() ? it->second : otherwise;
}

std::string with_text(std::string head, long code, const char* text) {
  head += ' ';
  head += std::to_string(code);
  return text != nullptr ? head + ": " + text : head;
}

std::string with_text(std::string head, long code, const Texts& texts) {
  return with_text(std::move(head), code, text_of(texts, code, nullptr));
}

// A code as its whole part and its four decimals ("1399.1001" -> 1399, "1001").
struct Code {
  long whole = 0;
  std::string decimals;
};

std::optional<Code> parse_code(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  std::string_view decimals = point == std::string_view::npos ? "" : text.substr(point + 1);
  auto all_digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
  if (whole.empty() || whole.size() > 6 || !all_digits(whole) || !all_digits(decimals)) return std::nullopt;
  while (!decimals.empty() && decimals.back() == '0') decimals.remove_suffix(1);
  if (decimals.size() > 4) return std::nullopt;
  return Code{std::stol(std::string(whole)), std::string(decimals) + std::string(4 - decimals.size(), '0')};
}

// The names whose decimal is 1; nullopt when a decimal is neither 0 nor 1.
std::optional<std::string> flagged(const std::string& decimals, const char* const (&names)[4]) {
  std::string out;
  for (std::size_t i = 0; i < 4; ++i) {
    if (decimals[i] > '1') return std::nullopt;
    if (decimals[i] == '1' && names[i] != nullptr) out += (out.empty() ? "" : ", ") + std::string(names[i]);
    if (decimals[i] == '1' && names[i] == nullptr) return std::nullopt;
  }
  return out;
}

std::string taxware_jurisdictions(const std::string& decimals) {
  static const char* const kNames[4] = {"POO", "POA", "ship-from", "ship-to"};
  const std::optional<std::string> failed = flagged(decimals, kNames);
  if (!failed) return kUnknown;
  return "Taxware jurisdiction check failed, JurCmplCd 99 (failed: " + (failed->empty() ? "none above 1" : *failed) +
         ")";
}

std::string vertex_jurisdictions(const std::string& decimals) {
  static const char* const kNames[4] = {nullptr, "order acceptance", "ship-from", "ship-to"};
  const std::optional<std::string> where = flagged(decimals, kNames);
  if (!where || where->empty()) return kUnknown;
  const long result = std::stol(decimals);
  return "Vertex jurisdiction stop, result " + std::to_string(result) +
         " (taxing jurisdiction: " + (result == 111 ? "other" : *where) + "): a tax level reported status 22";
}

std::string explain_whole(long code) {
  if (code < 1000) return text_of(kProcessCodes, code, kUnknown);
  if (code < 1100) return kUnknown;
  if (code < 1200) return with_text("Taxware address lookup failed, ZipCmplCd", code - 1100, avp_zip_code_text(code - 1100));
  if (code == 1299) return "Taxware tax result does not fit one message";
  if (code < 1300) return with_text("Taxware tax calculation failed, GenCmplCd", code - 1200, kGeneralCodes);
  if (code < 1399) return with_text("Taxware jurisdiction check failed, JurCmplCd", code - 1300, kJurisdictionCodes);
  if (code == 1401) return "Vertex address lookup failed: the engine failed";
  if (code == 1402) return "Vertex address lookup failed: criteria refused or nothing matched";
  if (code < 1500) return kUnknown;
  if (code == 1599) return "Vertex tax result does not fit one message";
  if (code < 1600) {
    return "Vertex tax determination failed, result " + std::to_string(code - 1500) + " (" +
           text_of(kVertexResults, code - 1500, "unknown result") + ")";
  }
  return kUnknown;
}

}  // namespace

std::string explain_error_code(std::string_view code) {
  const std::optional<Code> c = parse_code(code);
  if (!c) return kUnknown;
  if (c->whole == 1399) return taxware_jurisdictions(c->decimals);
  if (c->whole == 1600) return vertex_jurisdictions(c->decimals);
  return c->decimals == "0000" ? explain_whole(c->whole) : kUnknown;
}

}  // namespace erp

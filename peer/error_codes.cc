#include "error_codes.h"

#include <map>
#include <optional>
#include <utility>

#include "api_protocol.h"
#include "avp_zip_text.h"
#include "vertex_tax.h"

namespace erp {

namespace {

constexpr const char* kUnknown = kUnknownCode;

using Texts = std::map<long, const char*>;

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
  // cppcheck-suppress unusedStructMember ; read through the optional (c->decimals)
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
  return std::string(api_error_info(API_ERR_AVP_JUR99)->meaning) + " (failed: " +
         (failed->empty() ? "none above 1" : *failed) + ")";
}

std::string vertex_jurisdictions(const std::string& decimals) {
  static const char* const kNames[4] = {nullptr, "order acceptance", "ship-from", "ship-to"};
  const std::optional<std::string> where = flagged(decimals, kNames);
  if (!where || where->empty()) return kUnknown;
  const long result = std::stol(decimals);
  return std::string(api_error_info(API_ERR_VTX_JUR)->meaning) + ", result " + std::to_string(result) +
         " (taxing jurisdiction: " + (result == 111 ? "other" : *where) + "): a tax level reported status 22";
}

std::string explain_whole(long code) {
  const ApiErrorInfo* info = api_error_info(code);
  if (info == nullptr) return kUnknown;
  const long sub = code - info->code;  // the engine's code or the determination's result
  switch (info->code) {
    case API_ERR_AVP_ADDR: return with_text(info->meaning, sub, avp_zip_code_text(sub));
    case API_ERR_AVP_TAX: return with_text(info->meaning, sub, kGeneralCodes);
    case API_ERR_AVP_JUR: return with_text(info->meaning, sub, kJurisdictionCodes);
    case API_ERR_VTX_TAX: {
      const char* text = vertex_result_text(static_cast<int>(sub));
      return std::string(info->meaning) + " " + std::to_string(sub) + " (" +
             (text != nullptr ? text : "unknown result") + ")";
    }
    default: return info->meaning;
  }
}

}  // namespace

std::string explain_error_code(std::string_view code) {
  const std::optional<Code> c = parse_code(code);
  if (!c) return kUnknown;
  if (c->whole == API_ERR_AVP_JUR99) return taxware_jurisdictions(c->decimals);
  if (c->whole == API_ERR_VTX_JUR) return vertex_jurisdictions(c->decimals);
  return c->decimals == "0000" ? explain_whole(c->whole) : kUnknown;
}

}  // namespace erp

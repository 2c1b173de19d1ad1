#include "exchange_report.h"

#include "erp_peer.h"
#include "json_writer.h"
#include "quoted_words.h"

namespace erp {

namespace {

std::string where(const ExchangeReport& r) {
  return r.line > 0 ? "line " + std::to_string(r.line) + ": " + r.request : r.request;
}

std::string shown(const std::optional<std::string>& value) { return value ? quote_word(*value) : "(none)"; }

void optional_member(JsonWriter& json, const char* name, const std::optional<std::string>& value) {
  json.key(name);
  if (value) {
    json.value(*value);
  } else {
    json.null_value();
  }
}

}  // namespace

void settle(ExchangeReport* r) {
  r->ok = r->problem.empty();
  for (const NamedReply& reply : r->replies) {
    if (message_type(reply.text) == API_MSG_ERROR) r->ok = false;
  }
}

std::string exchange_text(const ExchangeReport& r) {
  std::string out = "== " + where(r) + "\n";
  for (const NamedReply& reply : r.replies) out += "<- " + reply.text + "\n" + reply_lines(reply);
  if (!r.problem.empty()) out += "problem: " + r.problem + "\n";
  return out;
}

std::string differences_text(const ExchangeReport& r) {
  std::string out;
  for (const Difference& d : r.differences) {
    out += (r.line > 0 ? "line " + std::to_string(r.line) : r.request) + ": " + d.field + ": expected " +
           shown(d.expected) + ", got " + shown(d.got) + "\n";
  }
  return out;
}

std::string exchange_json(const ExchangeReport& r) {
  JsonWriter json;
  json.begin_object();
  if (r.line > 0) json.key("line").value(r.line);
  json.key("request").value(r.request).key("replies").begin_array();
  for (const NamedReply& reply : r.replies) {
    json.begin_object().key("text").value(reply.text).key("values").begin_object();
    for (const NamedValue& v : reply.values) json.key(v.name).value(v.value);
    json.end_object().member_if("meaning", reply.meaning).end_object();
  }
  json.end_array().key("ok").value(r.ok).member_if("problem", r.problem);
  if (!r.differences.empty()) {
    json.key("differences").begin_array();
    for (const Difference& d : r.differences) {
      json.begin_object().key("field").value(d.field);
      optional_member(json, "expected", d.expected);
      optional_member(json, "got", d.got);
      json.end_object();
    }
    json.end_array();
  }
  return json.end_object().text();
}

}  // namespace erp

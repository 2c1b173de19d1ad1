#include "request_fields.h"

#include <cstdlib>
#include <initializer_list>

#include "erp_peer.h"
#include "error_codes.h"

namespace erp {

namespace {

// Header plus body must fit the longest text the process takes; the data
// message's header ("9~action~ptype~stype~1~") has one-digit fields.
constexpr std::size_t kMaxBody = API_MAX_TEXT - std::string_view("9~1~1~1~1~").size();

void add_table(const FieldTable& table, KindFields* out) {
  for (std::size_t i = 0; i < table.count; ++i) {
    out->fields.push_back(&table.rows[i]);
    if (table.rows[i].number > out->last) out->last = table.rows[i].number;
  }
}

}  // namespace

bool kind_fields(std::string_view kind, const RequestTables& tables, KindFields* out) {
  if (kind == "tax") {
    add_table(tables.tax_common, out);
    add_table(tables.tax_std, out);
  } else if (kind == "tax-enh") {
    add_table(tables.tax_common, out);
    add_table(tables.tax_enh, out);
  } else if (kind == "addr") {
    add_table(tables.addr, out);
  } else {
    return false;
  }
  return true;
}

int field_number(const KindFields& k, const std::string& name) {
  for (const NamedField* f : k.fields) {
    if (name == f->name) return f->number;
  }
  // "f" and one or two digits: no overflow, no sign.
  if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f' &&
      name.find_first_not_of("0123456789", 1) == std::string::npos) {
    const int n = std::atoi(name.c_str() + 1);  // NOLINT(cert-err34-c): one or two digits, checked above
    if (n >= 6 && n <= k.last) return n;
  }
  return 0;
}

bool build_named_body(const RequestTables& tables, std::string_view engine, std::string_view kind,
                      const std::vector<std::pair<std::string, std::string>>& fields, std::string* body,
                      std::string* err) {
  KindFields k;
  if (!kind_fields(kind, tables, &k)) {
    *err = "unknown " + std::string(engine) + " request kind '" + std::string(kind) + "' (tax, tax-enh or addr)";
    return false;
  }
  std::vector<std::string> values(static_cast<std::size_t>(k.last + 1));
  std::vector<bool> given(values.size(), false);
  for (const auto& [name, value] : fields) {
    const int n = field_number(k, name);
    if (n == 0) {
      *err = "unknown field '" + name + "' for " + std::string(engine) + " " + std::string(kind) + " requests";
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

ResultNames results_of(std::string_view kind, const KindResults& results) {
  if (kind == "tax-enh") return results.tax_enh;
  if (kind == "addr") return results.addr;
  return results.tax;
}

namespace {

// The named header fields of an error, ack, status or result reply and its
// body fields; false, with *out untouched, for any other message type.
bool name_known_fields(const std::vector<std::string>& f, const ReplyNames& names, NamedReply* out) {
  auto at = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
  const std::string type = at(0);
  auto is = [&type](int message) { return type == std::to_string(message); };
  auto header = [&](const char* message, std::initializer_list<std::pair<const char*, std::size_t>> fields) {
    out->values.push_back({"message", message});
    for (const auto& [name, index] : fields) out->values.push_back({name, at(index)});
  };
  if (is(API_MSG_ERROR)) {
    header("error", {{"ptype", 2}, {"stype", 3}, {"code", 5}});
    out->meaning = explain_error_code(at(5));
  } else if (is(API_MSG_ACK)) {
    header("ack", {{"ptype", 2}, {"stype", 3}});
  } else if (is(API_MSG_STATUS)) {
    header("status", {{"action", 1}, {"ptype", 2}, {"stype", 3}, {"results", 4}, {names.completion, 5}});
  } else if (is(API_MSG_RESULT)) {
    header("result", {{"action", 1}, {"ptype", 2}, {"stype", 3}, {names.record, 4}});
    for (std::size_t i = 5; i < f.size(); ++i) {
      const std::size_t b = i - 5;
      out->values.push_back({b < names.body.count ? names.body.names[b] : names.spare + std::to_string(i + 1), f[i]});
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace

NamedReply name_reply(std::string_view reply, const ReplyNames& names) {
  NamedReply out;
  out.text = std::string(reply);
  const std::vector<std::string> f = split_fields(reply);
  if (name_known_fields(f, names, &out)) return out;
  std::string type = "type ";
  if (!f.empty()) type += f[0];
  out.values.push_back({"message", type});
  for (std::size_t i = 1; i < f.size(); ++i) {
    out.values.push_back({std::string("f").append(std::to_string(i + 1)), f[i]});
  }
  return out;
}

NamedReply name_plain_reply(std::string_view reply) {
  return name_reply(reply, ReplyNames{"f6", "f5", ResultNames{}, "f"});
}

std::string reply_lines(const NamedReply& reply) {
  std::string out;
  for (const NamedValue& v : reply.values) out += v.name + ": " + v.value + "\n";
  if (!reply.meaning.empty()) out += "meaning: " + reply.meaning + "\n";
  return out;
}

}  // namespace erp

#include "request_fields.h"

#include <cstdlib>
#include <map>

namespace erp {

namespace {

// Header plus body must stay below the process's 1024-byte text; the data
// message's header ("9~action~ptype~stype~1~") has one-digit fields.
constexpr std::size_t kMaxBody = 1023 - std::string_view("9~1~1~1~1~").size();

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
    const int n = std::atoi(name.c_str() + 1);
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

const char* process_error_meaning(double code) {
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
  // Every known code is whole and not negative; the range test also keeps a
  // huge negative code (or NaN) out of the conversion to int.
  if (!(code >= 0 && code < 1000)) return "unknown code";
  const auto it = kSmall.find(static_cast<int>(code));
  return it != kSmall.end() && code == it->first ? it->second : "unknown code";
}

ResultNames results_of(std::string_view kind, const KindResults& results) {
  if (kind == "tax-enh") return results.tax_enh;
  if (kind == "addr") return results.addr;
  return results.tax;
}

void append_line(std::string* out, const std::string& name, const std::string& value) {
  *out += name + ": " + value + "\n";
}

bool describe_known_reply(std::string_view kind, const std::vector<std::string>& f, const ReplyNames& names,
                          std::string* out) {
  auto at = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
  const std::string type = at(0);
  std::string text;
  auto line = [&text](const std::string& name, const std::string& value) { append_line(&text, name, value); };
  if (type == "5") {
    line("message", "error");
    line("ptype", at(2));
    line("stype", at(3));
    line("code", at(5));
    line("meaning", names.error_meaning(kind, std::strtod(at(5).c_str(), nullptr)));
  } else if (type == "10") {
    line("message", "ack");
    line("ptype", at(2));
    line("stype", at(3));
  } else if (type == "6") {
    line("message", "status");
    line("action", at(1));
    line("ptype", at(2));
    line("stype", at(3));
    line("results", at(4));
    line(names.completion, at(5));
  } else if (type == "7") {
    line("message", "result");
    line("action", at(1));
    line("ptype", at(2));
    line("stype", at(3));
    line(names.record, at(4));
    for (std::size_t i = 5; i < f.size(); ++i) {
      const std::size_t b = i - 5;
      line(b < names.body.count ? names.body.names[b] : names.spare + std::to_string(i + 1), f[i]);
    }
  } else {
    return false;
  }
  *out += text;
  return true;
}

}  // namespace erp

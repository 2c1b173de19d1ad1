// request_fields: the named-field machinery both engines' request builders
// share (peer/avp_request.cc, peer/vertex_request.cc).
//
// An engine describes each request kind with static tables of NamedField
// rows; a body is built from (name, value) pairs against them, and a reply is
// named field by field (error codes in words by peer/error_codes.h). The
// engines differ only in their tables and their names for a few reply
// fields, which they pass in.
//
// Ownership: every NamedField, table and name array handed in here has static
// storage; KindFields and ReplyNames only point at them and own nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace erp {

// One field of a request: its number in the data message, the name it
// answers to and a short description for the help text.
struct NamedField {
  int number;
  const char* name;
  const char* what;
};

// A static table of NamedField rows.
struct FieldTable {
  const NamedField* rows = nullptr;
  std::size_t count = 0;
};

template <std::size_t N>
constexpr FieldTable field_table(const NamedField (&rows)[N]) {
  return FieldTable{rows, N};
}

// The tables one engine's three request kinds are made of: "tax" is
// tax_common + tax_std, "tax-enh" tax_common + tax_enh, "addr" addr.
struct RequestTables {
  FieldTable tax_common;
  FieldTable tax_std;
  FieldTable tax_enh;
  FieldTable addr;
};

// The fields of one request kind, and its last field number (its body runs
// from field 6 to `last`).
struct KindFields {
  std::vector<const NamedField*> fields;
  int last = 0;
};

// Fills *out for `kind` ("tax", "tax-enh" or "addr"); false for any other.
bool kind_fields(std::string_view kind, const RequestTables& tables, KindFields* out);

// The field number `name` stands for in `k` (its name, or "fN" with N from 6
// to k.last), or 0.
int field_number(const KindFields& k, const std::string& name);

// Builds the data message's body for `kind` (fields 6 to its last, each
// followed by "~") from (name, value) pairs; fields not named stay empty.
// False with a reason in *err (naming `engine` and `kind`) for an unknown
// kind or name, a name given twice, a value holding "~", or a body too long
// for one message; *body is then untouched.
bool build_named_body(const RequestTables& tables, std::string_view engine, std::string_view kind,
                      const std::vector<std::pair<std::string, std::string>>& fields, std::string* body,
                      std::string* err);

// The names of a result message's body fields, from field 6 (a static array).
struct ResultNames {
  const char* const* names = nullptr;
  std::size_t count = 0;
};

template <std::size_t N>
constexpr ResultNames result_names(const char* const (&names)[N]) {
  return ResultNames{names, N};
}

// One engine's result names for each request kind.
struct KindResults {
  ResultNames tax;
  ResultNames tax_enh;
  ResultNames addr;
};

// The result names of `kind`: those of "tax-enh" or "addr", else of "tax".
ResultNames results_of(std::string_view kind, const KindResults& results);

// How one engine names what differs in its replies to one request kind.
struct ReplyNames {
  const char* completion;  // the status message's completion code (field 6)
  const char* record;      // the result message's field 5
  ResultNames body;        // the result's body fields
  const char* spare;       // prefix of body fields past the names, before their number
};

// One field of a reply with its name.
struct NamedValue {
  std::string name;
  std::string value;
};

// A reply with its fields named and, for an error reply, its code in words.
struct NamedReply {
  std::string text;
  std::vector<NamedValue> values;
  std::string meaning;
};

// Names the fields of `reply` with `names`: an error (5), acknowledgement
// (10), status (6) or result (7) by its layout, any other message type by
// field number ("f2" onwards).
NamedReply name_reply(std::string_view reply, const ReplyNames& names);

// Names a reply without knowing its engine or request: the header fields by
// their layout, the body fields by number ("f6" onwards).
NamedReply name_plain_reply(std::string_view reply);

// One "name: value" line per value, then "meaning: ..." when there is one.
std::string reply_lines(const NamedReply& reply);

}  // namespace erp

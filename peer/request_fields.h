// request_fields: the named-field machinery both engines' request builders
// share (peer/avp_request.cc, peer/vertex_request.cc).
//
// An engine describes each request kind with static tables of NamedField
// rows; a body is built from (name, value) pairs against them, and a reply is
// rendered one "name: value" line per field. The engines differ only in their
// tables, their names for a few reply fields and their error meanings, which
// they pass in.
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

// The meaning of an error code below 1000, the codes the process itself
// sends whatever the engine; "unknown code" for any other.
const char* process_error_meaning(double code);

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
  // The meaning of the error reply's code for this kind.
  std::string (*error_meaning)(std::string_view kind, double code);
};

// Appends the lines of an error (5), acknowledgement (10), status (6) or
// result (7) reply, split into its fields `f`, to *out. False, with *out
// untouched, for any other message type.
bool describe_known_reply(std::string_view kind, const std::vector<std::string>& f, const ReplyNames& names,
                          std::string* out);

// Appends one "name: value" line to *out.
void append_line(std::string* out, const std::string& name, const std::string& value);

}  // namespace erp

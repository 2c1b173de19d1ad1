// vertex_request: Vertex requests built from named fields, and Vertex replies
// rendered with named values, for the ERP side (command line and tests).
//
// Kinds: "tax" (standard calculation, fields 6 to 47), "tax-enh" (enhanced,
// fields 6 to 55) and "addr" (address lookup, fields 6 to 8). Every field also
// answers to its number, "f6" to "f55". vertex_request_help() lists the names.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "request_fields.h"

namespace erp {

// Builds the data message's body (fields 6 onwards, each followed by "~") for
// `kind` from (name, value) pairs; fields not named stay empty. False with a
// reason in *err for an unknown kind or name, a name given twice, a value
// holding "~", or a body too long for one message.
bool build_vertex_body(std::string_view kind,
                       const std::vector<std::pair<std::string, std::string>>& fields,
                       std::string* body, std::string* err);

// The fields of an error, status, result or acknowledgement reply to a
// request of `kind` with their names, an error's code in words.
NamedReply name_vertex_reply(std::string_view kind, std::string_view reply);
// The same as "name: value" lines (reply_lines).
std::string describe_vertex_reply(std::string_view kind, std::string_view reply);

// The fields of request `kind`; false for a kind other than tax, tax-enh, addr.
bool vertex_kind_fields(std::string_view kind, KindFields* out);

// The kinds and their field names with the field numbers they fill.
std::string vertex_request_help();

}  // namespace erp

// engine_table: what the client knows of each engine - its command name,
// sub-provider, diagnostic option, library files and request builders.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "request_fields.h"

namespace erp {

using NamedFields = std::vector<std::pair<std::string, std::string>>;

struct EngineInfo {
  const char* name;          // "avp" or "vertex", as on the command line
  const char* title;         // "Taxware" or "Vertex"
  int stype;                 // taxapi's sub-provider argument
  const char* diag_option;   // "-dt" or "-dv"
  const char* libraries[2];  // the library files, in the order taxapi loads them
  bool (*build)(std::string_view kind, const NamedFields& fields, std::string* body, std::string* err);
  NamedReply (*name_reply)(std::string_view kind, std::string_view reply);
  bool (*kind_fields)(std::string_view kind, KindFields* out);
  std::string (*help)();
};

// The engine called `name` ("avp", "vertex"), or null.
const EngineInfo* engine_named(std::string_view name);
// The engine of sub-provider `stype`, or null.
const EngineInfo* engine_of_stype(int stype);

// Splits NAME=VALUE words (from words[from] on) into *out; false with a
// reason in *err for a word without "=" or with an empty name.
bool parse_named_fields(const std::vector<std::string>& words, std::size_t from, NamedFields* out, std::string* err);

}  // namespace erp

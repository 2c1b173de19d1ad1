#include "engine_table.h"

#include "avp_request.h"
#include "vertex_request.h"

namespace erp {

namespace {

const EngineInfo kEngines[] = {
    {"avp",
     "Taxware",
     1,
     "-dt",
     {"libavptax.so", "libavpzip.so"},
     build_avp_body,
     name_avp_reply,
     avp_kind_fields,
     avp_request_help},
    {"vertex",
     "Vertex",
     2,
     "-dv",
     {"libvst.so", "libloc.so"},
     build_vertex_body,
     name_vertex_reply,
     vertex_kind_fields,
     vertex_request_help},
};

}  // namespace

const EngineInfo* engine_named(std::string_view name) {
  for (const EngineInfo& e : kEngines) {
    if (name == e.name) return &e;
  }
  return nullptr;
}

const EngineInfo* engine_of_stype(int stype) {
  for (const EngineInfo& e : kEngines) {
    if (stype == e.stype) return &e;
  }
  return nullptr;
}

bool parse_named_fields(const std::vector<std::string>& words, std::size_t from, NamedFields* out, std::string* err) {
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::size_t eq = words[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      *err = "expected NAME=VALUE, got '" + words[i] + "'";
      return false;
    }
    out->emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
  }
  return true;
}

}  // namespace erp

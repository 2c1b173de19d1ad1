// engine_check: `taxapi-client check avp|vertex` - runs taxapi's diagnostic
// open and close of an engine (taxapi -dt / -dv) and tells each step in
// plain words.
//
// The steps and their outcomes are read from what taxapi writes on standard
// error in that mode (one line per step of its engine session); the client
// only adds where the libraries lie (library_search.h). The engine can serve
// when taxapi exits with 0 and no step of the open failed.
#pragma once

#include <string>
#include <vector>

#include "child_run.h"
#include "engine_table.h"
#include "library_search.h"

namespace erp {

struct CheckStep {
  std::string step;  // "library", "entry point", "entry points", "variable", "engine open", "engine close", "log file",
                     // "message"
  std::string subject;  // the library, entry point, variable or engine call
  std::string outcome;  // "ok", "failed", "not set", "skipped"
  std::string detail;   // where, the value, or taxapi's words
};

struct EngineCheck {
  const EngineInfo* engine = nullptr;
  LibrarySearch search;
  std::vector<CheckStep> steps;
  ChildResult run;  // taxapi's exit status and output
  bool can_serve = false;
};

// Runs `taxapi` (a path) in diagnostic mode for `engine` under `env` and
// reads its steps.
EngineCheck check_engine(const EngineInfo& engine, const std::string& taxapi, const std::vector<std::string>& env,
                         int timeout_ms);

// The check in plain words, one line per step, then the verdict.
std::string check_text(const EngineCheck& check);
// The check as one JSON object on one line.
std::string check_json(const EngineCheck& check);

}  // namespace erp

// exchange_report: one request and its named replies as the client reports
// them - as text, as a JSON object (--json), with the differences from a
// recorded run (--expect).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "request_fields.h"

namespace erp {

// A value that differs from the recorded one; nullopt stands for a value
// (or a whole block) on one side only.
struct Difference {
  std::string field;
  std::optional<std::string> expected;
  std::optional<std::string> got;
};

struct ExchangeReport {
  int line = 0;         // line of the request file; 0 outside a replay
  std::string request;  // the request as given, "start avp" for a start-up
  std::vector<NamedReply> replies;
  std::string problem;  // why replies are missing, when they are
  bool ok = false;      // every reply came and none is an error
  std::vector<Difference> differences;
};

// Fills r->ok from its replies and problem: true when no reply is an error
// (type 5) and nothing is missing.
void settle(ExchangeReport* r);

// "== [line N: ]request", then per reply "<- text" and its named values, then
// "problem: ..." when there is one.
std::string exchange_text(const ExchangeReport& r);

// One line per difference: "line N: field: expected X, got Y" (the request
// in place of "line N" outside the request file's lines).
std::string differences_text(const ExchangeReport& r);

// The report as one JSON object on one line (no newline).
std::string exchange_json(const ExchangeReport& r);

}  // namespace erp

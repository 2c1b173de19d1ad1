// avp_control: per-call overrides of the stand-in engines, for tests.
//
// The variable AVP_STANDIN_CONTROL names a text file of "NAME = VALUE" lines
// (syntax in engines/avp/README.md). Every entry point reads it afresh on
// each call, does its real work, and then lets the file replace its result
// and completion codes, so a test can force any outcome without rebuilding.
// A missing variable or file means no overrides; bad lines are skipped.
#pragma once

#include <optional>
#include <string>

namespace avp_standin {

constexpr const char* kControlVar = "AVP_STANDIN_CONTROL";
constexpr int kMaxCandidates = 300;

struct Control {
  // Results of the seven entry points.
  std::optional<int> AVPTAXOPEN, AVPTAXCLOSE, AVPTAXCMN, AVPTAX_IO_ERR;
  std::optional<int> ZIPOPEN, ZIPCLOSE, ZIP020;
  // Completion codes written into the records after the real work.
  std::optional<int> GenCmplCd, JurCmplCd, POOJurRC, POAJurRC, ShpToJurRC, ShpFrJurRC;
  std::optional<int> ZipCmplCd;
  // Number of ZIP candidates returned, 0 to 300.
  std::optional<int> ZipCandidates;
  // Every level's tax becomes 10 to this power (a result too wide to send).
  std::optional<int> LevelTaxExp10;
};

// Parses control text; unknown names and malformed lines are ignored.
Control parse_control(const std::string& text);
// Reads the file named by AVP_STANDIN_CONTROL (empty Control when unset,
// empty or unreadable).
Control read_control();

}  // namespace avp_standin

// recording: replies in a stable text form, and the comparison of a run with
// a recorded one (replay --record / --expect).
//
// A record holds one block per exchange, in the order of the run:
//
//   == avp addr state=NY zip=12810
//   1.message: "ack"
//   ...
//   2.ZipCmplCd: "0"
//   3.city: "FAIRHAVEN                 "
//
// The block's head is the request as written in the request file ("start
// avp" for the start of a process); each value line is the reply's number in
// the block, the value's name and the value as one quoted word
// (quoted_words.h), so trailing blanks survive editors; "problem" holds why
// replies are missing. Error meanings are not recorded: they are derived
// from the codes. Blank lines and lines starting with "#" are skipped.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "exchange_report.h"

namespace erp {

struct RecordBlock {
  std::string request;
  std::vector<NamedValue> values;  // "N.name" or "problem", and the value
};

RecordBlock record_block(const ExchangeReport& r);

// The block as record text, ending in a blank line.
std::string record_text(const RecordBlock& block);

// Reads a record file; false with a reason ("FILE:N: ...") in *err.
bool read_record(const std::string& path, std::vector<RecordBlock>* out, std::string* err);

// The differences between a recorded block and the block of this run; either
// may be missing (null), which makes the whole block one difference.
std::vector<Difference> compare_blocks(const RecordBlock* expected, const RecordBlock* got);

}  // namespace erp

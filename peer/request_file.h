// request_file: the requests of a replay file, one a line.
//
// A line is one of
//   avp|vertex tax|tax-enh|addr NAME=VALUE...   a request built from named fields
//   raw TEXT...                                 message texts sent as they stand
//   TEXT                                        one message text (the line starts with a digit)
// with the words of the first two forms quoted as quoted_words.h describes.
// Lines whose first non-blank character is "#" and blank lines are skipped;
// blanks around a line are dropped.
//
// Each request names the sub-provider whose taxapi serves it: 1 for avp, 2
// for vertex; a message text goes by its own sub-provider field (the fourth)
// when that is 1 or 2, else by the default given.
#pragma once

#include <string>
#include <vector>

namespace erp {

struct FileRequest {
  int line = 0;                       // line number in the file, from 1
  std::string text;                   // the line as written, without blanks around it
  int stype = 0;                      // sub-provider of the process that serves it
  std::vector<std::string> messages;  // message texts (raw forms)
  std::string kind;                   // request kind (named form)
  std::string body;                   // data message body (named form)
};

// Reads the requests of `path` into *out. False when the file cannot be read
// or a line is faulty: every reason ("FILE:N: ...") is added to *errors.
bool read_request_file(const std::string& path, int default_stype, std::vector<FileRequest>* out,
                       std::vector<std::string>* errors);

}  // namespace erp

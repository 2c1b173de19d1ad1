// api_reply: building the adapters' replies - status and result messages -
// into the buffer the dispatcher hands them, without ever writing past it.
#pragma once

#include <cstddef>

#include "api_msg.h"

// Appends to the text in a caller's buffer (the text in it so far is kept).
// Nothing is ever written past `size` bytes and the text stays terminated;
// ok() turns false once anything did not fit whole.
class ApiReplyWriter {
 public:
  explicit ApiReplyWriter(char* out, std::size_t size = API_TEXT_SIZE);

  // The five header fields of a reply of provider tax.
  ApiReplyWriter& header(int type, int action, int stype, int count);
  __attribute__((format(printf, 2, 3))) ApiReplyWriter& printf(const char* format, ...);
  // A record's text field up to `width` characters or its first byte 0, then "~".
  ApiReplyWriter& field(const char* text, std::size_t width);
  bool ok() const { return ok_; }
  std::size_t length() const { return len_; }

 private:
  char* out_;
  std::size_t size_;
  std::size_t len_;
  bool ok_ = true;
};

// The status message "6~action~1~stype~count~code~" into `out` (API_TEXT_SIZE
// bytes, cleared first).
void api_format_status(char* out, int action, int stype, int count, int code);

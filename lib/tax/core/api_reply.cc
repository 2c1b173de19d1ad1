#include "api_reply.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ApiReplyWriter::ApiReplyWriter(char* out, std::size_t size) : out_(out), size_(size), len_(strnlen(out, size)) {
  if (len_ == size_) {  // an unterminated buffer: start it afresh
    len_ = 0;
    out_[0] = '\0';
  }
}

ApiReplyWriter& ApiReplyWriter::header(int type, int action, int stype, int count) {
  char head[64];  // five ints and their delimiters always fit
  api_format_header(head, sizeof head, type, action, API_PTYPE_TAX, stype, count);
  return printf("%s", head);
}

ApiReplyWriter& ApiReplyWriter::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::size_t room = size_ - len_;
  const int n = std::vsnprintf(out_ + len_, room, format, args);
  va_end(args);
  if (n < 0 || static_cast<std::size_t>(n) >= room) {
    ok_ = false;
    out_[len_] = '\0';
    return *this;
  }
  len_ += static_cast<std::size_t>(n);
  return *this;
}

ApiReplyWriter& ApiReplyWriter::field(const char* text, std::size_t width) {
  return printf("%.*s~", static_cast<int>(strnlen(text, width)), text);
}

void api_format_status(char* out, int action, int stype, int count, int code) {
  std::memset(out, 0, API_TEXT_SIZE);
  ApiReplyWriter(out).header(API_MSG_STATUS, action, stype, count).printf("%d~", code);
}

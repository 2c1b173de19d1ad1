#include "api_protocol.h"

#include <cstdio>

namespace {

#define API_ERR_ENTRY(name, code, last, meaning) {code, last, meaning},
const ApiErrorInfo kErrorCodes[] = {API_ERROR_CODES(API_ERR_ENTRY)};
#undef API_ERR_ENTRY

}  // namespace

const ApiErrorInfo* api_error_info(long whole) {
  for (const ApiErrorInfo& info : kErrorCodes) {
    if (whole >= info.code && whole <= info.last) return &info;
  }
  return nullptr;
}

int api_message_type(const char* text) {
  if (text == nullptr || *text < '0' || *text > '9') return -1;
  long type = 0;
  for (; *text >= '0' && *text <= '9' && type <= 0xffff; ++text) type = type * 10 + (*text - '0');
  return static_cast<int>(type);
}

std::size_t api_format_header(char* out, std::size_t size, int type, int action, int ptype, int stype, int count) {
  if (out == nullptr || size == 0) return 0;
  const int n = std::snprintf(out, size, "%d~%d~%d~%d~%d~", type, action, ptype, stype, count);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

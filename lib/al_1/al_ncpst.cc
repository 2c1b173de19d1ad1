#include "al_ncpst.h"

char* ncopystr(char* dst, const char* src, std::size_t count, int terminate) {
  char* pos = dst;
  for (std::size_t i = 0; i < count; ++i) {
    *pos = src[i];
    if (src[i] == '\0') break;  // stay on the copied NUL
    ++pos;
  }
  if (terminate) {
    *pos = '\0';
    return pos + 1;
  }
  return pos;
}

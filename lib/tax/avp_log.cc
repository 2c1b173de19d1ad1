#include "avp_log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "api_log.h"

void avp_log_write(FILE* log, const char* source, int line, const char* user, const char* format, ...) {
  if (format == nullptr) return;

  va_list args;
  va_start(args, format);
  if (diag_mode == 1) {
    va_list copy;
    va_copy(copy, args);
    std::vfprintf(stderr, format, copy);
    va_end(copy);
  }
  // "AVPDEBUG" switches the log on by its presence alone, an empty value too.
  if (source == nullptr || user == nullptr || log == nullptr || std::getenv("AVPDEBUG") == nullptr) {
    va_end(args);
    return;
  }

  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));
  std::fprintf(log, "%s%s:\n", stamp, user);
  std::fprintf(log, "%s%s: Avp Log Start *****************************\n", stamp, user);
  std::fprintf(log, "%s%s: Pid %d Uid %d\n", stamp, user, static_cast<int>(getpid()), static_cast<int>(getuid()));
  std::fprintf(log, "%s%s: Log mesg: ", stamp, user);
  std::vfprintf(log, format, args);
  va_end(args);
  std::fprintf(log, "%s%s: File: %s:%d\n", stamp, user, source, line);
  std::fprintf(log, "%s%s: Avp Log End   *****************************\n", stamp, user);
  std::fflush(log);
}

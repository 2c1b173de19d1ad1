#include "vertex_log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <ctime>

#include "api_log.h"
#include "vertex_session.h"

void vertex_log_write(FILE* log, const char* source, int line, const char* user,
                      const char* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  if (length > 0) {
    message.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(message.data(), message.size(), format, args);
    message.resize(static_cast<std::size_t>(length));
  }
  va_end(args);

  if (diag_mode == 2) std::fputs(message.c_str(), stderr);
  if (source == nullptr || user == nullptr || vertex_session.vertex_debug == 0 ||
      log == nullptr) {
    return;
  }
  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));
  // A message without its final newline gets one here, or the frame's next
  // line would run on from it.
  const char* end = (message.empty() || message.back() != '\n') ? "\n" : "";

  std::fprintf(log, "%s%s:\n", stamp, user);
  std::fprintf(log, "%s%s: Vertex Log Start *****************************\n", stamp, user);
  std::fprintf(log, "%s%s: Pid %d Uid %d\n", stamp, user, static_cast<int>(getpid()),
               static_cast<int>(getuid()));
  std::fprintf(log, "%s%s: Log mesg: %s%s", stamp, user, message.c_str(), end);
  std::fprintf(log, "%s%s: File: %s:%d\n", stamp, user, source, line);
  std::fprintf(log, "%s%s: Vertex Log End   *****************************\n", stamp, user);
  std::fflush(log);
}

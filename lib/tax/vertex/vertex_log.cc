#include "vertex_log.h"

#include <cstdarg>
#include <string>

#include "api_log.h"
#include "vertex_session.h"

void vertex_log_write(FILE* log, const char* source, int line, const char* user, const char* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  std::string message = api_vformat(format, args);
  va_end(args);
  if (api_settings.diag_mode == 2) std::fputs(message.c_str(), stderr);
  if (source == nullptr || user == nullptr || vertex_session.vertex_debug == 0) return;
  // A message without its final newline gets one here, or the frame's next
  // line would run on from it.
  if (message.empty() || message.back() != '\n') message.push_back('\n');
  api_engine_log_block(log, "Vertex", source, line, user, message);
}

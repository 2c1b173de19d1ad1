#include "avp_log.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "api_log.h"

void avp_log_write(FILE* log, const char* source, int line, const char* user, const char* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  const std::string message = api_vformat(format, args);
  va_end(args);
  if (api_settings.diag_mode == 1) std::fputs(message.c_str(), stderr);
  // "AVPDEBUG" switches the log on by its presence alone, an empty value too.
  if (source == nullptr || user == nullptr || std::getenv("AVPDEBUG") == nullptr) return;
  api_engine_log_block(log, "Avp", source, line, user, message);
}

#include "al_log.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

int sDefaultDest = 0;
int no_log_mesg = 0;

namespace {

bool sBusy = false;
int tdest = 0;  // destination of the message being logged
FILE* sLogFile = nullptr;
log_mesg_hook sHook = nullptr;
char sText[LOG_MESG_BUFSIZE];

// Formats with only the character-type category switched to "C", so that a
// multibyte locale cannot change how %s/%c arguments are rendered. The switch
// is made for this thread alone and leaves the global locale untouched.
void format_in_c_ctype(char* buf, std::size_t size, const char* fmt, va_list ap) {
  locale_t base = duplocale(uselocale(static_cast<locale_t>(0)));
  locale_t c_ctype = base ? newlocale(LC_CTYPE_MASK, "C", base) : static_cast<locale_t>(0);
  if (!c_ctype && base) freelocale(base);  // newlocale failed: base is still ours
  locale_t old = c_ctype ? uselocale(c_ctype) : static_cast<locale_t>(0);
  // A conversion error leaves the buffer's contents unspecified.
  if (std::vsnprintf(buf, size, fmt, ap) < 0) buf[0] = '\0';
  if (c_ctype) {
    uselocale(old);
    freelocale(c_ctype);
  }
}

void deliver(FILE* stream, const char* file, int line, const char* func) {
  if (!stream) return;
  std::fprintf(stream, "%s(%d) %s: %s\n", file, line, func, sText);
  std::fflush(stream);
}

}  // namespace

void log_mesg_set_file(FILE* stream) { sLogFile = stream; }

void log_mesg_set_hook(log_mesg_hook hook) { sHook = hook; }

void vlog_mesg(const char* file, int line, const char* func, int flags, const char* fmt,
               va_list ap) {
  const int saved_errno = errno;
  if (no_log_mesg == 1 || sBusy) return;
  sBusy = true;

  const int outputs = flags & ~LOG_MESG_MODIFIERS;
  tdest = (outputs ? (outputs & sDefaultDest) : sDefaultDest) | (flags & LOG_MESG_MODIFIERS);

  if (!file) file = "";
  if (!func) func = "";
  sText[0] = '\0';
  if (fmt) format_in_c_ctype(sText, sizeof sText, fmt, ap);
  std::size_t len = std::strlen(sText);
  if (len > 0 && sText[len - 1] == '\n') sText[--len] = '\0';
  if ((tdest & LOG_MESG_ERRNO) && len + 1 < sizeof sText) {
    std::snprintf(sText + len, sizeof sText - len, ": %s", std::strerror(saved_errno));
  }

  if (tdest & LOG_MESG_FILE) deliver(sLogFile, file, line, func);
  if (tdest & LOG_MESG_STDERR) deliver(stderr, file, line, func);
  if (tdest & LOG_MESG_STDOUT) deliver(stdout, file, line, func);
  if ((tdest & LOG_MESG_HOOK) && sHook) sHook(file, line, func, tdest, sText);

  sBusy = false;
  errno = saved_errno;
}

void log_mesg(const char* file, int line, const char* func, int flags, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vlog_mesg(file, line, func, flags, fmt, ap);
  va_end(ap);
}

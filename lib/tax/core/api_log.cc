#include "api_log.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "al_logdir.h"
#include "al_logfile.h"
#include "api_number.h"

ApiSettings api_settings;
ApiLogFiles api_logs;

namespace {

// Copies at most size - 1 characters and always terminates.
void copy_text(char* dst, std::size_t size, const char* src) {
  std::snprintf(dst, size, "%s", src);
}

FILE* open_log(const char* name) {
  if (api_settings.log_dir[0] == '\0') return nullptr;
  char path[API_PATH_SIZE];
  std::snprintf(path, sizeof path, "%s/%s", api_settings.log_dir, name);
  return al_open_logfile(path);
}

// Writes `text` into `out` with every control character as "\xHH", so a
// message cannot break its line or forge entries of its own.
void escape_controls(const char* text, char* out, std::size_t size) {
  std::size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
    const bool control = *p < 0x20 || *p == 0x7f;
    if (n + (control ? 4 : 1) >= size) break;
    if (control) {
      n += static_cast<std::size_t>(std::snprintf(out + n, size - n, "\\x%02x", *p));
    } else {
      out[n++] = static_cast<char>(*p);
    }
  }
  out[n] = '\0';
}

}  // namespace

int api_time_stamp(char* out, std::size_t size, std::time_t t) {
  std::tm tm {};
  localtime_r(&t, &tm);
  const int n = std::snprintf(out, size, "%02d-%02d-%02d[%02d:%02d:%02d]", tm.tm_year - 100, tm.tm_mon + 1,
                              tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return n < 0 ? 0 : n;
}

void api_log_open(void) {
  const char* user = std::getenv("USER");
  copy_text(api_settings.username, sizeof api_settings.username, user != nullptr ? user : "Unknown");

  const char* qse = std::getenv("QSE");
  const char* home = std::getenv("HOME");
  char base[API_PATH_SIZE] = "";  // none: the logs stay closed
  if (qse != nullptr) {
    std::snprintf(base, sizeof base, "%.1023s/log", qse);
  } else if (home != nullptr) {
    copy_text(base, sizeof base, home);
  }
  // A shared log directory gives each user one of their own below it.
  al_log_dir_for(base, api_settings.log_dir, sizeof api_settings.log_dir);

  api_logs.log_file = open_log("log.api");
  api_settings.log_level = api_decimal(std::getenv("APILOG"));
  api_log_write(api_settings.username, "API process started for user ", API_SRC, __LINE__, api_logs.log_file);
  if (api_settings.log_level > 0) api_logs.msg_file = open_log("api_msg.log");
}

void api_log_write(const char* user, const char* msg, const char* file, int line, FILE* stream) {
  if (user == nullptr || msg == nullptr || file == nullptr || api_settings.log_level == 0 || stream == nullptr) return;
  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));

  // The whole entry is formatted first and handed to the stream in one write;
  // every part is bounded so an over-long text is cut, never overrun.
  char entry[4 * 1024 + 512];
  const int n = std::snprintf(entry, sizeof entry,
                              "%s%.255s: \n"
                              "%s%.255s: ******** START of Log message ********\n"
                              "%s%.255s: Pid %d Uid %d  \n"
                              "%s%.255s: Log mesg: %.2047s\n"
                              "%s%.255s:File:%.255s %d\n"
                              "%s%.255s: ********  END of Log message  ********\n",
                              stamp, user, stamp, user, stamp, user, static_cast<int>(getpid()),
                              static_cast<int>(getuid()), stamp, user, msg, stamp, user, file, line, stamp, user);
  if (n <= 0) return;
  const std::size_t size = static_cast<std::size_t>(n) < sizeof entry ? static_cast<std::size_t>(n) : sizeof entry - 1;
  al_log_append(stream, entry, size);
}

void api_message_log(const char* text, int kind) {
  if (api_logs.msg_file == nullptr || text == nullptr) return;
  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));
  const char* marker = kind == API_MSGLOG_INFO       ? " I "
                       : kind == API_MSGLOG_RECEIVED ? " R "
                       : kind == API_MSGLOG_SENT     ? " S "
                                                     : "";
  // Informational entries are the process's own; messages come from outside.
  char escaped[1904];
  if (kind != API_MSGLOG_INFO) {
    escape_controls(text, escaped, sizeof escaped);
    text = escaped;
  }
  char entry[2048];
  const int n = std::snprintf(entry, sizeof entry, "%s%s%.1900s\n", stamp, marker, text);
  if (n <= 0) return;
  const std::size_t size = static_cast<std::size_t>(n) < sizeof entry ? static_cast<std::size_t>(n) : sizeof entry - 1;
  al_log_append(api_logs.msg_file, entry, size);
}

std::string api_vformat(const char* format, va_list args) {
  std::string text;
  if (format == nullptr) return text;
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return text;
  text.resize(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

void api_engine_log_block(FILE* log, const char* title, const char* source, int line, const char* user,
                          const std::string& message) {
  if (log == nullptr) return;
  char stamp[64];
  api_time_stamp(stamp, sizeof stamp, std::time(nullptr));
  char head[1024];
  std::snprintf(head, sizeof head,
                "%s%.255s:\n%s%.255s: %s Log Start *****************************\n%s%.255s: Pid %d Uid %d\n"
                "%s%.255s: Log mesg: ",
                stamp, user, stamp, user, title, stamp, user, static_cast<int>(getpid()), static_cast<int>(getuid()),
                stamp, user);
  char tail[1024];
  std::snprintf(tail, sizeof tail, "%s%.255s: File: %.255s:%d\n%s%.255s: %s Log End   *****************************\n",
                stamp, user, source, line, stamp, user, title);
  std::string block;
  block.reserve(sizeof head + message.size() + sizeof tail);
  block.append(head).append(message).append(tail);
  al_log_append(log, block.data(), block.size());
}

void api_log_close(void) {
  if (api_logs.log_file != nullptr) std::fclose(api_logs.log_file);
  api_logs.log_file = nullptr;
}

void api_message_log_close(void) {
  if (api_logs.msg_file != nullptr) std::fclose(api_logs.msg_file);
  api_logs.msg_file = nullptr;
}

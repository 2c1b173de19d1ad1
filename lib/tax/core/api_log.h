// api_log: the process's identity and its two logs, "log.api" and "api_msg.log".
//
// Both streams are opened once at start-up (api_log_open) and stay open for
// the life of the process; every entry goes to the file in one write as soon
// as it is made, so a process ended by the queue watch loses nothing and two
// processes of the user appending to one file never mix their entries. A
// missing stream (the file could not be opened, or no log directory is
// known) simply receives nothing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

constexpr std::size_t API_PATH_SIZE = 1024;

// What the process is and how it logs, set once at start-up (api_log_open,
// and diag_mode by the command line); lives for the whole process.
struct ApiSettings {
  // The user the process works for: $USER, or "Unknown".
  char username[256] = "Unknown";
  // Directory of every log file: "$QSE/log", or $HOME itself, when it is the
  // user's own; this user's directory below it when it is shared (al_logdir);
  // empty when there is none (neither is set, or the user's one is refused).
  char log_dir[API_PATH_SIZE] = "";
  // From $APILOG: 0 nothing; nonzero API log entries; > 0 message log with
  // informational entries; exactly 2 every received and sent message as well.
  int log_level = 0;
  // 0 normal; 1 diagnostic mode for Taxware; 2 for Vertex. The adapters echo
  // their log messages to standard error while it is nonzero.
  int diag_mode = 0;
};
extern ApiSettings api_settings;

// The process's two log streams; each null while not open. Owned here:
// opened by api_log_open, closed at normal termination.
struct ApiLogFiles {
  FILE* log_file = nullptr;  // "log.api", mode "a+"
  FILE* msg_file = nullptr;  // "api_msg.log", opened only when log_level > 0
};
extern ApiLogFiles api_logs;

// Message log kinds.
enum { API_MSGLOG_INFO = 0, API_MSGLOG_RECEIVED = 1, API_MSGLOG_SENT = 2 };

// Writes "%02d-%02d-%02d[%02d:%02d:%02d]" for the local time `t` (two-digit year,
// month, day, hour, minute, second) into `out`; returns the length written.
// Shared by every log of the process so all stamps read alike.
int api_time_stamp(char* out, std::size_t size, std::time_t t);

// Sets username and log_dir from the environment, opens "log.api", reads
// $APILOG and opens "api_msg.log" when the level asks for it.
void api_log_open(void);

// One framed six-line entry in the API log (see the module's .cc for the frame).
// Writes nothing when user, msg or file is null, when the log level is 0 or
// the stream is null.
void api_log_write(const char* user, const char* msg, const char* file, int line, FILE* stream);

// One message-log entry: stamp, kind marker (" I ", " R ", " S "), text, newline.
void api_message_log(const char* text, int kind);

// The printf-style `format` with its arguments as a text.
std::string api_vformat(const char* format, va_list args);

// One framed block of an engine's log ("avp.log", "vertex.log"): six lines
// of stamp and user, "<title> Log Start", process and user id, "Log mesg: "
// and the message as it stands, the source and line, "<title> Log End";
// written in one piece. Nothing when `log` is null.
void api_engine_log_block(FILE* log, const char* title, const char* source, int line, const char* user,
                          const std::string& message);

// Closes the API log (normal termination).
void api_log_close(void);
// Closes the message log when it was opened.
void api_message_log_close(void);

// Source names carried by the entries of each module.
#define API_SRC "lib/tax/api"
#define API_TARN_SRC "lib/tax/api_tarn"

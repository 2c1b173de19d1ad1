// api_log: the process's identity and its two logs, "log.api" and "api_msg.log".
//
// Both streams are opened once at start-up (api_log_open) and stay open for the
// life of the process; every entry is flushed as soon as it is written, so a
// process ended by the queue watch loses nothing. A missing stream (the file
// could not be opened, or no log directory is known) simply receives nothing.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

constexpr std::size_t API_PATH_SIZE = 1024;

// The user the process works for: $USER, or "Unknown".
extern char username[256];
// Directory of every log file: "$QSE/log", or $HOME itself; empty when neither is set.
extern char log_dir[API_PATH_SIZE];
extern FILE* log_file;  // "log.api", mode "a+"; null when it could not be opened
extern FILE* msg_file;  // "api_msg.log", opened only when api_log > 0
// Level from $APILOG: 0 nothing; nonzero API log entries; > 0 message log with
// informational entries; exactly 2 every received and sent message as well.
extern int api_log;
// 0 normal; 1 diagnostic mode for Taxware; 2 for Vertex. The adapters echo their
// log messages to standard error while it is nonzero.
extern int diag_mode;

// Message log kinds.
enum { API_MSG_INFO = 0, API_MSG_RECEIVED = 1, API_MSG_SENT = 2 };

// Writes "%02d-%02d-%02d[%02d:%02d:%02d]" for the local time `t` (two-digit year,
// month, day, hour, minute, second) into `out`; returns the length written.
// Shared by every log of the process so all stamps read alike.
int api_time_stamp(char* out, std::size_t size, std::time_t t);

// Sets username and log_dir from the environment, opens "log.api", reads
// $APILOG and opens "api_msg.log" when the level asks for it.
void api_log_open(void);

// One framed six-line entry in the API log (see the module's .cc for the frame).
// Writes nothing when user, msg or file is null, when api_log is 0 or the
// stream is null.
void api_log_write(const char* user, const char* msg, const char* file, int line, FILE* stream);

// One message-log entry: stamp, kind marker (" I ", " R ", " S "), text, newline.
void api_message_log(const char* text, int kind);

// Closes the API log (normal termination).
void api_log_close(void);
// Closes the message log when it was opened.
void api_message_log_close(void);

// Source names carried by the entries of each module.
#define API_SRC "lib/tax/api"
#define API_TARN_SRC "lib/tax/api_tarn"

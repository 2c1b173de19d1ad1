// vertex_log: the writer of "vertex.log", through which every Vertex module
// traces.
//
// Each message becomes a framed block of six lines (stamp and user on every
// line). In diagnostic mode for Vertex the bare message also goes to standard
// error, whether or not the file log is on.
#pragma once

#include <cstdio>

#define VERTEX_SRC "lib/tax/vertex"

// Writes one framed message into `log`. Nothing reaches the file unless
// source, user and format are given, the session's vertex_debug is non-zero
// and `log` is open. A message without a final newline gets one in the file,
// so the frame stays intact.
void vertex_log_write(FILE* log, const char* source, int line, const char* user,
                      const char* format, ...) __attribute__((format(printf, 5, 6)));

// Logs one message of the calling line into the session's log.
#define VTX_LOG(...) \
  vertex_log_write(vertex_session.vertex_log_file, VERTEX_SRC, __LINE__, api_settings.username, __VA_ARGS__)

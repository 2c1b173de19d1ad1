// al_log: the runtime library's message log.
//
// The loader and the variable lookup report unusual conditions here. Where a
// message goes is decided by the process-wide destination set sDefaultDest,
// which is empty at start: a process that never sets it (the tax API process)
// formats every message and drops it, so its own logs stay the only output.
//
// Single-threaded: the destination set, the flags, the log stream and the
// hook are plain process-wide globals.
#pragma once

#include <cstdarg>
#include <cstdio>

// Output bits of a destination set.
enum {
  LOG_MESG_FILE = 1,    // the stream given to log_mesg_set_file
  LOG_MESG_STDERR = 2,
  LOG_MESG_STDOUT = 4,
};

// Modifier bits, taken over from a message's flags unchanged.
enum {
  LOG_MESG_ERRNO = 0x20,  // append the text of the errno saved on entry
  LOG_MESG_HOOK = 0x40,   // offer the message to the installed hook
  LOG_MESG_MOD80 = 0x80,  // carried along, no effect here
  LOG_MESG_MOD100 = 0x100,
  LOG_MESG_MODIFIERS = 0x1e0,
};

// Size of the formatting buffer; a message keeps at most this minus one bytes.
constexpr int LOG_MESG_BUFSIZE = 16384;

// Default destination set: output bits, 0 (nowhere) at start.
extern int sDefaultDest;
// When 1, every message is ignored.
extern int no_log_mesg;

// Logs one printf-style message raised at file:line in function `func`.
// With flags outside 0x1e0 the message goes to those output bits that are
// also in sDefaultDest; otherwise to sDefaultDest. A message raised while
// another is being logged (from a hook) is ignored. errno is preserved.
void log_mesg(const char* file, int line, const char* func, int flags, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));
void vlog_mesg(const char* file, int line, const char* func, int flags, const char* fmt,
               va_list ap) __attribute__((format(printf, 5, 0)));

// The stream behind LOG_MESG_FILE, or null (the default) for none. The caller
// keeps ownership and must keep it open while it is set.
void log_mesg_set_file(FILE* stream);

// Receives a message logged with LOG_MESG_HOOK; `text` lives until it returns.
using log_mesg_hook = void (*)(const char* file, int line, const char* func, int flags,
                               const char* text);
// Installs `hook` (null removes it); none is installed by default.
void log_mesg_set_hook(log_mesg_hook hook);

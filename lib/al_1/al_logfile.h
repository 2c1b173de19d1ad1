// al_logfile: opening a log file safely in a directory other users may
// write to (a shared product log directory, /tmp).
//
// A log is appended to for the life of the process, so whatever stands at
// its name receives every entry. A symbolic link planted there would make
// the process append to the link's target (a shell start-up file, say), and
// a file made by another user would collect this user's entries. So a log is
// opened without following a link at its name, created owner-only whatever
// the umask, and refused unless it is a regular file of this user with no
// other link. A refusal is named in one line on standard error.
#pragma once

#include <cstddef>
#include <cstdio>

// Opens `path` for appending and reading (as fopen "a+"). Null when it
// cannot be opened or is refused (errno ELOOP for a link, EPERM for a file
// that is not a regular file of this user); `note` 0 keeps a refusal off
// standard error. The stream belongs to the caller.
FILE* al_open_logfile(const char* path, int note = 1);

// Appends one whole entry of `size` bytes to a log opened above, in one
// write, so entries of two processes sharing the file never interleave. The
// stream's own buffer is never used. When the file does not end with a
// newline (an entry torn by a full disk, this process's or another's), the
// entry starts on a line of its own. A failed or short write is given up:
// logging never stops the caller. Returns 0 when the whole entry went out.
int al_log_append(FILE* log, const char* text, std::size_t size);

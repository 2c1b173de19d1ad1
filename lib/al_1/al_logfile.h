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

#include <cstdio>

// Opens `path` for appending and reading (as fopen "a+"). Null when it
// cannot be opened or is refused (errno ELOOP for a link, EPERM for a file
// that is not a regular file of this user). The stream belongs to the caller.
FILE* al_open_logfile(const char* path);

// al_logdir: where a process's logs go when one installed tree serves many
// users.
//
// A log directory of the user's own (a QSE of their own, or $HOME) is used as
// it stands. One that belongs to another account - the installed tree's
// shared log/, made sticky and world-writable like /tmp - is never written
// into directly, where every user's files would meet: the process keeps its
// logs in a directory of its own below it, named after the user's login name
// (the uid when the account has none), created 0700. That directory is used
// only when it is a real directory (not a link) of this user that no one
// else may write into, and only below a shared directory that is sticky (or
// that others cannot write to), so no other account can move it away and put
// its own in its place.
#pragma once

#include <cstddef>

// Writes the directory for the logs of base directory `base` into `out`
// (`size` bytes): `base` itself when it does not exist or belongs to this
// user, else this user's directory below it, made when missing. Returns 0;
// -1 with `out` empty when there is no directory to use: no base, or a
// per-user directory that cannot be made or is refused (named in one line on
// standard error).
int al_log_dir_for(const char* base, char* out, std::size_t size);

// status_command: `taxapi-client status [--remove] [--json]` - an operations
// view of a server shared by many users: the running taxapi processes the
// caller may see (its own; every user's for root) with their engine, queues,
// idle time and log directory, then the caller's queues that no live process
// uses any more (left by a killed process).
//
// A queue is stale when it is the caller's own (owner and creator), no
// listed process names it, and the message slots' own rule (MSltInUse) finds
// no live user of it. --remove removes exactly those, each checked again
// just before; never another user's queue, also not as root. Processes in
// another IPC namespace are left out: their queues are not the caller's to see.
#pragma once

namespace erp {

struct StatusOptions {
  bool remove = false;
  bool json = false;  // one JSON object per process and per stale queue, one a line
};

// Prints the view and, with remove, removes the stale queues. Exit status 0,
// or 1 when a removal failed.
int run_status(const StatusOptions& options);

}  // namespace erp

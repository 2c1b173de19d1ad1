// api_signal: what the process does on signals and at exit, so that the
// ERP is never left waiting on queues of a process that is gone.
//
// SIGTERM, SIGINT, SIGHUP and SIGQUIT remove both queues at once (even while
// an engine call runs) and end the loop through normal termination;
// SIGABRT removes them before abort() ends the process; SIGPIPE is ignored.
// A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL), inside an engine or not, and an
// exit() outside the process's own termination (an engine calling exit)
// remove both queues too; a crash then ends the process with its signal.
//
// The handlers touch only the two queue ids (msq_in_id, msq_out_id) and the
// pending flag; the log entry and the termination are done outside signal
// context, at the queue session's next wait.
#pragma once

#include <csignal>

// Set by sigterm_handler; cleared when api_handle_pending_signal does what it asks.
extern volatile std::sig_atomic_t api_signal_pending;

// Installs every handler above and the exit hook; idempotent.
void api_install_signal_handlers(void);
// Installed for SIGTERM, SIGINT, SIGHUP and SIGQUIT: removes both queues at
// once (plain system calls, so the ERP sees them go even while an engine
// call runs) and records the signal.
void sigterm_handler(int sig);
// Removes both queues by their ids with plain system calls and forgets the
// ids; safe in a signal handler and at exit.
void api_remove_queues_now(void);
// Does what a caught signal asks, if one is pending: the API log entry and
// the removal of both queues. True when it did.
bool api_handle_pending_signal(void);
// True once a signal has been handled: the loop's end is then no failure.
bool api_signal_caught(void);

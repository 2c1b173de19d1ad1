// api_signal: what the process does on signals and at exit, so that the
// ERP is never left waiting on queues of a process that is gone.
//
// SIGTERM, SIGINT, SIGHUP and SIGQUIT remove both queues at once (even while
// an engine call runs) and end the loop through normal termination;
// SIGABRT removes them before abort() ends the process; SIGPIPE is ignored.
// A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL), inside an engine or not, and an
// exit() outside the process's own termination (an engine calling exit)
// remove both queues too; a crash then ends the process with its signal.
#pragma once

// Installs every handler above and the exit hook; idempotent.
void api_install_signal_handlers(void);

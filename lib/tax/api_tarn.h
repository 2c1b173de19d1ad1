// api_tarn: the queue session that binds the process to the ERP's two queues.
//
// The input queue belongs to this process (created anew at start), the output
// queue to the ERP (it must exist). Both are held by their IPC keys. While no
// message comes, every tenth time-out in a row checks that the parent and the
// queues still exist, and ends the process (status 255) when one has gone.
#pragma once

#include <csignal>

#include "api_msg.h"

extern char nmsq_in[1024];   // input queue file path
extern char nmsq_out[1024];  // output queue file path
extern int msq_in;           // input queue key (-1: not open)
extern int msq_out;          // output queue key (-1: not open)
extern long parent;          // parent's process id, recorded at provider set-up

// Set by sigterm_handler; the session does the handler's work (log entry,
// removal of both queues) at its next wait, outside signal context.
extern volatile std::sig_atomic_t api_signal_pending;

// Receive time-out in ms from $TARN_API_TIMEOUT: 10..100000, else 30000.
int api_receive_timeout(void);

// Opens the queue of `path` (project id 1, keys): the key, or -1 with
// "MSltOpen() failed, errno: %d" on standard error.
int initialize_queue(const char* path, int create);
// Opens both queues (input created anew, output must exist); 0, or -1 when
// either failed. Both opens are always made.
int setup_passed_queues(const char* in, const char* out);
// Receives the next message into msgin_raw/msgin: 1 received (possibly an
// empty message when the input queue has gone), 0 on a receive failure.
// Does not return when the watch finds the parent or a queue gone.
int get_next_message(void);
// Installed for SIGTERM, SIGINT and SIGABRT: only records the signal.
void sigterm_handler(int sig);
// Removes the queue with key `handle`.
void terminate_queue(int handle);
// Waits up to `max_ms` for the ERP to read what is still in the output queue,
// so removing the queue does not destroy a last reply. Returns at once when
// the queue is empty or gone.
void api_drain_output(int max_ms);
// Does what a caught signal asks, if one is pending: the API log entry and
// the removal of both queues. Returns 1 when it did.
int api_handle_pending_signal(void);

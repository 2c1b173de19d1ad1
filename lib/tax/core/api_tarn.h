// api_tarn: the queue session that binds the process to the ERP's two queues.
//
// The input queue belongs to this process (created anew at start, owner-only
// unless TAXAPI_QUEUE_MODE widens it), the output queue to the ERP (it must
// exist). Both are known by their IPC keys, but every operation, and every
// removal, goes to the queue ids found at start: keys of two users' queue
// files can collide, and whatever stands under a key later is not ours.
// While no message comes, every tenth time-out in a row checks that the
// parent and the queues still exist, and ends the process (status 255) when
// one has gone.
#pragma once

#include <csignal>

#include "api_msg.h"

// The process's side of its two queues and their message buffers; one for
// the whole process.
struct ApiQueueSession {
  char nmsq_in[1024] = "";   // input queue file path
  char nmsq_out[1024] = "";  // output queue file path
  int msq_in = -1;           // input queue key (-1: not open)
  int msq_out = -1;          // output queue key (-1: not open)
  long parent = 0;           // parent's process id, recorded at provider set-up
  QueueMessage msgin_raw {};  // the message received last, NUL-terminated
  MessageHeader msgin {};     // its header
  int msgin_cut = 0;          // nonzero when it was longer than msgin_raw holds and was cut
  QueueMessage msgout_raw {};  // where the process's own replies are built
};
extern ApiQueueSession api_queues;
// Ids of the queues opened at start (-1: not open, or removed). Cleared by
// whoever removes the queue, signal handlers included.
extern volatile std::sig_atomic_t msq_in_id;
extern volatile std::sig_atomic_t msq_out_id;

// Receive time-out in ms from $TARN_API_TIMEOUT: 10..100000, else 30000.
int api_receive_timeout(void);
// Mode of the input queue from $TAXAPI_QUEUE_MODE (octal, 0 to 0777; the
// owner's read and write bits always kept, execute bits dropped), else 0600.
// A value that is not such a number is named on standard error.
int api_queue_mode(void);

// Opens the queue of `path` (project id 1, keys): the key, or -1 with
// "MSltOpen() failed, errno: %d" on standard error.
int initialize_queue(const char* path, int create);
// Opens both queues (input created anew, output must exist) and empties the
// output queue of stale replies; 0, or -1 when either open failed. Both opens
// are always made.
int setup_passed_queues(const char* in, const char* out);
// Empties the output queue of what an earlier process left there (replies
// nobody read before it was killed), so none is read as a reply to a new
// request; setup_passed_queues does it before anything is sent. Returns how
// many messages were discarded (noted in the message log).
int api_discard_stale_replies(void);
// Receives the next message into msgin_raw/msgin: 1 received, 0 when the
// loop is to end (a receive failure, the input queue gone, or a caught
// signal whose queues are already removed). Does not return when the watch
// finds the parent or a queue gone.
int get_next_message(void);
// Removes both queues through the message-slot layer and forgets their ids.
void api_close_queues(void);
// Removes the queue with id `qid` (one this process opened).
void terminate_queue(int qid);
// Waits up to `max_ms` for the ERP to read what is still in the output queue,
// so removing the queue does not destroy a last reply. Returns at once when
// the queue is empty or gone.
void api_drain_output(int max_ms);

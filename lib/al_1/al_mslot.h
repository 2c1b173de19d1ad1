// al_mslot: message slots, a thin stateless wrapper over System V queues.
//
// Callers hold a queue by its IPC key (flag 0) rather than its id, so every
// operation looks the id up again: a queue removed and created anew under the
// same key is found again, and a removed queue is noticed at once. Failures
// are reported through errno (cleared at the start of every operation) and a
// small int result.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <ctime>

constexpr int MSLT_MAX_TEXT = 4096;  // text bytes one message carries at most
constexpr int MSLT_POLL_MS = 10;     // the receive's pause between attempts

void al_SetErrno(int err);
int al_GetErrno(void);

// Opens the queue of file `path` (ftok with `proj_id`). A nonzero `create`
// removes a stale queue of this user's under the key (its messages are lost)
// and creates it anew with the create mode (MSltSetCreateMode), marked as
// this process's (MSltMarkInUse). A queue under the key that another user
// owns or created is never removed: the open fails with EEXIST (or EACCES
// when it cannot even be looked at); nor is one of this user's that another
// live process uses (MSltInUse): EBUSY. Returns the key (want_id 0) or the
// id (want_id nonzero), or -1.
int MSltOpen(int proj_id, const char* path, int create, int want_id);
// The same, handing back both the key and the id; 0, or -1.
int MSltOpenKeyId(int proj_id, const char* path, int create, int* key, int* id);

// Nonzero when queue `qid` is this user's: owned and created by it. Another
// user's queue under the same key (ftok keys collide) is theirs.
int MSltIsOwnQueue(int qid);

// Whether another live process uses queue `qid`: 1 yes, 0 no (stale, or
// this process's own), -1 when it cannot be looked at. Keys of queue files
// collide (ftok keeps 16 bits of the inode), so a key may name a queue of
// another session of the same user. A queue is in use while the process
// that last received from it lives (the owner of a queue is its receiver);
// one nobody ever received from is in use while its last sender lives, or
// for MSLT_FRESH_SECONDS after it was made (an ERP's new output queue,
// waiting for the process it started). A queue left by a killed process is
// not in use, even while its ERP, the last sender, lives.
int MSltInUse(int qid);
constexpr long MSLT_FRESH_SECONDS = 300;
// What MSltInUse judges by, as IPC_STAT gives it, and the judgement itself
// for process `self` at time `now`, `alive` telling whether a process exists.
struct MSltQueueUsers {
  pid_t last_receiver;  // msg_lrpid; 0: nobody received yet
  pid_t last_sender;    // msg_lspid; 0: nobody sent yet
  time_t made;          // msg_ctime
};
int MSltJudgeInUse(const MSltQueueUsers& users, pid_t self, time_t now, bool (*alive)(pid_t));
// Sends a message to `qid` and takes it back at once, so the queue names
// this process as its last receiver and sender (MSltInUse) before the first
// real message. 0, or -1 when it could not.
int MSltMarkInUse(int qid);

// Permission bits of the queues MSltOpen creates; default 0600 (owner only).
void MSltSetCreateMode(int mode);
int MSltGetCreateMode(void);

// Receives a message of type `type` (0: any) within `timeout` ms (> 0: up to
// ceil(timeout/10) pauses of 10 ms and one attempt more; 0: one attempt;
// < 0: wait as long as it takes). A pause ends as soon as a message arrives.
// The text is copied to `dest` with a NUL added; `dest` must hold 4097 bytes.
// *len gets the text length (0 when the queue could not be resolved, -1 when
// the receive failed); a text longer than MSLT_MAX_TEXT is cut to it and
// reported as MSLT_MAX_TEXT + 1. Returns the message type when it fits an
// int, else -1.
int MSltRecv(int handle, int type, int timeout, char* dest, int* len, int is_id);
// The same for a destination of `dest_size` bytes: a longer text is cut to
// dest_size - 1 bytes, and *len still reports its whole length, so the
// caller can tell a cut text (*len >= dest_size) from a whole one. The
// length is that of the text, the bytes before its first NUL: a sender may
// or may not send the terminating NUL.
int MSltRecvSized(int handle, int type, int timeout, char* dest, std::size_t dest_size, int* len, int is_id);

// Sends `len` bytes of `text` (cut to 4096; type 0 is sent as 1). Returns 1
// when sent, 0 when not. A full queue is waited on for room, up to the send
// wait (MSltSetSendWait), then the send fails with EAGAIN.
int MSltSend(int handle, int type, const char* text, int len, int is_id);

// Removes the queue (for every process). 0, or -1 when there is no queue.
int MSltClose(int handle, int is_id);

// Number of messages waiting in the queue, or -1 when there is no queue.
int MSltPending(int handle, int is_id);

// How long a send waits for room in a full queue, in ms (0: fail at once).
void MSltSetSendWait(int ms);
int MSltGetSendWait(void);

// A flag (set by a signal handler) that ends any wait of this layer early:
// the wait then fails with errno EINTR. Null: no such flag.
void MSltSetInterrupt(volatile std::sig_atomic_t* flag);

// al_os: the one thin seam between the runtime and the operating system.
//
// Every queue call, every dynamic-loader call and every log-file open of the
// process goes through these wrappers, so that tests can make the Nth call of
// one kind fail with an errno of their choice (al_os_fail_nth) and so exercise
// each failure path for real. Without an armed fault each wrapper is the plain
// system call.
#pragma once

#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstdio>

enum al_os_call {
  AL_OS_FTOK,
  AL_OS_MSGGET,
  AL_OS_MSGSND,
  AL_OS_MSGRCV,
  AL_OS_MSGCTL,
  AL_OS_DLOPEN,
  AL_OS_DLSYM,
  AL_OS_FOPEN,
  AL_OS_WRITE,
  AL_OS_CALL_COUNT
};

// Arms a fault: the `nth` next call of kind `call` (1 = the very next one)
// fails with `err` and the calls before and after it run normally. With
// `repeat` nonzero every call from the nth on fails. Not thread safe: the
// process is single-threaded.
void al_os_fail_nth(al_os_call call, int nth, int err, int repeat = 0);
// Disarms every fault and zeroes the call counters.
void al_os_reset(void);
// Number of calls of kind `call` since the last reset.
long al_os_calls(al_os_call call);

key_t al_os_ftok(const char* path, int proj_id);
int al_os_msgget(key_t key, int flags);
int al_os_msgsnd(int qid, const void* msg, size_t size, int flags);
ssize_t al_os_msgrcv(int qid, void* msg, size_t size, long type, int flags);
int al_os_msgctl_rmid(int qid);
// Number of messages waiting in the queue (msgctl IPC_STAT), or -1.
long al_os_msgctl_qnum(int qid);
// Owner and creator of the queue (msgctl IPC_STAT); 0, or -1 with errno.
int al_os_msgctl_owner(int qid, uid_t* uid, uid_t* cuid);
// The queue's whole state (msgctl IPC_STAT); 0, or -1 with errno.
int al_os_msgctl_stat(int qid, struct msqid_ds* ds);
// dlopen/dlsym/dlerror: an injected failure makes al_os_dlerror return
// "injected fault: <strerror(err)>" once, as the loader would see a real one.
void* al_os_dlopen(const char* file, int mode);
void* al_os_dlsym(void* handle, const char* name);
const char* al_os_dlerror(void);
FILE* al_os_fopen(const char* path, const char* mode);
// open(2); counted and failed as a file open (AL_OS_FOPEN).
int al_os_open(const char* path, int flags, mode_t mode);
// writev(2) to a log file. An injected ENOSPC writes the first half of what
// it was given before it fails, as a disk that fills up mid-entry does.
ssize_t al_os_writev(int fd, const struct iovec* iov, int count);

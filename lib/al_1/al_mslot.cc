#include "al_mslot.h"

#include <sys/msg.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <ctime>

#include "al_ncpst.h"
#include "al_os.h"
#include "al_tick.h"

namespace {

// Room for the largest text plus the terminator ncopystr writes.
struct SlotMessage {
  long mtype;
  char mtext[MSLT_MAX_TEXT + 1];
};

SlotMessage g_recv;
SlotMessage g_send;
int g_send_wait_ms = 30000;
int g_create_mode = 0600;
volatile std::sig_atomic_t* g_interrupt = nullptr;

bool interrupted() { return g_interrupt != nullptr && *g_interrupt != 0; }

// Resolves a handle to a queue id; -1 with errno set when there is none.
int resolve(int handle, int is_id) {
  if (is_id) {
    if (handle == -1) {
      errno = EINVAL;
      return -1;
    }
    return handle;
  }
  return al_os_msgget(static_cast<key_t>(handle), 0);
}

// One attempt. An oversized message is taken cut (MSG_NOERROR) instead of
// being left in the queue for ever, where it would fail every later
// receive; its length is then reported as one more than fits.
ssize_t attempt(int qid, long type, int flags) {
  const ssize_t got = al_os_msgrcv(qid, &g_recv, MSLT_MAX_TEXT, type, flags);
  if (got >= 0 || errno != E2BIG) return got;
  const ssize_t cut = al_os_msgrcv(qid, &g_recv, MSLT_MAX_TEXT, type, IPC_NOWAIT | MSG_NOERROR);
  return cut < 0 ? cut : MSLT_MAX_TEXT + 1;
}

using Clock = std::chrono::steady_clock;

// Milliseconds to the deadline, rounded up: a wait never ends early.
int ms_left(Clock::time_point deadline) {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  return us > 0 ? static_cast<int>((us + 999) / 1000) : 0;
}

// A receive that waits up to `timeout_ms` in one blocking msgrcv, ended by a
// single alarm at the deadline: an idle process sleeps through the whole
// time-out instead of waking every few milliseconds, and still takes a
// message the moment it arrives. A caught signal (the interrupt flag) ends
// the wait at once with EINTR; the time-out ends it with ENOMSG.
ssize_t wait_for_message(int qid, long type, int timeout_ms) {
  ssize_t got = attempt(qid, type, IPC_NOWAIT);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (got < 0 && errno == ENOMSG) {
    if (interrupted()) {
      errno = EINTR;
      break;
    }
    const int left = ms_left(deadline);
    if (left == 0) break;
    AlarmTicker alarm(left, /*repeat=*/false);
    got = attempt(qid, type, 0);
    if (got < 0 && errno == EINTR) {
      // The alarm, a signal, or both: one last look, then decide.
      got = attempt(qid, type, IPC_NOWAIT);
    }
  }
  return got;
}

}  // namespace

void al_SetErrno(int err) { errno = err; }
int al_GetErrno(void) { return errno; }

void MSltSetSendWait(int ms) { g_send_wait_ms = ms < 0 ? 0 : ms; }
int MSltGetSendWait(void) { return g_send_wait_ms; }
void MSltSetInterrupt(volatile std::sig_atomic_t* flag) { g_interrupt = flag; }

void MSltSetCreateMode(int mode) { g_create_mode = mode & 0777; }
int MSltGetCreateMode(void) { return g_create_mode; }

int MSltIsOwnQueue(int qid) {
  uid_t uid = 0;
  uid_t cuid = 0;
  if (al_os_msgctl_owner(qid, &uid, &cuid) != 0) return 0;
  const uid_t me = geteuid();
  return uid == me && cuid == me ? 1 : 0;
}

namespace {

// Whether process `pid` exists (a process of another user's included).
bool alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The type of the marking message: one no caller sends or asks for.
constexpr long kMarkType = 0x7fffffffL;

}  // namespace

int MSltJudgeInUse(const MSltQueueUsers& users, pid_t self, time_t now, bool (*alive)(pid_t)) {
  if (users.last_receiver == self) return 0;
  if (users.last_receiver != 0) return alive(users.last_receiver) ? 1 : 0;
  if (users.last_sender != 0 && users.last_sender != self && alive(users.last_sender)) return 1;
  return now - users.made < MSLT_FRESH_SECONDS ? 1 : 0;
}

int MSltInUse(int qid) {
  struct msqid_ds ds {};
  if (al_os_msgctl_stat(qid, &ds) != 0) return -1;
  return MSltJudgeInUse({ds.msg_lrpid, ds.msg_lspid, ds.msg_ctime}, getpid(), time(nullptr), alive);
}

int MSltMarkInUse(int qid) {
  SlotMessage& m = g_send;
  m.mtype = kMarkType;
  if (al_os_msgsnd(qid, &m, 0, IPC_NOWAIT) != 0) return -1;
  return al_os_msgrcv(qid, &g_recv, 0, kMarkType, IPC_NOWAIT) < 0 ? -1 : 0;
}

int MSltOpenKeyId(int proj_id, const char* path, int create, int* key_out, int* id_out) {
  al_SetErrno(0);
  const key_t key = al_os_ftok(path, proj_id);
  if (key == -1) return -1;
  int qid = al_os_msgget(key, 0);
  if (create) {
    if (qid == -1 && errno == EACCES) return -1;  // someone else's, out of our reach
    if (qid != -1) {
      if (MSltIsOwnQueue(qid) == 0) {
        if (errno == 0) errno = EEXIST;
        return -1;
      }
      if (MSltInUse(qid) != 0) {
        errno = EBUSY;  // another session's queue under a colliding key
        return -1;
      }
      al_os_msgctl_rmid(qid);
    }
    al_SetErrno(0);
    // Exclusive: a queue another user slips in under the key meanwhile is
    // not taken over.
    qid = al_os_msgget(key, IPC_CREAT | IPC_EXCL | g_create_mode);
    if (qid != -1) MSltMarkInUse(qid);
  }
  if (qid == -1) return -1;
  al_SetErrno(0);
  if (key_out != nullptr) *key_out = static_cast<int>(key);
  if (id_out != nullptr) *id_out = qid;
  return 0;
}

int MSltOpen(int proj_id, const char* path, int create, int want_id) {
  int key = -1;
  int qid = -1;
  if (MSltOpenKeyId(proj_id, path, create, &key, &qid) != 0) return -1;
  return want_id ? qid : key;
}

int MSltRecvSized(int handle, int type, int timeout, char* dest, std::size_t dest_size, int* len, int is_id) {
  al_SetErrno(0);
  *len = 0;
  const int qid = resolve(handle, is_id);
  if (qid == -1) return -1;

  ssize_t got = -1;
  if (timeout > 0) {
    got = wait_for_message(qid, type, timeout);
  } else {
    got = attempt(qid, type, timeout == 0 ? IPC_NOWAIT : 0);
  }

  if (got < 0) {
    *len = -1;
    return -1;
  }
  al_SetErrno(0);
  std::size_t keep = static_cast<std::size_t>(got);
  if (keep > MSLT_MAX_TEXT) keep = MSLT_MAX_TEXT;
  if (dest_size != 0) {
    if (keep > dest_size - 1) keep = dest_size - 1;
    ncopystr(dest, g_recv.mtext, keep, 1);
  }
  // The text's own length: a NUL the sender added is not part of it.
  const std::size_t held =
      static_cast<std::size_t>(got) > MSLT_MAX_TEXT ? MSLT_MAX_TEXT : static_cast<std::size_t>(got);
  const std::size_t text = strnlen(g_recv.mtext, held);
  *len = text == held ? static_cast<int>(got) : static_cast<int>(text);
  if (g_recv.mtype > INT_MAX || g_recv.mtype < INT_MIN) return -1;
  return static_cast<int>(g_recv.mtype);
}

int MSltRecv(int handle, int type, int timeout, char* dest, int* len, int is_id) {
  return MSltRecvSized(handle, type, timeout, dest, MSLT_MAX_TEXT + 1, len, is_id);
}

int MSltSend(int handle, int type, const char* text, int len, int is_id) {
  al_SetErrno(0);
  const int qid = resolve(handle, is_id);
  if (qid == -1) return 0;
  g_send.mtype = type == 0 ? 1 : type;
  if (len > MSLT_MAX_TEXT) len = MSLT_MAX_TEXT;
  if (len < 0) len = 0;
  ncopystr(g_send.mtext, text != nullptr ? text : "", static_cast<std::size_t>(len), 1);
  const std::size_t size = static_cast<std::size_t>(len);

  if (al_os_msgsnd(qid, &g_send, size, IPC_NOWAIT) == 0) {
    al_SetErrno(0);
    return 1;
  }
  if (errno != EAGAIN || g_send_wait_ms == 0) return 0;

  // The queue is full: wait for room in one blocking send bounded by the
  // send wait, so a slow reader gets every message and a dead one cannot
  // hang us.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(g_send_wait_ms);
  for (;;) {
    if (interrupted()) {
      errno = EINTR;
      return 0;
    }
    const int left = ms_left(deadline);
    if (left == 0) break;
    AlarmTicker alarm(left, /*repeat=*/false);
    if (al_os_msgsnd(qid, &g_send, size, 0) == 0) {
      al_SetErrno(0);
      return 1;
    }
    if (errno != EINTR) return 0;
  }
  errno = EAGAIN;
  return 0;
}

int MSltPending(int handle, int is_id) {
  al_SetErrno(0);
  const int qid = resolve(handle, is_id);
  if (qid == -1) return -1;
  const long n = al_os_msgctl_qnum(qid);
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int MSltClose(int handle, int is_id) {
  al_SetErrno(0);
  const int qid = resolve(handle, is_id);
  if (qid == -1) return -1;
  return al_os_msgctl_rmid(qid);
}

#include "al_os.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/msg.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct Fault {
  long calls = 0;
  long fail_at = 0;  // 0: no fault armed
  int err = 0;
  bool repeat = false;
};

std::array<Fault, AL_OS_CALL_COUNT> g_faults;
char g_dlerror[128];
bool g_dlerror_pending = false;

// Counts the call; true (with errno set) when this call is to fail.
bool injected(al_os_call call) {
  Fault& f = g_faults[call];
  ++f.calls;
  if (f.fail_at == 0) return false;
  if (f.calls == f.fail_at || (f.repeat && f.calls > f.fail_at)) {
    errno = f.err;
    return true;
  }
  return false;
}

void set_dl_fault(int err) {
  std::snprintf(g_dlerror, sizeof g_dlerror, "injected fault: %s", std::strerror(err));
  g_dlerror_pending = true;
}

}  // namespace

void al_os_fail_nth(al_os_call call, int nth, int err, int repeat) {
  Fault& f = g_faults[call];
  f.fail_at = nth <= 0 ? 0 : f.calls + nth;
  f.err = err;
  f.repeat = repeat != 0;
}

void al_os_reset(void) {
  g_faults = {};
  g_dlerror_pending = false;
}

long al_os_calls(al_os_call call) { return g_faults[call].calls; }

key_t al_os_ftok(const char* path, int proj_id) {
  if (injected(AL_OS_FTOK)) return -1;
  return ftok(path, proj_id);
}

int al_os_msgget(key_t key, int flags) {
  if (injected(AL_OS_MSGGET)) return -1;
  return msgget(key, flags);
}

int al_os_msgsnd(int qid, const void* msg, size_t size, int flags) {
  if (injected(AL_OS_MSGSND)) return -1;
  return msgsnd(qid, msg, size, flags);
}

ssize_t al_os_msgrcv(int qid, void* msg, size_t size, long type, int flags) {
  if (injected(AL_OS_MSGRCV)) return -1;
  return msgrcv(qid, msg, size, type, flags);
}

int al_os_msgctl_rmid(int qid) {
  if (injected(AL_OS_MSGCTL)) return -1;
  return msgctl(qid, IPC_RMID, nullptr);
}

long al_os_msgctl_qnum(int qid) {
  if (injected(AL_OS_MSGCTL)) return -1;
  struct msqid_ds ds {};
  if (msgctl(qid, IPC_STAT, &ds) == -1) return -1;
  return static_cast<long>(ds.msg_qnum);
}

int al_os_msgctl_owner(int qid, uid_t* uid, uid_t* cuid) {
  if (injected(AL_OS_MSGCTL)) return -1;
  struct msqid_ds ds {};
  if (msgctl(qid, IPC_STAT, &ds) == -1) return -1;
  *uid = ds.msg_perm.uid;
  *cuid = ds.msg_perm.cuid;
  return 0;
}

int al_os_msgctl_stat(int qid, struct msqid_ds* ds) {
  if (injected(AL_OS_MSGCTL)) return -1;
  return msgctl(qid, IPC_STAT, ds);
}

void* al_os_dlopen(const char* file, int mode) {
  if (injected(AL_OS_DLOPEN)) {
    set_dl_fault(errno);
    return nullptr;
  }
  return dlopen(file, mode);
}

void* al_os_dlsym(void* handle, const char* name) {
  if (injected(AL_OS_DLSYM)) {
    set_dl_fault(errno);
    return nullptr;
  }
  dlerror();  // a stale text must not be mistaken for this lookup's
  return dlsym(handle, name);
}

const char* al_os_dlerror(void) {
  if (g_dlerror_pending) {
    g_dlerror_pending = false;
    return g_dlerror;
  }
  return dlerror();
}

FILE* al_os_fopen(const char* path, const char* mode) {
  if (injected(AL_OS_FOPEN)) return nullptr;
  return std::fopen(path, mode);
}

int al_os_open(const char* path, int flags, mode_t mode) {
  if (injected(AL_OS_FOPEN)) return -1;
  return open(path, flags, mode);
}

ssize_t al_os_writev(int fd, const struct iovec* iov, int count) {
  if (injected(AL_OS_WRITE)) {
    const int err = errno;
    if (err == ENOSPC && count > 0 && iov[0].iov_len > 1) {
      if (write(fd, iov[0].iov_base, iov[0].iov_len / 2) < 0) {
        // the torn half is what the fault is about; a failure here changes nothing
      }
    }
    errno = err;
    return -1;
  }
  return writev(fd, iov, count);
}

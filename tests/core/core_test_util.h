// Helpers of the core tests: temporary directories, queues that are removed
// whatever happens, environment guards, captured standard streams and the
// reset of the process-wide state. Header-only, test code only.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"

namespace coretest {

using test_util::EnvGuard;
using test_util::FdCapture;
using test_util::lines_of;
using test_util::slurp;

// A directory of its own under /tmp, removed with everything in it.
struct TempDir : test_util::TempDir {
  TempDir() : test_util::TempDir("core_test_") {}
};

// Queue key of a queue file, as the process computes it (project id 1).
inline int key_of(const std::string& path) { return static_cast<int>(ftok(path.c_str(), 1)); }
// Queue id of a queue file, or -1 when there is no queue.
inline int qid_of(const std::string& path) {
  const key_t key = ftok(path.c_str(), 1);
  return key == -1 ? -1 : msgget(key, 0);
}

// Removes, on destruction, every queue whose key it was given. Keys are
// taken while the files exist, so the guard works even after the directory
// has gone. Declare it after the TempDir it watches.
class QueueGuard {
 public:
  QueueGuard() = default;
  ~QueueGuard() { remove_all(); }
  QueueGuard(const QueueGuard&) = delete;
  QueueGuard& operator=(const QueueGuard&) = delete;

  // Watches the queue of `path` (the file must exist); returns its key.
  int watch(const std::string& path) {
    const key_t key = ftok(path.c_str(), 1);
    if (key != -1) keys_.push_back(key);
    return static_cast<int>(key);
  }
  // Creates a fresh, empty queue for the file `path` and watches it; its key.
  int create(const std::string& path) {
    const int key = watch(path);
    if (key == -1) return -1;
    const int old = msgget(key, 0);
    if (old != -1) msgctl(old, IPC_RMID, nullptr);
    return msgget(key, IPC_CREAT | 0666) == -1 ? -1 : key;
  }
  void remove_all() {
    for (key_t key : keys_) {
      const int qid = msgget(key, 0);
      if (qid != -1) msgctl(qid, IPC_RMID, nullptr);
    }
  }

 private:
  std::vector<key_t> keys_;
};

struct RawMessage {
  long mtype;
  char mtext[8192];
};

// Puts `text` (with its NUL) on the queue with key `key`; false on failure.
inline bool put(int key, const std::string& text, long type = 1) {
  const int qid = msgget(key, 0);
  if (qid == -1) return false;
  static RawMessage m;
  if (text.size() + 1 > sizeof m.mtext) return false;
  m.mtype = type;
  std::memcpy(m.mtext, text.c_str(), text.size() + 1);
  return msgsnd(qid, &m, text.size() + 1, IPC_NOWAIT) == 0;
}
// Puts exactly `size` bytes of `bytes` on the queue.
inline bool put_bytes(int key, const std::string& bytes, long type = 1) {
  const int qid = msgget(key, 0);
  if (qid == -1) return false;
  static RawMessage m;
  if (bytes.size() > sizeof m.mtext) return false;
  m.mtype = type;
  std::memcpy(m.mtext, bytes.data(), bytes.size());
  return msgsnd(qid, &m, bytes.size(), IPC_NOWAIT) == 0;
}
// Takes the next message off the queue without waiting: its text up to the
// first NUL, or nullopt when there is none. *type gets its message type.
inline std::optional<std::string> take(int key, long* type = nullptr) {
  const int qid = msgget(key, 0);
  if (qid == -1) return std::nullopt;
  static RawMessage m;
  const ssize_t n = msgrcv(qid, &m, sizeof m.mtext, 0, IPC_NOWAIT | MSG_NOERROR);
  if (n < 0) return std::nullopt;
  if (type != nullptr) *type = m.mtype;
  return std::string(m.mtext, strnlen(m.mtext, static_cast<std::size_t>(n)));
}
// Every message now on the queue, in order.
inline std::vector<std::string> drain(int key) {
  std::vector<std::string> all;
  while (std::optional<std::string> m = take(key)) all.push_back(*m);
  return all;
}
// Number of messages on the queue, -1 when there is no queue.
inline long pending(int key) {
  const int qid = msgget(key, 0);
  if (qid == -1) return -1;
  struct msqid_ds ds {};
  if (msgctl(qid, IPC_STAT, &ds) != 0) return -1;
  return static_cast<long>(ds.msg_qnum);
}

inline std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace coretest

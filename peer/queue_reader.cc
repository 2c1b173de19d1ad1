#include "queue_reader.h"

#include <sys/msg.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "al_mslot.h"

namespace erp {

namespace {

struct ReaderMessage {
  long mtype;
  char mtext[MSLT_MAX_TEXT + 1];
};

// Linux: the system call thread `tid` of this process is blocked in, or -1.
long current_syscall(pid_t tid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", static_cast<int>(tid));
  FILE* f = std::fopen(path, "re");
  if (f == nullptr) return -1;
  long call = -1;
  // The kernel writes the number; a failed conversion is caught by the count.
  if (std::fscanf(f, "%ld", &call) != 1) call = -1;  // NOLINT(cert-err34-c)
  std::fclose(f);
  return call;
}

}  // namespace

QueueReader::QueueReader(int qid) : qid_(qid) {
  thread_ = std::thread([this] { run(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t tid = tid_.load();
    if (tid != 0 && current_syscall(tid) == SYS_msgrcv) {
      waiting_ = true;
      break;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ended_) break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

QueueReader::~QueueReader() { finish(); }

void QueueReader::run() {
  tid_ = static_cast<pid_t>(syscall(SYS_gettid));
  ReaderMessage m;
  for (;;) {
    const ssize_t n = msgrcv(qid_, &m, MSLT_MAX_TEXT, 0, MSG_NOERROR);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // the queue has gone
    }
    if (m.mtype == kWakeType) break;
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(m.mtext, strnlen(m.mtext, static_cast<std::size_t>(n)));
    arrived_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  arrived_.notify_all();
}

bool QueueReader::wait_for(std::size_t count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return ended_ || texts_.size() >= count; });
  return texts_.size() >= count;
}

std::vector<std::string> QueueReader::finish() {
  if (thread_.joinable()) {
    bool ended = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended = ended_;
    }
    if (!ended) {
      // msgsnd's buffer, read by the kernel through its address.
      struct {
        // cppcheck-suppress unusedStructMember
        long mtype;
        // cppcheck-suppress unusedStructMember
        char mtext[1];
      } wake = {kWakeType, {0}};
      // Blocking: the wake-up must reach the reader even behind a full queue;
      // a removed queue has already ended it.
      while (msgsnd(qid_, &wake, 1, 0) == -1 && errno == EINTR) {
      }
    }
    thread_.join();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}

}  // namespace erp

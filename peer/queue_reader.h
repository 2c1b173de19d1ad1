// queue_reader: a thread that sits blocked in msgrcv on one queue and keeps
// every message it is handed.
//
// The process removes the ERP's output queue at its normal termination, right
// after a start-up error reply; a reader that calls msgrcv only afterwards
// finds the reply destroyed with the queue. A reader already blocked in
// msgrcv is handed the message by the kernel at the send, so nothing is lost.
// The reader owns its thread; finish() (or the destructor) stops it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace erp {

class QueueReader {
 public:
  // Starts the thread and returns once it is blocked in msgrcv on `qid`
  // (bounded: at most about 10 s; waiting() tells whether it got there).
  explicit QueueReader(int qid);
  ~QueueReader();
  QueueReader(const QueueReader&) = delete;
  QueueReader& operator=(const QueueReader&) = delete;

  bool waiting() const { return waiting_; }
  // Waits up to `timeout_ms` until at least `count` texts arrived or the queue
  // has gone; true when `count` texts are there.
  bool wait_for(std::size_t count, int timeout_ms);
  // Stops the reader (the queue may be gone already) and returns every text
  // in order of arrival.
  std::vector<std::string> finish();

  // Message type that only wakes the reader; it is never kept.
  static constexpr long kWakeType = 0x7ffffff0;

 private:
  void run();

  int qid_;
  std::atomic<pid_t> tid_ {0};
  bool waiting_ = false;
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool ended_ = false;
  std::vector<std::string> texts_;
  std::thread thread_;
};

}  // namespace erp

// output_queue: a real System V queue made for one test and set as the
// process's output queue (msq_out), so what the senders put on it can be read
// back. The object owns the queue and its directory: on destruction the queue
// goes with what it holds and msq_out is -1 again. One at a time.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "test_util.h"

namespace test_util {

class OutputQueue {
 public:
  OutputQueue();
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  bool ok() const { return key_ != -1; }
  // The next message's text, or nullopt when none arrives within `ms`.
  std::optional<std::string> receive(int ms = 1000) const;
  // Every message waiting now, in order.
  std::vector<std::string> drain() const;

 private:
  TempDir dir_{"outq_"};
  int key_ = -1;
};

}  // namespace test_util

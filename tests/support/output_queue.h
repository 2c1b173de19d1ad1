// output_queue: a real System V queue made for one test and set as the
// process's output queue (msq_out), so that what the senders put on it can
// be read back.
//
// Ownership: the queue, its key file and the directory holding it belong to
// the object; on destruction the queue is removed (with whatever it still
// holds), msq_out is set back to -1 and the directory goes - also when the
// test fails. Not copyable; one at a time, as msq_out is process-wide.
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

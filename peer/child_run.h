// child_run: runs a program to its end and keeps what it wrote.
#pragma once

#include <string>
#include <vector>

namespace erp {

struct ChildResult {
  int status = -1;  // exit status, 128 + signal when killed by one, -1 when it could not be run
  bool timed_out = false;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs argv[0] (a path) with exactly the environment `env` ("NAME=value"
// entries), reading both of its output streams; after `timeout_ms` it is
// killed and timed_out set.
ChildResult run_child(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeout_ms);

}  // namespace erp

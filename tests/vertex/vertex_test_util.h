// vertex_test_util: helpers shared by the Vertex tests - a temporary
// directory removed with everything in it, environment variables restored
// after a test, file reading and the output queue of the senders.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "output_queue.h"
#include "test_util.h"

// A temporary directory removed with everything in it; throws when it
// cannot be made.
struct TempDir : test_util::TempDir {
  TempDir() : test_util::TempDir("vtx_test_", true) {}
};

using test_util::EnvGuard;

inline std::string read_file(const std::string& path) { return test_util::slurp(path); }
inline std::vector<std::string> split_lines(const std::string& text) { return test_util::lines_of(text); }
// The "Log mesg: " texts of a Vertex log file.
std::vector<std::string> log_file_messages(const std::string& path);

// The variables the Vertex session reads, all of them.
extern const char* const kVertexVariables[8];

using test_util::OutputQueue;

// Disarms every injected OS fault when the test ends, however it ends.
struct OsFaultGuard {
  OsFaultGuard();
  ~OsFaultGuard();
};

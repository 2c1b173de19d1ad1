// vertex_test_util: helpers shared by the Vertex tests - a temporary
// directory removed with everything in it, environment variables restored
// after a test, and file reading.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets and unsets variables; every variable it touched gets its old value
// (or absence) back on destruction.
class EnvGuard {
 public:
  EnvGuard() = default;
  ~EnvGuard();
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);

 private:
  void remember(const std::string& name);
  std::map<std::string, std::optional<std::string>> saved_;
};

std::string read_file(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);
// The "Log mesg: " texts of a Vertex log file.
std::vector<std::string> log_file_messages(const std::string& path);

// The variables the Vertex session reads, all of them.
extern const char* const kVertexVariables[8];

// A real System V queue made for one test and set as the process's output
// queue (msq_out), so the adapters' senders can be read back. Removed, and
// msq_out reset, on destruction - also when the test fails.
class OutputQueue {
 public:
  OutputQueue();
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;
  bool ok() const { return key_ != -1; }
  // The next message's text, or nullopt when none arrives within `ms`.
  std::optional<std::string> receive(int ms = 1000);
  // Every message waiting now.
  std::vector<std::string> drain();

 private:
  TempDir dir_;
  int key_ = -1;
};

// Disarms every injected OS fault when the test ends, however it ends.
struct OsFaultGuard {
  OsFaultGuard();
  ~OsFaultGuard();
};

// test_util: helpers every test folder needs. Test code only; it depends on
// nothing but the C++ and C libraries. Each guard owns what it made or saved
// and gives it back on destruction, also when the test fails; none is copyable.
#pragma once

#include <cctype>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_util {

// A directory of its own, /tmp/<prefix>XXXXXX (mkdtemp), removed with
// everything in it. When mkdtemp fails the path is empty (ok() false), or a
// std::runtime_error is thrown when asked for.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "test_", bool throw_on_failure = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string at(const std::string& rel) const { return path_ + "/" + rel; }
  // Each makes `rel` (parents too) and returns its path: a directory; a file
  // with `text` (replacing it); a copy of the file `from`; a file, if missing.
  std::string mkdir(const std::string& rel) const;
  std::string write(const std::string& rel, const std::string& text) const;
  std::string copy(const std::string& from, const std::string& rel) const;
  std::string touch(const std::string& rel) const;

 private:
  std::string path_;
};

// Saves environment variables (each once, before the guard first changes or
// names it) and gives each its old value or absence back on restore().
class EnvGuard {
 public:
  EnvGuard() = default;
  EnvGuard(std::initializer_list<const char*> names);
  ~EnvGuard() { restore(); }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

  void save(const std::string& name);
  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);
  void restore();

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The whole content of a file; "" when it cannot be read.
std::string slurp(const std::string& path);
void write_file(const std::string& path, const std::string& text);
// The lines of `text` without their newlines, empty ones included.
std::vector<std::string> lines_of(const std::string& text);
// The message texts of a log (what follows ": Log mesg: " on each line).
std::vector<std::string> log_messages(const std::string& text);
// Standard output of `command` run by /bin/sh; *status gets the pclose
// status (-1 when the shell could not be started).
std::string shell_output(const std::string& command, int* status);

// Sends the file descriptor `fd` (1 or 2) to `file` until restore(); both
// streams are flushed at each switch.
class FdCapture {
 public:
  FdCapture(int fd, const std::string& file);
  ~FdCapture() { restore(); }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  void restore();
  const std::string& file() const { return file_; }
  // Restores the descriptor, then reads what was written.
  std::string text() {
    restore();
    return slurp(file_);
  }

 private:
  int fd_;
  std::string file_;
  int saved_ = -1;
};

// A parameterized test's name from its row's `name`: letters and digits, the
// rest "_" (for INSTANTIATE_TEST_SUITE_P).
struct RowName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    std::string name = info.param.name;
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
  }
};

}  // namespace test_util

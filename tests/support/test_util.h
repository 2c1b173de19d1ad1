// test_util: the helpers every test folder needs - a temporary directory
// removed with everything in it, an environment guard, whole-file reads,
// line splitting and the capture of a standard stream. Test code only; it
// depends on nothing but the C++ and C libraries.
//
// Ownership: each guard owns what it made or saved (the directory, the saved
// variables, the duplicated descriptor) and gives it back on destruction,
// also when the test fails. None of them may be copied.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_util {

// A directory of its own, made with mkdtemp as /tmp/<prefix>XXXXXX and
// removed with everything in it on destruction. When mkdtemp fails the path
// is empty (ok() false), or a std::runtime_error is thrown when asked for.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "test_", bool throw_on_failure = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The path of `rel` inside the directory (nothing is made).
  std::string at(const std::string& rel) const { return path_ + "/" + rel; }
  // Creates the directory `rel` with its parents; returns its path.
  std::string mkdir(const std::string& rel) const;
  // Writes `text` to the file `rel` (parents made, old content replaced);
  // returns its path.
  std::string write(const std::string& rel, const std::string& text) const;
  // Copies the file `from` to `rel` (parents made, overwriting); its path.
  std::string copy(const std::string& from, const std::string& rel) const;
  // Creates the file `rel` if it is missing, leaving any content; its path.
  std::string touch(const std::string& rel) const;

 private:
  std::string path_;
};

// Saves environment variables and gives each its old value (or absence)
// back on destruction or restore(). A variable is saved once, before the
// guard first changes or names it.
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
  // Puts every saved variable back, in the order saved, and forgets them.
  void restore();

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The whole content of a file; "" when it cannot be read.
std::string slurp(const std::string& path);
// Replaces the content of the file `path` with `text`.
void write_file(const std::string& path, const std::string& text);
// The lines of `text` without their newlines, empty ones included.
std::vector<std::string> lines_of(const std::string& text);
// The message texts of a log (what follows ": Log mesg: " on each line).
std::vector<std::string> log_messages(const std::string& text);

// Runs `command` with /bin/sh and returns its standard output; *status gets
// the pclose status (-1 when the shell could not be started).
std::string shell_output(const std::string& command, int* status);
// The variables of an `env` listing: each line's NAME=value, lines without
// "=" passed over; a later line wins.
std::map<std::string, std::string> env_listing(const std::string& text);

// Sends the file descriptor `fd` (1 or 2) to `file` until restore() or
// destruction; both streams are flushed at each switch.
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

}  // namespace test_util

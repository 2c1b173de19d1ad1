// Helpers of the runtime-support tests: temporary directories, environment
// guards and captured output. Header-only, test code only.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "al_gtenv.h"
#include "al_log.h"
#include "al_os.h"

namespace al1test {

// A directory of its own under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/al1_test_XXXXXX";
    if (mkdtemp(tmpl)) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  bool ok() const { return !path_.empty(); }
  // Creates (with parents) and returns the sub-directory `rel`.
  std::string mkdir(const std::string& rel) const {
    std::string p = path_ + "/" + rel;
    std::filesystem::create_directories(p);
    return p;
  }
  // Writes `text` to the file `rel` (parents created) and returns its path.
  std::string write(const std::string& rel, const std::string& text) const {
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  // Copies `from` to the file `rel` and returns its path.
  std::string copy(const std::string& from, const std::string& rel) const {
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::copy_file(from, p, std::filesystem::copy_options::overwrite_existing);
    return p.string();
  }

 private:
  std::string path_;
};

// Saves the named environment variables and puts them back on destruction;
// then drops the variables list, so that no test sees another's file, and
// disarms every injected fault.
class EnvGuard {
 public:
  EnvGuard(std::initializer_list<const char*> extra = {}) {
    for (const char* n : {"QSE", "QSE_BIN", "QSE_SHLIB", "LD_LIBRARY_PATH"}) save(n);
    for (const char* n : extra) save(n);
  }
  ~EnvGuard() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    read_qse_vars(nullptr, 1);
    al_os_reset();
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  void save(const char* name) {
    const char* v = getenv(name);
    saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Reads a whole file; "" when it cannot be read.
inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Sends the library message log to a temporary file for its lifetime.
class LogCapture {
 public:
  LogCapture() : file_(std::tmpfile()), saved_dest_(sDefaultDest) {
    log_mesg_set_file(file_);
    sDefaultDest = LOG_MESG_FILE;
  }
  ~LogCapture() {
    sDefaultDest = saved_dest_;
    log_mesg_set_file(nullptr);
    if (file_) std::fclose(file_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const {
    std::string out;
    if (!file_) return out;
    std::fflush(file_);
    std::rewind(file_);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  FILE* file_;
  int saved_dest_;
};

// Sends file descriptors 1 and 2 to files of `dir` for its lifetime.
class StdCapture {
 public:
  explicit StdCapture(const std::string& dir) : out_(dir + "/stdout"), err_(dir + "/stderr") {
    std::fflush(stdout);
    std::fflush(stderr);
    saved_out_ = dup(1);
    saved_err_ = dup(2);
    int o = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o >= 0) dup2(o, 1), close(o);
    if (e >= 0) dup2(e, 2), close(e);
  }
  ~StdCapture() { restore(); }
  StdCapture(const StdCapture&) = delete;
  StdCapture& operator=(const StdCapture&) = delete;

  void restore() {
    if (saved_out_ < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out_, 1);
    dup2(saved_err_, 2);
    close(saved_out_);
    close(saved_err_);
    saved_out_ = saved_err_ = -1;
  }
  std::string out() const { return slurp(out_); }
  std::string err() const { return slurp(err_); }

 private:
  std::string out_, err_;
  int saved_out_ = -1, saved_err_ = -1;
};

}  // namespace al1test

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
#include "test_util.h"

namespace al1test {

using test_util::slurp;

// A directory of its own under /tmp, removed with everything in it.
struct TempDir : test_util::TempDir {
  TempDir() : test_util::TempDir("al1_test_") {}
};

// Saves the engine-path variables (and `extra`) and puts them back on
// destruction; then drops the variables list, so that no test sees another's
// file, and disarms every injected fault.
class EnvGuard : public test_util::EnvGuard {
 public:
  EnvGuard(std::initializer_list<const char*> extra = {})
      : test_util::EnvGuard({"QSE", "QSE_BIN", "QSE_SHLIB", "LD_LIBRARY_PATH"}) {
    for (const char* n : extra) save(n);
  }
  ~EnvGuard() {
    restore();
    read_qse_vars(nullptr, 1);
    al_os_reset();
  }
};

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
  explicit StdCapture(const std::string& dir) : out_(1, dir + "/stdout"), err_(2, dir + "/stderr") {}

  void restore() {
    out_.restore();
    err_.restore();
  }
  std::string out() const { return slurp(out_.file()); }
  std::string err() const { return slurp(err_.file()); }

 private:
  test_util::FdCapture out_, err_;
};

}  // namespace al1test

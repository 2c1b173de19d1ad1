// Shared scene of the in-process Taxware tests: a temporary log directory
// with "avp.log" open as the session's stream, logging on, the ten engine
// variables set, and everything (session, faults, files, variables, output
// queue) put back when the scene ends, also when a test fails.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "al_mslot.h"
#include "al_os.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_tarn.h"
#include "avp_session.h"
#include "gtest/gtest.h"

namespace avptest {

inline int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class Scene {
 public:
  Scene() {
    char pattern[] = "/tmp/avp_test.XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    std::snprintf(log_dir, sizeof log_dir, "%s", dir_.c_str());
    std::snprintf(username, sizeof username, "%s", "tester");
    diag_mode = 0;
    avp_session = TaxwareSession{};
    setenv("AVPDEBUG", "", 1);
    set_engine_vars();
    avp_session.avp_log_file = std::fopen(log_path().c_str(), "a+");
  }
  ~Scene() {
    if (avp_session.avp_log_file != nullptr) std::fclose(avp_session.avp_log_file);
    avp_session = TaxwareSession{};
    al_os_reset();
    diag_mode = 0;
    unsetenv("AVPDEBUG");
    for (const char* v : avp_env_vars) unsetenv(v);
    if (!dir_.empty()) nftw(dir_.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  static void set_engine_vars() {
    for (const char* v : avp_env_vars) setenv(v, (std::string("/data/") + v).c_str(), 1);
  }
  const std::string& dir() const { return dir_; }
  std::string log_path() const { return dir_ + "/avp.log"; }
  std::string log() const {
    std::ifstream in(log_path());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The messages of the log's blocks, in order, each with its newline.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    std::istringstream in(log());
    std::string line;
    const std::string mark = ": Log mesg: ";
    while (std::getline(in, line)) {
      const std::size_t at = line.find(mark);
      if (at != std::string::npos) out.push_back(line.substr(at + mark.size()) + "\n");
    }
    return out;
  }

 private:
  std::string dir_;
};

// A real output queue in its own directory for the senders; removed (with
// whatever it still holds) when the guard ends.
class OutQueue {
 public:
  OutQueue() {
    char pattern[] = "/tmp/avp_q.XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    path_ = dir_ + "/outq";
    if (FILE* f = std::fopen(path_.c_str(), "w")) std::fclose(f);
    msq_out = MSltOpen(1, path_.c_str(), 1, 0);
  }
  ~OutQueue() {
    if (msq_out != -1) MSltClose(msq_out, 0);
    msq_out = -1;
    ::remove(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  OutQueue(const OutQueue&) = delete;
  OutQueue& operator=(const OutQueue&) = delete;

  bool ok() const { return msq_out != -1; }
  // Every message waiting on the queue, in order.
  std::vector<std::string> drain() const {
    std::vector<std::string> out;
    for (;;) {
      char buf[MSLT_MAX_TEXT + 1] = {};
      int len = -1;
      const int type = MSltRecv(msq_out, 0, 0, buf, &len, 0);
      if (type <= 0 || len < 0) break;
      out.emplace_back(buf);
    }
    return out;
  }

 private:
  std::string dir_;
  std::string path_;
};

// "9~1~1~1~1~" and body fields 6..last, unset ones empty, each with "~".
inline std::string message(const std::map<int, std::string>& fields, int last, const char* header = "9~1~1~1~1~") {
  std::string text = header;
  for (int n = 6; n <= last; ++n) {
    const auto it = fields.find(n);
    if (it != fields.end()) text += it->second;
    text += "~";
  }
  return text;
}

}  // namespace avptest

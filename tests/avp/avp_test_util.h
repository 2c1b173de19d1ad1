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
#include "output_queue.h"
#include "test_util.h"

namespace avptest {

class Scene {
 public:
  Scene() {
    std::snprintf(log_dir, sizeof log_dir, "%s", dir_.path().c_str());
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
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  static void set_engine_vars() {
    for (const char* v : avp_env_vars) setenv(v, (std::string("/data/") + v).c_str(), 1);
  }
  const std::string& dir() const { return dir_.path(); }
  std::string log_path() const { return dir_.at("avp.log"); }
  std::string log() const { return test_util::slurp(log_path()); }
  // The messages of the log's blocks, in order, each with its newline.
  std::vector<std::string> messages() const {
    std::vector<std::string> out = test_util::log_messages(log());
    for (std::string& m : out) m += "\n";
    return out;
  }

 private:
  // Removed after everything else the destructor puts back.
  test_util::TempDir dir_{"avp_test."};
};

// A real output queue in its own directory for the senders; removed (with
// whatever it still holds) when the guard ends.
using OutQueue = test_util::OutputQueue;

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

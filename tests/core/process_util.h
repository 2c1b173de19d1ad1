// Helpers of the tests that run the real executables: a bounded run of a
// program with captured output, and the environment every test starts from
// (logs in the test's own directory, no inherited switches).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core_test_util.h"
#include "erp_peer.h"
#include "queue_reader.h"

namespace coretest {

// Variables that would change the process's behaviour if inherited.
inline const std::vector<std::string>& switches() {
  static const std::vector<std::string> names = {"APILOG",       "TARN_API_TIMEOUT",   "TEST_ADAPTER_OPEN",
                                                 "TEST_ADAPTER_TRACE", "CONFIGSPEC",  "QSE_SHLIB",
                                                 "QSE_BIN",      "AVPDEBUG",           "VERTEXDEBUG"};
  return names;
}

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed; -1 on time-out
  std::string out;
  std::string err;
};

// Runs `argv` in `cwd` with the environment changed by `env` ("NAME=value")
// and `unset`, standard output and error captured in files of `scratch`.
// Killed after `timeout_ms`.
inline RunResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                             const std::vector<std::string>& unset, const std::string& cwd, const std::string& scratch,
                             int timeout_ms = 20000) {
  RunResult r;
  const std::string out = scratch + "/run.out";
  const std::string err = scratch + "/run.err";
  std::vector<std::string> args = argv;
  std::vector<char*> cargs;
  for (std::string& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid == -1) return r;
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || in < 0) _exit(126);
    dup2(o, 1);
    dup2(e, 2);
    dup2(in, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    for (const std::string& name : unset) unsetenv(name.c_str());
    for (const std::string& entry : env) {
      const std::size_t eq = entry.find('=');
      if (eq != std::string::npos) setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    execv(cargs[0], cargs.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    const pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) {
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

// A reader already blocked in msgrcv on a queue before the process under
// test starts, so a reply sent right before the queue's removal is kept.
using WaitingReader = erp::QueueReader;

// The fixture of every process test: a directory of its own that holds the
// queue files and, through QSE, the logs (in its "log" folder).
class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    dir_.mkdir("log");
  }

  // The environment every run starts from.
  std::vector<std::string> base_env() const { return {"QSE=" + dir_.path(), "USER=tax01"}; }

  erp::PeerOptions peer_options(const std::string& bin, int stype = 1) const {
    erp::PeerOptions o;
    o.taxapi = bin;
    o.dir = dir_.path();
    o.ptype = 1;
    o.stype = stype;
    o.env = base_env();
    o.unset = switches();
    o.timeout_ms = 10000;
    return o;
  }

  RunResult run(const std::vector<std::string>& argv, std::vector<std::string> env = {}) {
    std::vector<std::string> all = base_env();
    all.insert(all.end(), env.begin(), env.end());
    return run_program(argv, all, switches(), dir_.path(), scratch());
  }

  std::string scratch() const {
    const std::string s = dir_.path() + "/scratch";
    std::filesystem::create_directories(s);
    return s;
  }
  std::string api_log_text() const { return slurp(dir_.at("log/log.api")); }
  std::string msg_log_text() const { return slurp(dir_.at("log/api_msg.log")); }

  TempDir dir_;
};

}  // namespace coretest

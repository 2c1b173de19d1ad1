// The ERP's side of one run of the process, for the tests that start it: the
// end-to-end tests exec taxapi, the fault tests run it forked in process.
#pragma once

#include <signal.h>
#include <sys/msg.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

namespace coretest {

using Texts = std::vector<std::string>;

inline int qid_of(const std::string& path) {
  const key_t key = ftok(path.c_str(), 1);
  return key == -1 ? -1 : msgget(key, 0);
}

// Puts each "NAME=value" into this process's environment; a name alone
// removes it.
inline void apply_env(const std::vector<std::string>& env) {
  for (const std::string& e : env) e.find('=') == std::string::npos ? unsetenv(e.c_str()) : putenv(strdup(e.c_str()));
}

struct Served {
  pid_t pid = -1;
  int status = -1;      // exit status; -1 when killed (by a signal, or here after 20 s)
  Texts replies;         // read as they came, or with `read` false, seen unread while the process ran
  int queues_left = 0;  // of the two, before they were removed here
};

// Makes the queue files `dir`/inq and `dir`/outq and the output queue (an
// existing one is kept with what it holds), forks `child` (which must not
// return) and serves it to its end. Replies are read as they come from the
// process's first one on, never waited on, so a reply sent just before the
// process removes the queues is seen only if the process leaves it to be read. The
// `request` texts go once a reply came, or after half a second when the input
// queue exists (a lost acknowledgement). With `read` false the ERP never
// reads: the replies are only looked at where they stand (MSG_COPY) while the
// process runs. Both queues are removed afterwards.
inline Served serve(const test_util::TempDir& dir, const std::function<void()>& child, const Texts& request,
                    bool read = true) {
  using namespace std::chrono_literals;
  Served s;
  const std::string inq = dir.touch("inq"), outq = dir.touch("outq");
  const int out = msgget(ftok(outq.c_str(), 1), IPC_CREAT | 0666);
  std::fflush(nullptr);
  s.pid = fork();
  if (s.pid == 0) {
    child();
    _exit(127);
  }
  struct {
    long mtype;
    char mtext[4097];
  } m;
  bool ended = false;
  // Read once the process has sent something: what stood in the queue
  // before (a killed process's replies) is the process's to discard.
  const auto take = [&] {
    struct msqid_ds ds {};
    if (msgctl(out, IPC_STAT, &ds) != 0 || (ds.msg_lspid != s.pid && !ended)) return;
    for (std::size_t i = s.replies.size(); !read && !ended && i < ds.msg_qnum; ++i) {
      if (msgrcv(out, &m, 4096, static_cast<long>(i), IPC_NOWAIT | MSG_COPY | MSG_NOERROR) >= 0) s.replies.emplace_back(m.mtext);
    }
    while (read && msgrcv(out, &m, 4096, 0, IPC_NOWAIT | MSG_NOERROR) >= 0) s.replies.emplace_back(m.mtext);
  };
  const auto start = std::chrono::steady_clock::now();
  bool sent = false;
  int status = 0;
  while (waitpid(s.pid, &status, WNOHANG) != s.pid) {
    take();
    const auto waited = std::chrono::steady_clock::now() - start;
    if (!sent && (!s.replies.empty() || waited > 500ms) && qid_of(inq) != -1) {
      for (const std::string& text : request) {
        m.mtype = 1;
        std::snprintf(m.mtext, sizeof m.mtext, "%s", text.c_str());
        msgsnd(qid_of(inq), &m, text.size() + 1, 0);
      }
      sent = true;
    }
    if (waited > 20s) kill(s.pid, SIGKILL);
    std::this_thread::sleep_for(1ms);
  }
  s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ended = true;
  take();
  for (const std::string& q : {inq, outq}) {
    if (const int id = qid_of(q); id != -1) {
      ++s.queues_left;
      msgctl(id, IPC_RMID, nullptr);
    }
  }
  return s;
}

}  // namespace coretest

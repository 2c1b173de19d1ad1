#include "child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace erp {

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (std::string& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

// Reads both pipes until they close or the deadline passes; false on time-out.
bool drain(int out_fd, int err_fd, int timeout_ms, ChildResult* r) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&r->out, &r->err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;  // closed by the caller
      }
    }
  }
  return true;
}

}  // namespace

ChildResult run_child(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeout_ms) {
  ChildResult r;
  std::vector<std::string> args = argv, vars = env;
  std::vector<char*> arg_ptrs = pointers(args), env_ptrs = pointers(vars);
  // Close-on-exec, so that no other child started meanwhile holds a write end
  // open (its reader would wait for that child's end too); dup2 clears the
  // flag on the child's own 1 and 2.
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return r;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return r;
  }
  const std::string failure = "cannot run " + argv[0] + "\n";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    execve(arg_ptrs[0], arg_ptrs.data(), env_ptrs.data());
    if (write(2, failure.data(), failure.size()) < 0) _exit(127);
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (pid > 0 && !drain(out_pipe[0], err_pipe[0], timeout_ms, &r)) {
    r.timed_out = true;
    kill(pid, SIGKILL);
  }
  for (int fd : {out_pipe[0], err_pipe[0]}) close(fd);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) {
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return r;
}

}  // namespace erp

#include "al_tick.h"

#include <cerrno>

namespace {

void on_tick(int) {}

// Whether an earlier ticker left on_tick installed. It leaves it in place of
// the default handler (which would end the process on a stray alarm), so a
// receive does not pay two more system calls each time; a handler of the
// caller's is given back when the ticker ends.
bool g_left_installed = false;

}  // namespace

AlarmTicker::AlarmTicker(int period_ms, bool repeat) {
  const int saved = errno;
  if (!g_left_installed) {
    struct sigaction action {};
    action.sa_handler = on_tick;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the tick must interrupt the wait
    sigaction(SIGALRM, &action, &old_action_);
    const bool callers = (old_action_.sa_flags & SA_SIGINFO) != 0 ||
                         (old_action_.sa_handler != SIG_DFL && old_action_.sa_handler != SIG_IGN);
    restore_ = callers;
    g_left_installed = !callers;
  }
  struct itimerval timer {};
  timer.it_value.tv_sec = period_ms / 1000;
  timer.it_value.tv_usec = (period_ms % 1000) * 1000L;
  if (repeat) timer.it_interval = timer.it_value;
  setitimer(ITIMER_REAL, &timer, &old_timer_);
  errno = saved;
}

AlarmTicker::~AlarmTicker() {
  const int saved = errno;
  struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
  if (restore_) sigaction(SIGALRM, &old_action_, nullptr);
  if (old_timer_.it_value.tv_sec != 0 || old_timer_.it_value.tv_usec != 0) setitimer(ITIMER_REAL, &old_timer_, nullptr);
  errno = saved;
}

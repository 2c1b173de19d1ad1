// al_tick: a SIGALRM, once or periodic, that bounds blocking queue calls.
//
// System V queues have no descriptor to wait on, so a wait "until a message
// arrives or the time-out has passed" is a blocking msgrcv that the alarm
// interrupts (msgrcv/msgsnd always fail with EINTR after a signal handler,
// whatever SA_RESTART says). A wait thus ends the moment a message arrives,
// and an idle wait costs one wake-up, not one per polling tick.
//
// Scope-bound: the constructor arms ITIMER_REAL and a no-op SIGALRM handler,
// the destructor disarms the timer and restores the previous timer, and the
// previous handler when it was the caller's own (the default one is left
// replaced by the no-op). Not reentrant; single-threaded use only.
#pragma once

#include <csignal>
#include <sys/time.h>

class AlarmTicker {
 public:
  // Fires after `period_ms`, and every `period_ms` after that when `repeat`.
  explicit AlarmTicker(int period_ms, bool repeat = true);
  ~AlarmTicker();
  AlarmTicker(const AlarmTicker&) = delete;
  AlarmTicker& operator=(const AlarmTicker&) = delete;

 private:
  struct sigaction old_action_ {};
  bool restore_ = false;
  struct itimerval old_timer_;
};

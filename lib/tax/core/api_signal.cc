#include "api_signal.h"

#include <sys/msg.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "api_log.h"
#include "api_tarn.h"

volatile std::sig_atomic_t api_signal_pending = 0;

namespace {

bool g_installed = false;
bool g_signal_caught = false;

// Room for the crash handler when the crash is a stack overflow.
alignas(16) char g_alt_stack[64 * 1024];

void on_abort(int sig) {
  const int saved = errno;
  sigterm_handler(sig);  // abort() does not come back to the loop
  errno = saved;
}

void on_crash(int sig) {
  api_remove_queues_now();
  // The handler was reset (SA_RESETHAND): the signal, raised again, ends
  // the process as it would have, once this handler returns.
  raise(sig);
}

void at_exit(void) { api_remove_queues_now(); }

void install(int sig, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(sig, &action, nullptr);
}

}  // namespace

void api_install_signal_handlers(void) {
  // No SA_RESTART: a blocked receive or send must end at once.
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) install(sig, sigterm_handler, 0);
  install(SIGABRT, on_abort, 0);
  install(SIGPIPE, SIG_IGN, 0);
  if (g_installed) return;
  g_installed = true;
  stack_t stack {};
  stack.ss_sp = g_alt_stack;
  stack.ss_size = sizeof g_alt_stack;
  sigaltstack(&stack, nullptr);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) install(sig, on_crash, SA_RESETHAND | SA_ONSTACK);
  std::atexit(at_exit);
}

void sigterm_handler(int sig) {
  (void)sig;
  const int saved = errno;
  api_remove_queues_now();
  api_signal_pending = 1;
  errno = saved;
}

void api_remove_queues_now(void) {
  const int in = msq_in_id;
  const int out = msq_out_id;
  msq_in_id = -1;
  msq_out_id = -1;
  if (in != -1) msgctl(in, IPC_RMID, nullptr);
  if (out != -1) msgctl(out, IPC_RMID, nullptr);
}

bool api_handle_pending_signal(void) {
  if (api_signal_pending == 0) return false;
  api_signal_pending = 0;
  g_signal_caught = true;
  api_log_write(api_settings.username, "Signal caught. Closing queues and exiting.", API_TARN_SRC, __LINE__,
                api_logs.log_file);
  api_close_queues();
  return true;
}

bool api_signal_caught(void) { return g_signal_caught; }

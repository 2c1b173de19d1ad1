#include "api_tarn.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "al_mslot.h"
#include "api_log.h"
#include "api_number.h"

char nmsq_in[1024] = "";
char nmsq_out[1024] = "";
int msq_in = -1;
int msq_out = -1;
long parent = 0;
volatile std::sig_atomic_t api_signal_pending = 0;

namespace {

constexpr int kProjectId = 1;
constexpr int kDefaultTimeout = 30000;
constexpr int kWatchEvery = 10;  // consecutive time-outs before the watch runs

[[noreturn]] void watch_exit(const char* what) {
  char text[3 * 1024];
  std::snprintf(text, sizeof text, "%s gone. Closing queues %s and %s and exiting.", what, nmsq_in, nmsq_out);
  api_log_write(username, text, API_TARN_SRC, __LINE__, log_file);
  terminate_queue(msq_in);
  terminate_queue(msq_out);
  std::exit(-1);
}

// The tenth time-out in a row: is the parent or a queue gone?
void watch_parent_and_queues(void) {
  const bool parent_gone = static_cast<long>(getppid()) != parent;
  const int in = initialize_queue(nmsq_in, 0);
  const int out = initialize_queue(nmsq_out, 0);
  const bool queue_gone = in == -1 || out == -1;
  if (queue_gone && api_log > 0) {
    char text[3 * 1024];
    std::snprintf(text, sizeof text, "\nq_in: %s\nq_out: %s\nmsq_in: %d\nmsq_out: %d", nmsq_in, nmsq_out, in, out);
    api_message_log(text, API_MSG_INFO);
  }
  if (parent_gone) watch_exit("Parent");
  if (queue_gone) watch_exit("Message queue");
}

}  // namespace

int api_receive_timeout(void) {
  const char* text = std::getenv("TARN_API_TIMEOUT");
  if (text == nullptr || text[0] == '\0') return kDefaultTimeout;
  const int value = api_decimal(text);
  return value >= 10 && value <= 100000 ? value : kDefaultTimeout;
}

int initialize_queue(const char* path, int create) {
  const int key = MSltOpen(kProjectId, path != nullptr ? path : "", create, 0);
  if (key == -1) std::fprintf(stderr, "MSltOpen() failed, errno: %d\n", errno);
  return key;
}

int setup_passed_queues(const char* in, const char* out) {
  if (api_log > 0) {
    char text[3 * 1024];
    std::snprintf(text, sizeof text, "\npid: %d\nppid: %d\nin: %s\nout: %s", static_cast<int>(getpid()),
                  static_cast<int>(getppid()), in != nullptr ? in : "", out != nullptr ? out : "");
    api_message_log(text, API_MSG_INFO);
  }
  msq_in = initialize_queue(in, 2);
  msq_out = initialize_queue(out, 0);
  MSltSetInterrupt(&api_signal_pending);
  return msq_in == -1 || msq_out == -1 ? -1 : 0;
}

int api_handle_pending_signal(void) {
  if (api_signal_pending == 0) return 0;
  api_signal_pending = 0;
  api_log_write(username, "Signal caught. Closing queues and exiting.", API_TARN_SRC, __LINE__, log_file);
  terminate_queue(msq_in);
  terminate_queue(msq_out);
  return 1;
}

int get_next_message(void) {
  const int timeout = api_receive_timeout();
  MSltSetSendWait(timeout);
  std::memset(msgin_raw.mtext, 0, API_TEXT_SIZE);
  msgin = MessageHeader {};
  int timeouts = 0;
  for (;;) {
    api_handle_pending_signal();
    int len = 0;
    MSltRecvSized(msq_in, 0, timeout, msgin_raw.mtext, API_TEXT_SIZE, &len, 0);
    if (len > 0) {
      if (api_log == 2) api_message_log(msgin_raw.mtext, API_MSG_RECEIVED);
      msgin = decode_message(msgin_raw.mtext);
      return 1;
    }
    if (len == 0) return 1;  // the input queue is gone, or an empty message
    const int err = errno;
    if (err == EINTR && api_signal_pending != 0) continue;  // handle it, then receive again
    if (err != ENOMSG) return 0;
    if (++timeouts < kWatchEvery) continue;
    watch_parent_and_queues();
    timeouts = 0;
  }
}

void sigterm_handler(int sig) {
  (void)sig;
  api_signal_pending = 1;
}

void terminate_queue(int handle) { MSltClose(handle, 0); }

void api_drain_output(int max_ms) {
  if (msq_out == -1) return;
  for (int waited = 0; waited < max_ms && api_signal_pending == 0; waited += 5) {
    if (MSltPending(msq_out, 0) <= 0) return;
    const struct timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

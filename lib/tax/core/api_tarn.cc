#include "api_tarn.h"

#include <sys/msg.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "al_mslot.h"
#include "api_log.h"
#include "api_number.h"
#include "api_signal.h"

ApiQueueSession api_queues;
volatile std::sig_atomic_t msq_in_id = -1;
volatile std::sig_atomic_t msq_out_id = -1;

namespace {

constexpr int kDefaultTimeout = 30000;
constexpr int kWatchEvery = 10;  // consecutive time-outs before the watch runs
constexpr int kDefaultQueueMode = 0600;

// Whether the queue this process opened as `qid` still exists.
bool queue_alive(int qid) { return qid != -1 && MSltPending(qid, 1) != -1; }

[[noreturn]] void watch_exit(const char* what) {
  char text[3 * 1024];
  std::snprintf(text, sizeof text, "%s gone. Closing queues %s and %s and exiting.", what, api_queues.nmsq_in,
                api_queues.nmsq_out);
  api_log_write(api_settings.username, text, API_TARN_SRC, __LINE__, api_logs.log_file);
  api_close_queues();
  std::exit(-1);
}

// The tenth time-out in a row: is the parent or a queue gone?
void watch_parent_and_queues(void) {
  const bool parent_gone = static_cast<long>(getppid()) != api_queues.parent;
  const int in = initialize_queue(api_queues.nmsq_in, 0);
  const int out = initialize_queue(api_queues.nmsq_out, 0);
  // A queue removed and another made under its key is gone all the same.
  const bool queue_gone = in == -1 || out == -1 || !queue_alive(msq_in_id) || !queue_alive(msq_out_id);
  if (queue_gone && api_settings.log_level > 0) {
    char text[3 * 1024];
    std::snprintf(text, sizeof text, "\nq_in: %s\nq_out: %s\nmsq_in: %d\nmsq_out: %d", api_queues.nmsq_in,
                  api_queues.nmsq_out, in, out);
    api_message_log(text, API_MSGLOG_INFO);
  }
  if (parent_gone) watch_exit("Parent");
  if (queue_gone) watch_exit("Message queue");
}

// The message log's entry of a received text; one cut to the input buffer
// says so, with the length it had.
void log_received(int len) {
  if (api_queues.msgin_cut == 0) {
    api_message_log(api_queues.msgin_raw.mtext, API_MSGLOG_RECEIVED);
    return;
  }
  char text[API_TEXT_SIZE + 96];
  const bool beyond = len > MSLT_MAX_TEXT;  // even the transport cut it
  std::snprintf(text, sizeof text, "%s [cut: %zu of %s%d characters kept]", api_queues.msgin_raw.mtext,
                API_TEXT_SIZE - 1, beyond ? "more than " : "", beyond ? MSLT_MAX_TEXT : len);
  api_message_log(text, API_MSGLOG_RECEIVED);
}

}  // namespace

int api_receive_timeout(void) {
  const char* text = std::getenv("TARN_API_TIMEOUT");
  if (text == nullptr || text[0] == '\0') return kDefaultTimeout;
  const int value = api_decimal(text);
  return value >= 10 && value <= 100000 ? value : kDefaultTimeout;
}

int api_queue_mode(void) {
  const char* text = std::getenv("TAXAPI_QUEUE_MODE");
  if (text == nullptr || text[0] == '\0') return kDefaultQueueMode;
  long value = 0;
  bool valid = true;
  for (const char* p = text; valid && *p != '\0'; ++p) {
    valid = *p >= '0' && *p <= '7';
    value = value * 8 + (*p - '0');
    valid = valid && value <= 0777;  // also what keeps a long text from overflowing
  }
  if (!valid) {
    std::fprintf(stderr, "taxapi: TAXAPI_QUEUE_MODE=%s is not an octal mode from 0 to 0777; using 0600\n", text);
    return kDefaultQueueMode;
  }
  return static_cast<int>((value & 0666) | kDefaultQueueMode);
}

int initialize_queue(const char* path, int create) {
  const int key = MSltOpen(API_QUEUE_PROJECT_ID, path != nullptr ? path : "", create, 0);
  if (key == -1) std::fprintf(stderr, "MSltOpen() failed, errno: %d\n", errno);
  return key;
}

int setup_passed_queues(const char* in, const char* out) {
  if (api_settings.log_level > 0) {
    char text[3 * 1024];
    std::snprintf(text, sizeof text, "\npid: %d\nppid: %d\nin: %s\nout: %s", static_cast<int>(getpid()),
                  static_cast<int>(getppid()), in != nullptr ? in : "", out != nullptr ? out : "");
    api_message_log(text, API_MSGLOG_INFO);
  }
  MSltSetCreateMode(api_queue_mode());
  api_queues.msq_in = api_queues.msq_out = -1;
  msq_in_id = -1;
  msq_out_id = -1;
  int key = -1;
  int qid = -1;
  if (MSltOpenKeyId(API_QUEUE_PROJECT_ID, in != nullptr ? in : "", 2, &key, &qid) == 0) {
    api_queues.msq_in = key;
    msq_in_id = qid;
  } else {
    std::fprintf(stderr, "MSltOpen() failed, errno: %d\n", errno);
  }
  if (MSltOpenKeyId(API_QUEUE_PROJECT_ID, out != nullptr ? out : "", 0, &key, &qid) == 0) {
    api_queues.msq_out = key;
    msq_out_id = qid;
  } else {
    std::fprintf(stderr, "MSltOpen() failed, errno: %d\n", errno);
  }
  MSltSetInterrupt(&api_signal_pending);
  if (api_queues.msq_in == -1 || api_queues.msq_out == -1) return -1;
  api_discard_stale_replies();
  return 0;
}

int api_discard_stale_replies(void) {
  // Only this process writes to the output queue, so whatever stands there
  // now was left by an earlier process (one killed with replies unread), and
  // the ERP would take it for a reply to its next request.
  int discarded = 0;
  char text[MSLT_MAX_TEXT + 1];
  int len = 0;
  for (;;) {
    MSltRecv(msq_out_id, 0, 0, text, &len, 1);
    if (len < 0 || errno != 0) break;  // empty (ENOMSG), or gone
    ++discarded;
  }
  if (discarded > 0 && api_settings.log_level > 0) {
    char note[128];
    std::snprintf(note, sizeof note, "\nstale replies discarded: %d", discarded);
    api_message_log(note, API_MSGLOG_INFO);
  }
  return discarded;
}

int get_next_message(void) {
  const int timeout = api_receive_timeout();
  MSltSetSendWait(timeout);
  std::memset(api_queues.msgin_raw.mtext, 0, API_TEXT_SIZE);
  api_queues.msgin = MessageHeader {};
  api_queues.msgin_cut = 0;
  int timeouts = 0;
  for (;;) {
    // A caught signal has removed the queues: nothing more can come.
    if (api_handle_pending_signal()) return 0;
    int len = 0;
    MSltRecvSized(msq_in_id, 0, timeout, api_queues.msgin_raw.mtext, API_TEXT_SIZE, &len, 1);
    if (len > 0) {
      api_queues.msgin_cut = static_cast<std::size_t>(len) >= API_TEXT_SIZE ? 1 : 0;
      if (api_settings.log_level == 2) log_received(len);
      api_queues.msgin = decode_message(api_queues.msgin_raw.mtext);
      return 1;
    }
    if (len == 0) return 1;  // a message without text
    const int err = errno;
    // A signal's handler may have removed the queues under the receive, which
    // then fails as for a vanished queue: it is handled at the top.
    if (err == EINTR || api_signal_pending != 0) continue;
    // Anything else, a vanished input queue (EIDRM, EINVAL) included, ends
    // the loop; answering would only spin.
    if (err != ENOMSG) return 0;
    if (++timeouts < kWatchEvery) continue;
    watch_parent_and_queues();
    timeouts = 0;
  }
}

void api_close_queues(void) {
  // The ids are forgotten first, so a signal's handler arriving meanwhile
  // does not remove them a second time.
  const int in = msq_in_id;
  const int out = msq_out_id;
  msq_in_id = -1;
  msq_out_id = -1;
  terminate_queue(in);
  terminate_queue(out);
}

void terminate_queue(int qid) {
  if (qid != -1) MSltClose(qid, 1);
}

void api_drain_output(int max_ms) {
  if (msq_out_id == -1) return;
  for (int waited = 0; waited < max_ms && api_signal_pending == 0; waited += 5) {
    if (MSltPending(msq_out_id, 1) <= 0) return;
    const struct timespec pause = {0, 5L * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

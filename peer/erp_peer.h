// erp_peer: the ERP side of the tax API process, as a library.
//
// An ErpPeer does what the ERP runtime does: it makes the two queue files in
// its own directory, creates the output queue, starts `taxapi inq outq ptype
// stype` as its child, waits for the acknowledgement (or error), exchanges
// messages, and on destruction ends the child and removes both queues and
// their files, whatever happened before. Receives block on the queue (no
// polling delay), bounded by their time-out.
//
// Single-threaded: a receive bounds its wait with the process's SIGALRM
// (ITIMER_REAL) and a shared buffer, so one ErpPeer at a time per process
// (run clients as processes, as bench/load_tool does). A caller's own alarm
// handler and timer are given back after each receive, but do not fire
// during one.
#pragma once

#include <sys/types.h>

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api_protocol.h"

namespace erp {

struct PeerOptions {
  std::string taxapi;             // path of the taxapi executable
  // Directory for the queue files (and logs unless env says otherwise); created when missing.
  std::string dir;
  int ptype = 1;                  // provider type passed as argument 3
  int stype = 1;                  // sub-provider passed as argument 4
  std::vector<std::string> env;   // "NAME=value" entries added to (or replacing) the inherited environment
  std::vector<std::string> unset; // names removed from the inherited environment
  // When non-empty, the child's arguments after argv[0] instead of the four
  // (for command-line tests); the queue files are still made.
  std::optional<std::vector<std::string>> args;
  int timeout_ms = 10000;         // default receive time-out
};

// One request's replies: the acknowledgement or error of the action message,
// then the status and result messages, or the error.
struct Exchange {
  std::vector<std::string> replies;  // every reply text in order of arrival
  bool ok = false;                   // status (code) plus all its results arrived
  bool error = false;                // an error reply ended the exchange
  double error_code = 0;             // its code
  int status_code = 0;               // completion code of the status message
  std::vector<std::string> results;  // the result message texts
  std::string problem;               // why the exchange stopped early, if it did
};

class ErpPeer {
 public:
  explicit ErpPeer(PeerOptions options);
  ~ErpPeer();
  ErpPeer(const ErpPeer&) = delete;
  ErpPeer& operator=(const ErpPeer&) = delete;

  // Creates the queue files and the output queue and starts the process with
  // a reader already blocked on that queue, so a start-up reply survives the
  // removal of the queue at the process's termination. Waits for that first
  // reply (or the time-out, or the process's end) and keeps it for receive().
  // Returns true when the process was started.
  bool spawn();
  // spawn() and wait for the first reply into *first (may be null); true
  // when that reply is the acknowledgement.
  bool start(std::string* first = nullptr);

  // Sends `text` on the process's input queue. False when the queue is gone
  // or stays full beyond the time-out.
  bool send(std::string_view text, long mtype = 1);
  // Next reply from the output queue, or nullopt after `timeout_ms` (default:
  // the options'), or at once when the process has exited and nothing is left.
  std::optional<std::string> receive(int timeout_ms = -1);

  // Why the last receive() (or send()) failed. taxapi removes its queues
  // before it is gone (in its signal handlers and at its exit), so kQueueGone
  // usually means the process is ending, not yet reaped: give it up to
  // kEndGraceMs (wait_exit) before telling how it ended.
  enum class Silence { kNone, kTimeOut, kQueueGone, kExited };
  Silence silence() const { return silence_; }
  static constexpr int kEndGraceMs = 2000;

  // Action message, acknowledgement, data message ("9~action~1~stype~1~" +
  // body), then the replies up to the last result or an error.
  Exchange request(int action, int stype, std::string_view body);

  // Sends the terminate message and waits for the process to exit. Returns its
  // exit status, or -1 when it did not exit within the time-out (it is then killed).
  int terminate();
  // Waits up to `timeout_ms` for the process to exit: its exit status, 128 +
  // signal when killed by one, or -1 on time-out.
  int wait_exit(int timeout_ms);
  bool running();
  pid_t pid() const { return pid_; }
  // How the ended process ended: "taxapi exited with status N" or "taxapi was
  // killed by signal N (SIGNAME)"; "" while it runs (or was never started).
  std::string end_text();

  const std::string& inq_path() const { return inq_path_; }
  const std::string& outq_path() const { return outq_path_; }
  // Queue ids (-1 when gone); for tests that remove or inspect a queue.
  int input_queue_id() const;
  int output_queue_id() const;

 private:
  void cleanup();

  PeerOptions options_;
  std::string inq_path_;
  std::string outq_path_;
  int outq_id_ = -1;
  int inq_id_ = -1;  // the process's input queue, looked up at the first send
  std::deque<std::string> pending_;  // replies taken by spawn(), not yet received
  pid_t pid_ = -1;
  int exit_status_ = -1;
  int end_signal_ = 0;  // the signal that ended the process, 0 when it exited
  Silence silence_ = Silence::kNone;
};

// The environment the process gets: the inherited one less the options'
// unset names and the names of their env entries, plus those entries.
std::vector<std::string> child_environment(const PeerOptions& options);

// Decodes a reply's header fields (type, action, ptype, stype, count) and body
// fields; shared by the command line and the tests.
std::vector<std::string> split_fields(std::string_view text);

// A numeric field of a reply (a count, a code): strtol base 10, 0 without
// digits, clamped to int, so that a malformed reply cannot overflow it.
int reply_number(const std::string& field);

// The message type of a message text (ApiMessageType), or -1.
int message_type(std::string_view text);
// A message's header "type~action~ptype~stype~count~" (api_format_header).
std::string message_header(int type, int action, int ptype, int stype, int count);

}  // namespace erp

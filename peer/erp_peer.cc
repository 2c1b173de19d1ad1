#include "erp_peer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "al_mslot.h"
#include "al_tick.h"
#include "api_protocol.h"
#include "queue_reader.h"

extern char** environ;

namespace erp {

namespace {

constexpr int kTickMs = 20;  // how often a blocked receive looks at its deadline

// msgrcv's buffer: the type comes first, whether it is read or not.
struct PeerMessage {
  // cppcheck-suppress unusedStructMember
  long mtype;
  char mtext[MSLT_MAX_TEXT + 1];
};

void make_dirs(const std::string& dir) {
  std::string path;
  for (std::size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || (dir[i] == '/' && i > 0)) {
      path = dir.substr(0, i);
      mkdir(path.c_str(), 0777);
    }
  }
}

bool touch(const std::string& path) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  if (fd == -1) return false;
  close(fd);
  return true;
}

int queue_id(const std::string& path) {
  const key_t key = ftok(path.c_str(), API_QUEUE_PROJECT_ID);
  return key == -1 ? -1 : msgget(key, 0);
}

// Removes the queue under the file's key, but only a stale one of this
// user's: keys of queue files collide, and another user's queue, or another
// live session's of the same user, is not ours to remove (root could).
void remove_queue(const std::string& path) {
  const int qid = queue_id(path);
  if (qid != -1 && MSltIsOwnQueue(qid) != 0 && MSltInUse(qid) == 0) msgctl(qid, IPC_RMID, nullptr);
}

using Clock = std::chrono::steady_clock;

// Why a reply did not come, as the end of a problem's text.
const char* silence_words(ErpPeer::Silence silence) {
  switch (silence) {
    case ErpPeer::Silence::kTimeOut:
      return " (time-out)";
    case ErpPeer::Silence::kQueueGone:
      return " (the queue is gone)";
    default:
      return " (the process has exited)";
  }
}

int field_int(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? reply_number(fields[index]) : 0;
}

}  // namespace

std::vector<std::string> child_environment(const PeerOptions& options) {
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  auto replaced = [&](const std::string& name) {
    for (const std::string& u : options.unset) {
      if (u == name) return true;
    }
    for (const std::string& e : options.env) {
      if (name_of(e) == name) return true;
    }
    return false;
  };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!replaced(name_of(entry))) env.push_back(entry);
  }
  for (const std::string& e : options.env) {
    if (e.find('=') != std::string::npos) env.push_back(e);
  }
  return env;
}

int reply_number(const std::string& field) {
  const long value = std::strtol(field.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int message_type(std::string_view text) { return api_message_type(std::string(text.substr(0, 16)).c_str()); }

std::string message_header(int type, int action, int ptype, int stype, int count) {
  char head[64];
  api_format_header(head, sizeof head, type, action, ptype, stype, count);
  return head;
}

std::vector<std::string> split_fields(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('~', start);
    if (end == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      break;
    }
    fields.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

ErpPeer::ErpPeer(PeerOptions options) : options_(std::move(options)) {
  make_dirs(options_.dir);
  inq_path_ = options_.dir + "/inq";
  outq_path_ = options_.dir + "/outq";
}

ErpPeer::~ErpPeer() { cleanup(); }

bool ErpPeer::spawn() {
  inq_id_ = -1;
  if (!touch(inq_path_) || !touch(outq_path_)) return false;
  // A fresh, empty output queue: a stale one a former run left is gone; one
  // another live session uses under a colliding key stays, and the
  // exclusive create below then fails.
  remove_queue(outq_path_);
  const key_t key = ftok(outq_path_.c_str(), API_QUEUE_PROJECT_ID);
  if (key == -1) return false;
  // Exclusive and owner-only: the ERP's own queue, which no other account
  // reads, and never one that stands under the key for someone else.
  outq_id_ = msgget(key, IPC_CREAT | IPC_EXCL | 0600);
  if (outq_id_ == -1) return false;
  // Named its receiver at once, so a new session whose input key collides
  // with this queue's sees it is in use before the first reply is read.
  MSltMarkInUse(outq_id_);

  std::vector<std::string> args = {options_.taxapi};
  if (options_.args) {
    args.insert(args.end(), options_.args->begin(), options_.args->end());
  } else {
    args.insert(args.end(), {inq_path_, outq_path_, std::to_string(options_.ptype), std::to_string(options_.stype)});
  }
  std::vector<std::string> env = child_environment(options_);
  // Everything the child needs is built before fork: with the reader thread
  // running, the child may only call async-signal-safe functions.
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string failure = "cannot run " + args[0] + "\n";

  QueueReader reader(outq_id_);
  pid_ = fork();
  if (pid_ == -1) return false;
  if (pid_ == 0) {
    execve(argv[0], argv.data(), envp.data());
    if (write(2, failure.data(), failure.size()) < 0) _exit(127);
    _exit(127);
  }
  exit_status_ = -1;
  end_signal_ = 0;

  // The first reply, or the time-out, or a short grace after the process ended.
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
  std::optional<Clock::time_point> ended_at;
  while (!reader.wait_for(1, kTickMs) && Clock::now() < deadline) {
    if (!ended_at && !running()) ended_at = Clock::now();
    if (ended_at && Clock::now() - *ended_at > std::chrono::milliseconds(200)) break;
  }
  for (std::string& text : reader.finish()) pending_.push_back(std::move(text));
  // A message handed straight to a blocked receiver names that thread, not
  // its process, as the queue's last receiver; with the reader gone the
  // queue would look unused (MSltInUse) while this process lives.
  MSltMarkInUse(outq_id_);
  return true;
}

bool ErpPeer::start(std::string* first) {
  if (!spawn()) return false;
  std::optional<std::string> reply = receive();
  if (!reply) return false;
  if (first != nullptr) *first = *reply;
  return message_type(*reply) == API_MSG_ACK;
}

bool ErpPeer::send(std::string_view text, long mtype) {
  MSltSetSendWait(options_.timeout_ms);
  const std::string copy(text);
  const int len = static_cast<int>(copy.size()) + 1;
  // The queue's id is kept from one send to the next; it is looked up again
  // only when the queue it names has gone (a process started anew).
  silence_ = Silence::kNone;
  if (inq_id_ != -1 && MSltSend(inq_id_, static_cast<int>(mtype), copy.c_str(), len, 1) == 1) return true;
  if (inq_id_ != -1 && errno != EIDRM && errno != EINVAL) {
    silence_ = Silence::kTimeOut;  // full beyond the send wait
    return false;
  }
  inq_id_ = MSltOpen(API_QUEUE_PROJECT_ID, inq_path_.c_str(), 0, 1);
  if (inq_id_ != -1 && MSltSend(inq_id_, static_cast<int>(mtype), copy.c_str(), len, 1) == 1) return true;
  silence_ = inq_id_ == -1 || errno == EIDRM || errno == EINVAL ? Silence::kQueueGone : Silence::kTimeOut;
  return false;
}

std::optional<std::string> ErpPeer::receive(int timeout_ms) {
  if (timeout_ms < 0) timeout_ms = options_.timeout_ms;
  silence_ = Silence::kNone;
  if (!pending_.empty()) {
    std::string text = std::move(pending_.front());
    pending_.pop_front();
    return text;
  }
  auto stop = [this](Silence why) -> std::optional<std::string> {
    silence_ = why;
    return std::nullopt;
  };
  if (outq_id_ == -1) return stop(Silence::kQueueGone);
  static PeerMessage message;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  auto take = [&](ssize_t n) {
    const std::size_t len = static_cast<std::size_t>(n);
    return std::string(message.mtext, strnlen(message.mtext, len));
  };
  ssize_t n = msgrcv(outq_id_, &message, MSLT_MAX_TEXT, 0, IPC_NOWAIT | MSG_NOERROR);
  if (n >= 0) return take(n);
  AlarmTicker ticker(kTickMs);
  for (;;) {
    n = msgrcv(outq_id_, &message, MSLT_MAX_TEXT, 0, MSG_NOERROR);  // a tick ends it
    if (n >= 0) return take(n);
    if (errno != EINTR) return stop(Silence::kQueueGone);
    if (Clock::now() >= deadline) return stop(Silence::kTimeOut);
    if (!running()) {
      n = msgrcv(outq_id_, &message, MSLT_MAX_TEXT, 0, IPC_NOWAIT | MSG_NOERROR);
      return n >= 0 ? std::optional<std::string>(take(n)) : stop(Silence::kExited);
    }
  }
}

Exchange ErpPeer::request(int action, int stype, std::string_view body) {
  Exchange ex;
  auto reply_or_stop = [&](const char* stage) -> std::optional<std::vector<std::string>> {
    std::optional<std::string> reply = receive();
    if (!reply) {
      ex.problem = std::string("no reply ") + stage + silence_words(silence_);
      return std::nullopt;
    }
    ex.replies.push_back(*reply);
    std::vector<std::string> fields = split_fields(*reply);
    if (field_int(fields, 0) == API_MSG_ERROR) {
      ex.error = true;
      ex.error_code = fields.size() > 5 ? std::strtod(fields[5].c_str(), nullptr) : 0;
      return std::nullopt;
    }
    return fields;
  };

  // Sends the `message` ("action" or "data") and takes its reply, which must
  // be of type `expected`.
  auto step = [&](const std::string& text, const char* message,
                  int expected) -> std::optional<std::vector<std::string>> {
    const std::string what = std::string("the ") + message + " message";
    if (!send(text)) {
      ex.problem = "cannot send " + what;
      return std::nullopt;
    }
    std::optional<std::vector<std::string>> reply = reply_or_stop(("to " + what).c_str());
    if (!reply) return std::nullopt;
    if (field_int(*reply, 0) != expected) {
      ex.problem = "unexpected reply to " + what;
      return std::nullopt;
    }
    return reply;
  };

  if (!step(message_header(API_MSG_ACTION, action, API_PTYPE_TAX, stype, 1), "action", API_MSG_ACK)) return ex;
  const std::optional<std::vector<std::string>> status =
      step(message_header(API_MSG_DATA, action, API_PTYPE_TAX, stype, 1) + std::string(body), "data", API_MSG_STATUS);
  if (!status) return ex;
  ex.status_code = field_int(*status, 5);
  const int count = field_int(*status, 4);
  for (int i = 0; i < count; ++i) {
    std::optional<std::string> result = receive();
    if (!result) {
      ex.problem = "result " + std::to_string(i + 1) + " of " + std::to_string(count) + " missing";
      return ex;
    }
    ex.replies.push_back(*result);
    ex.results.push_back(*result);
  }
  ex.ok = true;
  return ex;
}

int ErpPeer::terminate() {
  if (pid_ <= 0) return exit_status_;
  send(message_header(API_MSG_TERMINATE, 0, API_PTYPE_TAX, options_.stype, 0));
  const int status = wait_exit(options_.timeout_ms);
  if (status != -1) return status;
  kill(pid_, SIGKILL);
  wait_exit(5000);
  return -1;
}

bool ErpPeer::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid_) {
    end_signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_ = -1;
  return false;
}

std::string ErpPeer::end_text() {
  if (running() || exit_status_ == -1) return "";
  if (end_signal_ == 0) return "taxapi exited with status " + std::to_string(exit_status_);
  const char* name = sigabbrev_np(end_signal_);
  return "taxapi was killed by signal " + std::to_string(end_signal_) + " (SIG" + (name != nullptr ? name : "?") + ")";
}

int ErpPeer::wait_exit(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (running()) {
    if (Clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return exit_status_;
}

int ErpPeer::input_queue_id() const { return queue_id(inq_path_); }
int ErpPeer::output_queue_id() const { return queue_id(outq_path_); }

void ErpPeer::cleanup() {
  if (running()) {
    kill(pid_, SIGTERM);
    if (wait_exit(3000) == -1) {
      kill(pid_, SIGKILL);
      wait_exit(3000);
    }
  }
  remove_queue(inq_path_);
  remove_queue(outq_path_);
  outq_id_ = -1;
  inq_id_ = -1;
  unlink(inq_path_.c_str());
  unlink(outq_path_.c_str());
}

}  // namespace erp

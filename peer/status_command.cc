#include "status_command.h"

#include <pwd.h>
#include <sys/msg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "al_mslot.h"
#include "api_protocol.h"
#include "engine_table.h"
#include "json_writer.h"
#include "proc_scan.h"

namespace erp {

namespace {

// One queue file of a process and the queue under its key.
struct QueueView {
  std::string file;              // absolute; "" when the command line names none
  int id = -1;                   // -1: no queue under the key
  long waiting = -1;             // -1: it cannot be looked at
  std::time_t last_receive = 0;  // 0: never
};

struct Session {
  ProcFacts proc;
  std::string user;    // name, else the uid's number
  std::string engine;  // "avp", "vertex", else the fourth argument as it stands, or "-"
  QueueView input, output;
  long idle_seconds = 0;
};

std::string user_name(uid_t uid) {
  static std::map<uid_t, std::string> names;  // hundreds of sessions of far fewer users
  auto [it, fresh] = names.try_emplace(uid);
  if (fresh) {
    passwd entry {};
    passwd* found = nullptr;
    char buf[4096];
    const bool named = getpwuid_r(uid, &entry, buf, sizeof buf, &found) == 0 && found != nullptr;
    it->second = named ? found->pw_name : std::to_string(uid);
  }
  return it->second;
}

// Argument `n` as a path: a relative one lies in the process's directory.
std::string path_argument(const ProcFacts& p, std::size_t n) {
  if (n >= p.argv.size() || p.argv[n].empty()) return "";
  const std::string& a = p.argv[n];
  return a[0] == '/' || p.cwd.empty() ? a : p.cwd + "/" + a;
}

QueueView queue_view(const std::string& file) {
  QueueView q;
  q.file = file;
  const key_t key = file.empty() ? -1 : ftok(file.c_str(), API_QUEUE_PROJECT_ID);
  q.id = key == -1 ? -1 : msgget(key, 0);
  msqid_ds ds {};
  if (q.id != -1 && msgctl(q.id, IPC_STAT, &ds) == 0) {
    q.waiting = static_cast<long>(ds.msg_qnum);
    q.last_receive = ds.msg_rtime;
  }
  return q;
}

// Read as taxapi reads its fourth argument (strtol).
std::string engine_of(const ProcFacts& p) {
  if (p.argv.size() < 5) return "-";
  const EngineInfo* engine = engine_of_stype(static_cast<int>(std::strtol(p.argv[4].c_str(), nullptr, 10)));
  return engine != nullptr ? engine->name : p.argv[4];
}

Session session_of(const ProcFacts& p, std::time_t now) {
  Session s;
  s.proc = p;
  s.user = user_name(p.uid);
  s.engine = engine_of(p);
  s.input = queue_view(path_argument(p, 1));
  s.output = queue_view(path_argument(p, 2));
  s.idle_seconds = s.input.last_receive > 0 ? std::max(0L, static_cast<long>(now - s.input.last_receive))
                                            : p.age_seconds;
  return s;
}

std::vector<Session> visible_sessions() {
  const uid_t me = geteuid();
  const std::time_t now = std::time(nullptr);
  std::vector<Session> sessions;
  for (const pid_t pid : list_pids()) {
    if (!runs_taxapi(pid) || !same_ipc_namespace(pid)) continue;
    const std::optional<ProcFacts> p = read_process(pid);
    if (p && (me == 0 || p->uid == me)) sessions.push_back(session_of(*p, now));
  }
  std::sort(sessions.begin(), sessions.end(), [](const Session& a, const Session& b) {
    return a.user != b.user ? a.user < b.user : a.proc.pid < b.proc.pid;
  });
  return sessions;
}

bool names_queue(const std::vector<Session>& sessions, int id) {
  return std::any_of(sessions.begin(), sessions.end(),
                     [id](const Session& s) { return s.input.id == id || s.output.id == id; });
}

// Stale: the caller's own, named by no listed process, in use by nobody.
bool stale(const SysvQueue& q, const std::vector<Session>& live) {
  const uid_t me = geteuid();
  return q.owner == me && q.creator == me && !names_queue(live, q.id) && MSltInUse(q.id) == 0;
}

std::vector<SysvQueue> stale_queues(const std::vector<Session>& live) {
  std::vector<SysvQueue> found;
  for (const SysvQueue& q : parse_sysvipc_msg(read_text("/proc/sysvipc/msg").value_or(""))) {
    if (stale(q, live)) found.push_back(q);
  }
  return found;
}

std::string key_text(long key) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(static_cast<key_t>(key)));
  return text;
}

// "37s", "12m05s", "3h02m", "5d04h".
std::string idle_text(long s) {
  char text[32];
  if (s < 60) {
    std::snprintf(text, sizeof text, "%lds", s);
  } else if (s < 3600) {
    std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
  } else if (s < 86400) {
    std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s % 3600 / 60);
  } else {
    std::snprintf(text, sizeof text, "%ldd%02ldh", s / 86400, s % 86400 / 3600);
  }
  return text;
}

std::string or_dash(const std::string& text) { return text.empty() ? "-" : text; }
std::string number_or_dash(long n) { return n < 0 ? "-" : std::to_string(n); }

constexpr const char* kSessionLine = "%7s %-12s %-7s %6s %9s %6s %9s %7s  %s %s %s\n";

void print_session_header() {
  std::printf(kSessionLine, "PID", "USER", "ENGINE", "IDLE", "IN-ID", "IN-MSG", "OUT-ID", "OUT-MSG", "LOG-DIR",
              "INPUT-FILE", "OUTPUT-FILE");
}

void print_session_text(const Session& s) {
  std::printf(kSessionLine, std::to_string(s.proc.pid).c_str(), s.user.c_str(), s.engine.c_str(),
              idle_text(s.idle_seconds).c_str(), number_or_dash(s.input.id).c_str(),
              number_or_dash(s.input.waiting).c_str(), number_or_dash(s.output.id).c_str(),
              number_or_dash(s.output.waiting).c_str(), or_dash(s.proc.log_dir).c_str(),
              or_dash(s.input.file).c_str(), or_dash(s.output.file).c_str());
}

void json_queue(JsonWriter& json, const char* name, const QueueView& q) {
  json.key(name).begin_object().key("file");
  q.file.empty() ? json.null_value() : json.value(q.file);
  json.key("id");
  q.id < 0 ? json.null_value() : json.value(q.id);
  json.key("waiting");
  q.waiting < 0 ? json.null_value() : json.value(q.waiting);
  json.end_object();
}

void print_session_json(const Session& s) {
  JsonWriter json;
  json.begin_object().key("kind").value("process").key("pid").value(static_cast<long>(s.proc.pid));
  json.key("user").value(s.user).key("uid").value(static_cast<long>(s.proc.uid)).key("engine").value(s.engine);
  json_queue(json, "input", s.input);
  json_queue(json, "output", s.output);
  json.key("idle_seconds").value(s.idle_seconds).key("log_dir");
  s.proc.log_dir.empty() ? json.null_value() : json.value(s.proc.log_dir);
  std::printf("%s\n", json.end_object().text().c_str());
}

// Removes one stale queue, checked again first: a moment has passed since it
// was found. False with the reason in *why.
bool remove_stale(const SysvQueue& q, std::string* why) {
  if (MSltIsOwnQueue(q.id) == 0 || MSltInUse(q.id) != 0) {
    *why = "no longer a stale queue of this user's";
    return false;
  }
  if (msgctl(q.id, IPC_RMID, nullptr) == 0) return true;
  *why = std::strerror(errno);
  return false;
}

// Prints (and with --remove removes) one stale queue; false when its removal failed.
bool handle_stale(const SysvQueue& q, const StatusOptions& options) {
  std::string why;
  const bool removed = options.remove && remove_stale(q, &why);
  if (options.json) {
    JsonWriter json;
    json.begin_object().key("kind").value("stale queue").key("id").value(q.id).key("key").value(key_text(q.key));
    json.key("waiting").value(q.messages).key("last_receiver").value(static_cast<long>(q.last_receiver));
    if (options.remove) json.key("removed").value(removed);
    std::printf("%s\n", json.end_object().text().c_str());
  } else if (removed) {
    std::printf("removed queue %d (key %s)\n", q.id, key_text(q.key).c_str());
  } else if (!options.remove) {
    std::printf("%9d %s %8ld %13d\n", q.id, key_text(q.key).c_str(), q.messages, static_cast<int>(q.last_receiver));
  }
  if (options.remove && !removed) {
    std::fprintf(stderr, "taxapi-client: cannot remove queue %d (key %s): %s\n", q.id, key_text(q.key).c_str(),
                 why.c_str());
  }
  return !options.remove || removed;
}

}  // namespace

int run_status(const StatusOptions& options) {
  const std::vector<Session> sessions = visible_sessions();
  const std::vector<SysvQueue> stale = stale_queues(sessions);
  if (!options.json && sessions.empty()) {
    std::puts("no taxapi process");
  } else if (!options.json) {
    print_session_header();
  }
  for (const Session& s : sessions) options.json ? print_session_json(s) : print_session_text(s);
  if (!options.json && stale.empty()) {
    std::puts("no stale queue");
  } else if (!options.json && !options.remove) {
    std::puts("stale queues (no live process uses them; status --remove removes them):\n"
              "       ID        KEY MESSAGES LAST-RECEIVER");
  }
  bool failed = false;
  for (const SysvQueue& q : stale) failed = !handle_stale(q, options) || failed;
  return failed ? 1 : 0;
}

}  // namespace erp

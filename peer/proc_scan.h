// proc_scan: what Linux's /proc tells of processes and System V message
// queues, for `taxapi-client status`.
//
// The parsers take a file's text and are pure, so tables of sample texts
// test them. The readers look at a live system, where a process listed one
// moment may be gone the next: read_process() gives nullopt rather than half
// a process. Every file is opened close-on-exec.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace erp {

// One queue of /proc/sysvipc/msg.
struct SysvQueue {
  long key = 0;  // as the kernel prints it, signed
  int id = -1;
  long messages = 0;
  pid_t last_sender = 0;    // lspid
  pid_t last_receiver = 0;  // lrpid
  uid_t owner = 0;          // uid
  uid_t creator = 0;        // cuid
};

// The queues of a /proc/sysvipc/msg text. Columns are found by the header's
// names; a line short of a number is skipped.
std::vector<SysvQueue> parse_sysvipc_msg(std::string_view text);

// The start time in a /proc/PID/stat text, in clock ticks after boot (its
// 22nd field), or -1. The command name, the second field, may hold blanks
// and parentheses: fields are counted from its last ")".
long long parse_stat_start(std::string_view text);

// The effective uid in a /proc/PID/status text ("Uid:" line), or -1.
long parse_status_euid(std::string_view text);

// A running process as /proc shows it.
struct ProcFacts {
  pid_t pid = 0;
  uid_t uid = 0;  // effective
  std::vector<std::string> argv;
  std::string cwd;          // "" when it cannot be read
  long age_seconds = 0;     // since it started
  std::string log_dir;      // the directory of its open "log.api", or ""
};

// The ids of the processes in /proc, ascending.
std::vector<pid_t> list_pids();

// Whether `pid` runs taxapi: the name of its executable, or its command name
// when the executable cannot be read (another user's process).
bool runs_taxapi(pid_t pid);

// Whether `pid` sees the queues this process sees (the same IPC namespace);
// true when that cannot be told.
bool same_ipc_namespace(pid_t pid);

// The process's facts; nullopt when it vanished (or is a zombie) while read.
std::optional<ProcFacts> read_process(pid_t pid);

// The whole text of `path`, nullopt when it cannot be read.
std::optional<std::string> read_text(const std::string& path);

}  // namespace erp

#include "proc_scan.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace erp {

namespace {

std::vector<std::string> words_of(std::string_view line) {
  std::istringstream in{std::string(line)};
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool to_long(const std::string& text, long* out) {
  char* end = nullptr;
  *out = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

std::string link_target(const std::string& path) {
  char buf[4096];
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A deleted file's link reads "PATH (deleted)": an executable replaced by an
// upgrade while it runs still names the program.
std::string without_deleted(std::string path) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  return path;
}

std::vector<std::string> split_nul(const std::string& text) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\0', start), text.size());
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The directory of the process's open "log.api", or "".
std::string log_dir_of(pid_t pid) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(fds.c_str());
  if (dir == nullptr) return "";
  std::string found;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string target = link_target(fds + "/" + e->d_name);
    if (base_name(target) == "log.api") {
      found = target.substr(0, target.rfind('/'));
      break;
    }
  }
  closedir(dir);
  return found;
}

// Seconds since process start `ticks` (after boot), or 0.
long age_of(long long ticks) {
  const std::optional<std::string> uptime = read_text("/proc/uptime");
  const long hz = sysconf(_SC_CLK_TCK);
  if (!uptime || hz <= 0 || ticks < 0) return 0;
  return std::max(0L, static_cast<long>(std::strtod(uptime->c_str(), nullptr) -
                                        static_cast<double>(ticks) / static_cast<double>(hz)));
}

}  // namespace

std::vector<SysvQueue> parse_sysvipc_msg(std::string_view text) {
  std::vector<SysvQueue> queues;
  std::vector<std::string> header;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = words_of(line);
    if (header.empty()) {
      header = words;
      continue;
    }
    auto number = [&](const char* column, long* out) {
      const auto at = std::find(header.begin(), header.end(), column);
      const auto index = static_cast<std::size_t>(at - header.begin());
      return at != header.end() && index < words.size() && to_long(words[index], out);
    };
    long key, id, qnum, lspid, lrpid, uid, cuid;
    if (number("key", &key) && number("msqid", &id) && number("qnum", &qnum) && number("lspid", &lspid) &&
        number("lrpid", &lrpid) && number("uid", &uid) && number("cuid", &cuid)) {
      queues.push_back({key, static_cast<int>(id), qnum, static_cast<pid_t>(lspid), static_cast<pid_t>(lrpid),
                        static_cast<uid_t>(uid), static_cast<uid_t>(cuid)});
    }
  }
  return queues;
}

long long parse_stat_start(std::string_view text) {
  const std::size_t paren = text.rfind(')');
  if (paren == std::string_view::npos) return -1;
  // After the name: field 3 (state) is the first, so field 22 the 20th.
  const std::vector<std::string> fields = words_of(text.substr(paren + 1));
  long start = -1;
  return fields.size() >= 20 && to_long(fields[19], &start) ? start : -1;
}

long parse_status_euid(std::string_view text) {
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = words_of(line);
    long euid = -1;
    if (words.size() >= 3 && words[0] == "Uid:" && to_long(words[2], &euid)) return euid;
  }
  return -1;
}

std::optional<std::string> read_text(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "re");
  if (f == nullptr) return std::nullopt;
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return text;
}

std::vector<pid_t> list_pids() {
  std::vector<pid_t> pids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return pids;
  while (const dirent* e = readdir(dir)) {
    long pid = 0;
    if (to_long(e->d_name, &pid) && pid > 0) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

bool runs_taxapi(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  const std::string exe = link_target(proc + "/exe");
  if (!exe.empty()) return base_name(without_deleted(exe)) == "taxapi";
  const std::optional<std::string> comm = read_text(proc + "/comm");
  return comm && *comm == "taxapi\n";
}

bool same_ipc_namespace(pid_t pid) {
  const std::string theirs = link_target("/proc/" + std::to_string(pid) + "/ns/ipc");
  return theirs.empty() || theirs == link_target("/proc/self/ns/ipc");
}

std::optional<ProcFacts> read_process(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  const std::optional<std::string> status = read_text(proc + "/status");
  const std::optional<std::string> stat = read_text(proc + "/stat");
  const std::optional<std::string> cmdline = read_text(proc + "/cmdline");
  // A zombie has an empty command line: it no longer runs.
  if (!status || !stat || !cmdline || cmdline->empty() || parse_status_euid(*status) < 0) return std::nullopt;
  ProcFacts p;
  p.pid = pid;
  p.uid = static_cast<uid_t>(parse_status_euid(*status));
  p.argv = split_nul(*cmdline);
  p.cwd = link_target(proc + "/cwd");
  p.age_seconds = age_of(parse_stat_start(*stat));
  p.log_dir = log_dir_of(pid);
  return p;
}

}  // namespace erp

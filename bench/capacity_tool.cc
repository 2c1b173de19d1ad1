// capacity_tool: what one host's taxapi processes cost a site that plans for
// many users: memory per idle process, the start rate of a burst, and the
// start-up time beside the least any process can take to get ready.
//
//   capacity_tool memory [-n PROCESSES] [-s STARTERS] [-w SETTLE_MS]   (300, 4, 1000)
//   capacity_tool startup [-n STARTS]                                  (50)
//
// memory: PROCESSES idle taxapi alive at once, even-numbered ones Taxware,
// odd ones Vertex, each started by an erp::ErpPeer of its own as the ERP
// starts them (logs off, default receive time-out). STARTERS processes start
// them, each its share one after the other (an ErpPeer borrows its process's
// alarm, so one start at a time per process); together they keep both CPUs
// busy, so the time from the first start to the last acknowledgement gives
// the start rate of a burst in which every session stays up. Once all are
// acknowledged and each one sleeps in its receive, it reads their memory
// from /proc/PID/smaps_rollup: PSS (each shared page - the engine libraries,
// libc - split among the processes that map it, so the figures add up to
// what the processes take together), RSS (shared pages counted in full) and
// private memory (what each one alone takes). It checks again afterwards
// that all of them are still alive and asleep.
//
// startup: STARTS starts of taxapi with each engine and of start_floor,
// interleaved so that a busy spell of the machine hits all three alike,
// after two uncounted rounds that bring the files into the page cache. A
// start is timed from the spawn (posix_spawn returns once the exec is done)
// to the ready message read from the output queue; the output queue is made
// beforehand, as the ERP makes it. start_floor does only taxapi's queue work
// (create the input queue, open the output queue, send the ready text), so
// taxapi's median over the floor's is what its own start adds.
//
// Both print a report and "result:" lines (read by scripts/capacity.sh).
// Exit status: 0 when everything started and every queue made is gone, 1
// otherwise, 2 for a usage error, 130 when stopped by Ctrl-C or SIGTERM
// (everything it started ended, its queues removed).
#include <signal.h>
#include <spawn.h>
#include <sys/msg.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "erp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Sleeps in short steps, so a stop signal is seen within one.
void pause_ms(int ms) {
  for (const auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end && !bench::stop_requested();)
    usleep(10000);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nearest rank: the smallest value that at least p of the values do not exceed.
double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t rank = static_cast<std::size_t>(p * static_cast<double>(v.size()) + 0.999999);
  return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

double mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

// Removes the queues by id (never by key: another queue may stand under it
// by now); returns how many were still there.
int remove_queues(const std::vector<int>& ids) {
  int left = 0;
  for (int id : ids) {
    if (id != -1 && msgctl(id, IPC_RMID, nullptr) == 0) ++left;
  }
  return left;
}

// ---- memory ----------------------------------------------------------------

// What a starter reports of one process; one write each, smaller than
// PIPE_BUF, so the starters' reports never interleave.
struct Started {
  int stype = 0;
  pid_t pid = 0;  // 0: it did not start
  int inq_id = -1;
  int outq_id = -1;
};

struct Memory {
  double rss = 0, pss = 0, priv = 0;  // kB
};

// The system call the process sleeps in is msgrcv: it is in its receive.
bool in_receive(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/syscall");
  long call = -1;
  return static_cast<bool>(f >> call) && call == SYS_msgrcv;
}

bool read_memory(pid_t pid, Memory* m) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
  bool pss = false;
  for (std::string line; std::getline(f, line);) {
    char name[64];
    double kb = 0;
    if (std::sscanf(line.c_str(), "%63[^:]: %lf kB", name, &kb) != 2) continue;
    const std::string n = name;
    if (n == "Rss") m->rss = kb;
    if (n == "Pss") {
      m->pss = kb;
      pss = true;
    }
    if (n == "Private_Clean" || n == "Private_Dirty") m->priv += kb;
  }
  return pss;
}

// One starter: starts its share of the processes one after the other and
// reports each; keeps them until the parent closes the go pipe, then ends
// them with the terminate message, as the ERP ends a session.
void run_starter(int first, int step, int count, const std::string& dir, int result_fd, int go_fd) {
  std::vector<std::unique_ptr<erp::ErpPeer>> peers;
  for (int i = first; i < count && !bench::stop_requested(); i += step) {
    const int stype = i % 2 == 0 ? bench::kTaxware : bench::kVertex;
    peers.push_back(std::make_unique<erp::ErpPeer>(bench::engine_options(stype, dir + "/p" + std::to_string(i))));
    erp::ErpPeer& peer = *peers.back();
    Started s;
    s.stype = stype;
    if (peer.start()) {
      s.pid = peer.pid();
      s.inq_id = peer.input_queue_id();
      s.outq_id = peer.output_queue_id();
    }
    if (write(result_fd, &s, sizeof s) != static_cast<ssize_t>(sizeof s)) break;
  }
  close(result_fd);
  char byte;
  while (read(go_fd, &byte, 1) > 0) {
  }
  for (auto& peer : peers) peer->terminate();
  peers.clear();  // each one's destructor removes whatever of its queues is left
}

struct Group {
  std::vector<double> pss, rss, priv;
};

void print_group(const char* name, const Group& g) {
  double total = 0;
  for (double x : g.pss) total += x;
  std::printf("  %-8s %9zu %10.0f %10.0f %10.0f %10.0f %12.0f\n", name, g.pss.size(), mean(g.pss), median(g.pss),
              mean(g.rss), mean(g.priv), total);
}

void result_group(const char* name, const Group& g) {
  double total = 0;
  for (double x : g.pss) total += x;
  std::printf("result: memory engine=%s processes=%zu pss_mean_kb=%.1f pss_median_kb=%.1f rss_mean_kb=%.1f "
              "private_mean_kb=%.1f pss_total_kb=%.0f\n",
              name, g.pss.size(), mean(g.pss), median(g.pss), mean(g.rss), mean(g.priv), total);
}

int memory(int count, int starters, int settle_ms) {
  const std::string dir = bench::make_temp_dir("taxapi-capacity");
  std::set<key_t> keys;
  bool files = !dir.empty();
  for (int i = 0; files && i < count; ++i) files = bench::make_queue_files(dir + "/p" + std::to_string(i), &keys);
  int results[2], go[2];
  if (!files || pipe(results) != 0 || pipe(go) != 0) {
    std::perror("capacity_tool: queue files or pipes");
    if (!dir.empty()) bench::remove_tree(dir);
    return 1;
  }
  std::fflush(stdout);
  const long long start_ns = now_ns();
  std::vector<pid_t> children;
  for (int k = 0; k < starters; ++k) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(results[0]);
      close(go[1]);
      run_starter(k, starters, count, dir, results[1], go[0]);
      _exit(0);
    }
    if (pid > 0) children.push_back(pid);
  }
  close(results[1]);
  close(go[0]);

  const std::vector<char> data = bench::read_all(results[0], static_cast<std::size_t>(count) * sizeof(Started));
  const double start_seconds = static_cast<double>(now_ns() - start_ns) / 1e9;
  std::vector<Started> started;
  std::vector<int> queue_ids;
  for (std::size_t at = 0; at + sizeof(Started) <= data.size(); at += sizeof(Started)) {
    Started s;
    std::memcpy(&s, data.data() + at, sizeof s);
    if (s.pid > 0) started.push_back(s);
    queue_ids.insert(queue_ids.end(), {s.inq_id, s.outq_id});
  }

  // Idle: each one asleep in its receive, given up to a second more to get there.
  pause_ms(settle_ms);
  int idle = 0;
  for (const Started& s : started) {
    for (int tries = 0; tries < 100 && !in_receive(s.pid) && !bench::stop_requested(); ++tries) usleep(10000);
    idle += in_receive(s.pid) ? 1 : 0;
  }
  Group all, by_engine[2];
  for (const Started& s : started) {
    Memory m;
    if (!read_memory(s.pid, &m)) continue;
    for (Group* g : {&all, &by_engine[s.stype == bench::kTaxware ? 0 : 1]}) {
      g->pss.push_back(m.pss);
      g->rss.push_back(m.rss);
      g->priv.push_back(m.priv);
    }
  }
  // Still there and still asleep: all were alive together while read.
  int alive_after = 0;
  for (const Started& s : started) alive_after += in_receive(s.pid) ? 1 : 0;

  close(go[1]);  // the starters end their processes now
  if (bench::stop_requested()) {
    for (pid_t pid : children) kill(pid, SIGTERM);
  }
  for (pid_t pid : children) bench::reap(pid);
  const int left = remove_queues(queue_ids);
  bench::remove_tree(dir);
  if (bench::stop_requested()) {
    std::fprintf(stderr, "capacity_tool: stopped; every process ended, every queue removed\n");
    return 130;
  }

  std::printf("memory: %d idle taxapi (%d Taxware, %d Vertex): %zu acknowledged, %d asleep in their receive, "
              "%d still so after every one was read\n",
              count, (count + 1) / 2, count / 2, started.size(), idle, alive_after);
  std::printf("  %-8s %9s %10s %10s %10s %10s %12s\n", "engine", "processes", "PSS mean", "PSS median", "RSS mean",
              "private", "PSS total");
  print_group("Taxware", by_engine[0]);
  print_group("Vertex", by_engine[1]);
  print_group("all", all);
  std::printf("  (kB; private: mean)\n");
  std::printf("starts: %zu in %.3f s by %d starters, %.1f starts/s\n", started.size(), start_seconds, starters,
              static_cast<double>(started.size()) / start_seconds);
  std::printf("queues: %zu made, %d left behind (removed now)\n", queue_ids.size(), left);
  result_group("taxware", by_engine[0]);
  result_group("vertex", by_engine[1]);
  result_group("all", all);
  std::printf("result: starts processes=%zu starters=%d seconds=%.3f rate=%.1f\n", started.size(), starters,
              start_seconds, static_cast<double>(started.size()) / start_seconds);
  const bool ok = static_cast<int>(started.size()) == count && idle == count && alive_after == count &&
                  static_cast<int>(all.pss.size()) == count && left == 0;
  return ok ? 0 : 1;
}

// ---- startup ---------------------------------------------------------------

void on_alarm(int) {}

struct Program {
  const char* name;   // in the result lines
  const char* label;  // in the report
  bool floor;         // start_floor: it exits once ready and leaves its input queue to the launcher
  std::string path;
  int stype;
  std::string dir;
  std::vector<std::string> env {};
  std::vector<double> ms {};
  int failed = 0;
  int left = 0;  // queues it left behind
};

struct QueueMessage {
  long type;
  char text[4097];
};

// Waits for the child, killing it after `seconds`.
void end_child(pid_t pid, unsigned seconds) {
  alarm(seconds);
  if (waitpid(pid, nullptr, 0) == -1) {
    kill(pid, SIGKILL);
    bench::reap(pid);
  }
  alarm(0);
}

// One start of `p`, added to its times (or its failures).
void time_start(Program& p) {
  const std::string inq = p.dir + "/inq", outq = p.dir + "/outq";
  // The ERP's step before the start: the output queue, made anew and exclusively.
  const int out = msgget(ftok(outq.c_str(), API_QUEUE_PROJECT_ID), IPC_CREAT | IPC_EXCL | 0600);
  if (out == -1) {
    ++p.failed;
    return;
  }
  std::vector<std::string> args = {p.path, inq, outq, "1", std::to_string(p.stype)};
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : p.env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  static QueueMessage m;
  pid_t pid = -1;
  const auto t0 = Clock::now();
  ssize_t n = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0) {
    alarm(10);  // a start that never answers ends the wait
    n = msgrcv(out, &m, sizeof m.text - 1, 0, MSG_NOERROR);
    alarm(0);
  }
  const auto t1 = Clock::now();
  const std::string ready = "10~0~1~" + std::to_string(p.stype) + "~0~~";
  const bool ok = n > 0 && std::string(m.text, strnlen(m.text, static_cast<std::size_t>(n))) == ready;
  const key_t in_key = ftok(inq.c_str(), API_QUEUE_PROJECT_ID);
  if (pid > 0) {
    // taxapi ends at the terminate message and removes both queues; the floor
    // has ended already; a start that failed or was stopped is ended at once.
    const int in = msgget(in_key, 0);
    if (ok && !p.floor && in != -1) {
      QueueMessage end {1, {}};
      const std::string text = "4~0~1~" + std::to_string(p.stype) + "~0~";
      std::memcpy(end.text, text.c_str(), text.size() + 1);
      msgsnd(in, &end, text.size() + 1, IPC_NOWAIT);
    } else if (!ok) {
      kill(pid, SIGKILL);
    }
    end_child(pid, 5);
  }
  // Only with the process gone is the input queue under the key all it left.
  const int left = remove_queues({msgget(in_key, 0), out});
  if (ok && !p.floor) p.left += left;
  if (ok) {
    p.ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  } else {
    ++p.failed;
  }
}

int startup(int starts) {
  const std::string dir = bench::make_temp_dir("taxapi-startup");
  std::set<key_t> keys;
  // The floor gets the Taxware start's arguments and environment: an exec
  // costs alike whatever the program does with them.
  std::vector<Program> programs = {{"taxware", "taxapi, Taxware", false, "", bench::kTaxware, dir + "/taxware"},
                                   {"vertex", "taxapi, Vertex", false, "", bench::kVertex, dir + "/vertex"},
                                   {"floor", "start_floor", true, BENCH_START_FLOOR, bench::kTaxware, dir + "/floor"}};
  bool files = !dir.empty();
  for (Program& p : programs) {
    files = files && bench::make_queue_files(p.dir, &keys);
    if (!files) break;
    const erp::PeerOptions options = bench::engine_options(p.stype, p.dir);
    if (p.path.empty()) p.path = options.taxapi;
    p.env = erp::child_environment(options);
  }
  if (!files) {
    std::perror("capacity_tool: queue files");
    if (!dir.empty()) bench::remove_tree(dir);
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = on_alarm;  // no SA_RESTART: the alarm ends a wait
  sigaction(SIGALRM, &action, nullptr);
  for (int round = -2; round < starts && !bench::stop_requested(); ++round) {
    for (Program& p : programs) {
      const std::size_t before = p.ms.size();
      time_start(p);
      if (round < 0 && p.ms.size() > before) p.ms.pop_back();  // the uncounted rounds
    }
  }
  bench::remove_tree(dir);
  if (bench::stop_requested()) {
    std::fprintf(stderr, "capacity_tool: stopped; every process ended, every queue removed\n");
    return 130;
  }
  const double floor = median(programs[2].ms);
  std::printf("startup: exec to the ready message, %d starts each (interleaved)\n", starts);
  std::printf("  %-22s %10s %10s %10s %7s\n", "program", "median ms", "p90 ms", "/ floor", "failed");
  for (const Program& p : programs) {
    std::printf("  %-22s %10.3f %10.3f %10.2f %7d\n", p.label, median(p.ms), percentile(p.ms, 0.9),
                floor > 0 ? median(p.ms) / floor : 0, p.failed);
  }
  bool ok = true;
  for (const Program& p : programs) {
    std::printf("result: startup program=%s starts=%zu median_ms=%.3f p90_ms=%.3f failed=%d left=%d\n", p.name,
                p.ms.size(), median(p.ms), percentile(p.ms, 0.9), p.failed, p.left);
    ok = ok && p.failed == 0 && p.left == 0;
  }
  return ok ? 0 : 1;
}

int usage() {
  std::fprintf(stderr,
               "usage: capacity_tool memory [-n PROCESSES] [-s STARTERS] [-w SETTLE_MS]\n"
               "       capacity_tool startup [-n STARTS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string mode = argv[1];
  int count = mode == "memory" ? 300 : 50, starters = 4, settle_ms = 1000;
  optind = 2;
  for (int opt; (opt = getopt(argc, argv, mode == "memory" ? "n:s:w:" : "n:")) != -1;) {
    const int value = optarg != nullptr ? std::atoi(optarg) : 0;
    if (opt == '?' || value <= 0) return usage();
    (opt == 'n' ? count : opt == 's' ? starters : settle_ms) = value;
  }
  if (optind != argc || (mode != "memory" && mode != "startup")) return usage();
  bench::catch_stop_signals();
  return mode == "memory" ? memory(count, starters, settle_ms) : startup(count);
}

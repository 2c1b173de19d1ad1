// Round trips through the real taxapi (stand-in engines, real dlopen, the ERP
// side played by erp::ErpPeer) next to a raw System V queue ping-pong, and
// what an idle taxapi costs.
//
//   roundtrip_bench [--rounds=N] [--idle_ms=MS] [--before=TAXAPI] [--samples=FILE] [benchmark flags]
//
// BM_RoundTrips interleaves, round by round, a raw ping-pong, a lone data
// message (answered with error 8), a full Taxware tax request and a full
// Vertex tax request (action, acknowledgement, data, status, result), so a
// slow spell of the machine hits all four alike and their ratios hold from
// run to run. The client runs on one CPU, the servers (echo partner and both
// taxapi) on another: no run shares a CPU with its partner by chance. All run
// with real-time priority where allowed, so other jobs on the machine do not
// hold up a wake-up (they still change what one costs: on a virtual machine,
// waking an idle CPU is slower than preempting a busy one).
//
// BM_Idle starts a taxapi with the default receive time-out and watches it
// for --idle_ms: its wake-ups per second (context switches) and CPU share.
// --before names an older taxapi to watch the same way.
//
// --samples writes every round trip as "kind,microseconds" for plots.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "erp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Config {
  int rounds = 3000;
  int idle_ms = 3000;
  std::string before;   // an older taxapi for the idle comparison
  std::string samples;  // where to write every sample
};
Config g_config;

// ---- Samples --------------------------------------------------------------

struct Series {
  std::string name;
  std::vector<double> us;
  double percentile(double p) const {
    if (us.empty()) return 0;
    std::vector<double> sorted = us;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
  }
};

std::vector<Series> g_series;  // raw, lone, taxware, vertex, once measured
bool g_realtime = false;       // whether they ran with real-time priority

struct IdleFigures {
  std::string taxapi;
  double wakeups_per_s = 0;
  double cpu_percent = 0;
};
std::vector<IdleFigures> g_idle;

// ---- CPU placement ---------------------------------------------------------

std::vector<int> allowed_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

// Pins the calling thread, and every process or thread it starts from now on,
// to `cpu`.
void pin(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

// Real-time priority for the client and, through fork and exec, the servers
// (where allowed, e.g. as root): on a machine busy with other jobs a wake-up
// then never waits behind them, which otherwise moves the figures most.
bool raise_priority() {
  struct sched_param p {};
  p.sched_priority = 1;
  return sched_setscheduler(0, SCHED_FIFO, &p) == 0;
}

void lower_priority() {
  struct sched_param p {};
  sched_setscheduler(0, SCHED_OTHER, &p);
}

void unpin(const std::vector<int>& cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu : cpus) CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

// ---- The raw floor ---------------------------------------------------------

// Two private queues and a child that sends every message back: the floor
// any server on System V queues can reach.
class Echo {
 public:
  Echo() {
    ping_ = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    pong_ = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    if (ping_ == -1 || pong_ == -1) return;
    child_ = fork();
    if (child_ == 0) {
      Message m {};
      while (msgrcv(ping_, &m, sizeof m.text, 0, 0) >= 0 && m.type == 1) {
        msgsnd(pong_, &m, std::strlen(m.text) + 1, 0);
      }
      _exit(0);
    }
  }
  ~Echo() {
    if (child_ > 0) {
      Message stop {2, "stop"};
      msgsnd(ping_, &stop, 5, 0);
      waitpid(child_, nullptr, 0);
    }
    if (ping_ != -1) msgctl(ping_, IPC_RMID, nullptr);
    if (pong_ != -1) msgctl(pong_, IPC_RMID, nullptr);
  }
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

  bool ok() const { return child_ > 0; }
  // Sends the data message text and returns what comes back.
  std::string round_trip() {
    Message m {1, "9~1~1~1~1~"};
    Message r {};
    if (msgsnd(ping_, &m, std::strlen(m.text) + 1, 0) != 0) return "send failed";
    if (msgrcv(pong_, &r, sizeof r.text, 0, 0) < 0) return "receive failed";
    return r.text;
  }

 private:
  struct Message {
    long type;
    char text[64];
  };
  int ping_ = -1;
  int pong_ = -1;
  pid_t child_ = -1;
};

// ---- Round trips -----------------------------------------------------------

// One kind of round trip: what it does, and what must come back.
struct Probe {
  std::function<std::string()> run;
  std::string expected;
};

std::string last_result(const erp::Exchange& ex) {
  return ex.ok && !ex.results.empty() ? ex.results.back() : "failed: " + ex.problem;
}

void measure_rounds(benchmark::State& state, Echo& echo, erp::ErpPeer& taxware, erp::ErpPeer& vertex) {
  const std::string taxware_body = bench::tax_body(bench::kTaxware, 400, "INV-1");
  const std::string vertex_body = bench::tax_body(bench::kVertex, 400, "INV-2");
  const std::vector<Probe> probes = {
      {[&] { return echo.round_trip(); }, "9~1~1~1~1~"},
      {[&] { return taxware.send("9~1~1~1~1~") ? taxware.receive().value_or("no reply") : "send failed"; },
       "5~0~1~1~0~8.000000~"},
      {[&] { return last_result(taxware.request(1, bench::kTaxware, taxware_body)); },
       bench::expected_result(bench::kTaxware, 400)},
      {[&] { return last_result(vertex.request(1, bench::kVertex, vertex_body)); },
       bench::expected_result(bench::kVertex, 400)},
  };
  g_series = {{"raw", {}}, {"lone", {}}, {"taxware", {}}, {"vertex", {}}};
  // A few rounds first: caches, the engines' first calls, the CPUs' clocks.
  for (int i = 0; i < 200; ++i) {
    for (const Probe& p : probes) p.run();
  }
  for (auto _ : state) {
    for (std::size_t i = 0; i < probes.size(); ++i) {
      const auto t0 = Clock::now();
      const std::string got = probes[i].run();
      g_series[i].us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      if (got != probes[i].expected) {
        state.SkipWithError((g_series[i].name + " round trip: " + got).c_str());
        return;
      }
    }
  }
  for (const Series& s : g_series) {
    state.counters[s.name + "_p50_us"] = s.percentile(0.50);
    state.counters[s.name + "_p99_us"] = s.percentile(0.99);
  }
}

void BM_RoundTrips(benchmark::State& state) {
  const std::vector<int> cpus = allowed_cpus();
  const std::string dir = bench::make_temp_dir("taxapi-bench");
  if (dir.empty()) {
    state.SkipWithError("cannot make a temporary directory");
    return;
  }
  {
    // Servers forked while pinned to the second CPU inherit it.
    g_realtime = raise_priority();
    if (cpus.size() >= 2) pin(cpus[1]);
    Echo echo;
    erp::ErpPeer taxware(bench::engine_options(bench::kTaxware, dir + "/taxware"));
    erp::ErpPeer vertex(bench::engine_options(bench::kVertex, dir + "/vertex"));
    const bool started = echo.ok() && taxware.start() && vertex.start();
    if (cpus.size() >= 2) pin(cpus[0]);
    if (started) {
      measure_rounds(state, echo, taxware, vertex);
    } else {
      state.SkipWithError("the echo partner or a taxapi did not start");
    }
    taxware.terminate();
    vertex.terminate();
  }
  unpin(cpus);
  if (g_realtime) lower_priority();
  bench::remove_tree(dir);
}

// ---- Idle cost -------------------------------------------------------------

struct ProcCounters {
  long switches = 0;  // voluntary + involuntary context switches: each wake-up is one
  double cpu_ms = 0;  // time on a CPU
};

// From /proc: the switches from status, the CPU time from schedstat (in ns;
// the utime + stime of stat count whole 10 ms ticks, too coarse for an idle
// process), falling back to stat where schedstat is missing.
ProcCounters read_proc(pid_t pid) {
  const std::string base = "/proc/" + std::to_string(pid);
  ProcCounters c;
  std::ifstream status(base + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.find("ctxt_switches:") != std::string::npos) c.switches += std::atol(line.c_str() + line.find(':') + 1);
  }
  std::ifstream schedstat(base + "/schedstat");
  double ns = 0;
  if (schedstat >> ns) {
    c.cpu_ms = ns / 1e6;
    return c;
  }
  std::ifstream stat(base + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::atol(field.c_str());  // utime, stime
  }
  c.cpu_ms = 1000.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return c;
}

void BM_Idle(benchmark::State& state, const std::string& taxapi) {
  const std::string dir = bench::make_temp_dir("taxapi-idle");
  {
    erp::ErpPeer peer(bench::engine_options(bench::kTaxware, dir, taxapi));
    if (!peer.start()) {
      state.SkipWithError(("cannot start " + taxapi).c_str());
    } else {
      IdleFigures figures {taxapi.empty() ? "this build" : taxapi};
      for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // start-up settles
        const ProcCounters a = read_proc(peer.pid());
        std::this_thread::sleep_for(std::chrono::milliseconds(g_config.idle_ms));
        const ProcCounters b = read_proc(peer.pid());
        const double seconds = g_config.idle_ms / 1000.0;
        figures.wakeups_per_s = static_cast<double>(b.switches - a.switches) / seconds;
        figures.cpu_percent = (b.cpu_ms - a.cpu_ms) / (10 * seconds);
      }
      state.counters["wakeups_per_s"] = figures.wakeups_per_s;
      state.counters["cpu_percent"] = figures.cpu_percent;
      g_idle.push_back(figures);
      peer.terminate();
    }
  }
  bench::remove_tree(dir);
}

// ---- Command line and summary -----------------------------------------------

// Takes this tool's own flags out of argv, leaving the benchmark library's.
void take_flags(int* argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string a = argv[i];
    const std::size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
    if (name == "--rounds") {
      g_config.rounds = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--idle_ms") {
      g_config.idle_ms = std::max(100, std::atoi(value.c_str()));
    } else if (name == "--before") {
      g_config.before = value;
    } else if (name == "--samples") {
      g_config.samples = value;
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

void print_summary() {
  std::printf("\nidle taxapi over %.1f s (default time-out)   wake-ups/s      CPU %%\n", g_config.idle_ms / 1000.0);
  for (const IdleFigures& f : g_idle) {
    std::printf("  %-40s %10.1f %10.4f\n", f.taxapi.c_str(), f.wakeups_per_s, f.cpu_percent);
  }
  if (g_series.empty() || g_series[0].us.empty()) return;
  const char* labels[] = {"raw queue ping-pong", "lone data message (error 8)", "Taxware tax request",
                          "Vertex tax request"};
  std::printf("\nround trip (%zu rounds%s)      median us     p99 us\n", g_series[0].us.size(),
              g_realtime ? ", real-time" : "");
  for (std::size_t i = 0; i < g_series.size(); ++i) {
    std::printf("  %-32s %10.1f %10.1f\n", labels[i], g_series[i].percentile(0.50), g_series[i].percentile(0.99));
  }
  auto ratio = [&](std::size_t i, double raws, double p) {
    return g_series[i].percentile(p) / (raws * g_series[0].percentile(p));
  };
  std::printf("\nratio                                  median        p99\n");
  std::printf("  lone / raw                       %10.2f %10.2f\n", ratio(1, 1, 0.5), ratio(1, 1, 0.99));
  std::printf("  Taxware / 2 raw                  %10.2f %10.2f   (target: median at most 1.5)\n", ratio(2, 2, 0.5),
              ratio(2, 2, 0.99));
  std::printf("  Vertex / 2 raw                   %10.2f %10.2f   (target: median at most 1.5)\n", ratio(3, 2, 0.5),
              ratio(3, 2, 0.99));
}

bool write_samples(const std::string& path) {
  std::ofstream out(path);
  out << "kind,us\n";
  for (const Series& s : g_series) {
    for (double us : s.us) out << s.name << ',' << us << '\n';
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  take_flags(&argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RegisterBenchmark("BM_RoundTrips", BM_RoundTrips)
      ->Iterations(g_config.rounds)
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_Idle/this_build", BM_Idle, std::string())->Iterations(1)->Unit(benchmark::kMillisecond);
  if (!g_config.before.empty()) {
    benchmark::RegisterBenchmark("BM_Idle/before", BM_Idle, g_config.before)->Iterations(1)->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_summary();
  if (!g_config.samples.empty() && !write_samples(g_config.samples)) {
    std::fprintf(stderr, "cannot write %s\n", g_config.samples.c_str());
    return 1;
  }
  return 0;
}

// Round trip of one message answered by the tax API process (a lone data
// message, answered with error code 8), next to a raw System V queue
// ping-pong between two processes. Prints the median and 99th percentile of
// each and their ratio; the process's median should stay within 3 times the
// raw round trip, i.e. no reply waits for a polling tick.
#include <benchmark/benchmark.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "erp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  std::vector<double> micros;
  double percentile(double p) {
    if (micros.empty()) return 0;
    std::sort(micros.begin(), micros.end());
    const std::size_t i = std::min(micros.size() - 1, static_cast<std::size_t>(p * static_cast<double>(micros.size())));
    return micros[i];
  }
};

Sample g_raw;
Sample g_taxapi;

struct RawMessage {
  long mtype;
  char mtext[64];
};

void report(benchmark::State& state, Sample& sample) {
  state.counters["median_us"] = sample.percentile(0.50);
  state.counters["p99_us"] = sample.percentile(0.99);
}

// Two private queues and an echo child: the floor any queue server can reach.
void BM_RawQueuePingPong(benchmark::State& state) {
  const int ping = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
  const int pong = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
  if (ping == -1 || pong == -1) {
    state.SkipWithError("cannot create queues");
    return;
  }
  const pid_t child = fork();
  if (child == 0) {
    RawMessage m {};
    while (msgrcv(ping, &m, sizeof m.mtext, 0, 0) >= 0) {
      if (m.mtype == 2) _exit(0);
      msgsnd(pong, &m, std::strlen(m.mtext) + 1, 0);
    }
    _exit(0);
  }
  RawMessage m {1, "9~1~1~1~1~"};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    msgsnd(ping, &m, std::strlen(m.mtext) + 1, 0);
    RawMessage r {};
    msgrcv(pong, &r, sizeof r.mtext, 0, 0);
    g_raw.micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  RawMessage stop {2, "stop"};
  msgsnd(ping, &stop, 5, 0);
  waitpid(child, nullptr, 0);
  msgctl(ping, IPC_RMID, nullptr);
  msgctl(pong, IPC_RMID, nullptr);
  report(state, g_raw);
}

void BM_TaxapiRoundTrip(benchmark::State& state) {
  char dir[] = "/tmp/taxapi-bench.XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("cannot make a temporary directory");
    return;
  }
  {
    erp::PeerOptions options;
    options.taxapi = TAXAPI_TEST_BIN;
    options.dir = dir;
    options.env = {std::string("QSE=") + dir, "APILOG=0"};
    options.unset = {"TARN_API_TIMEOUT"};
    erp::ErpPeer peer(options);
    if (!peer.start()) {
      state.SkipWithError("taxapi-test did not start");
    } else {
      for (auto _ : state) {
        const auto t0 = Clock::now();
        peer.send("9~1~1~1~1~");
        std::optional<std::string> reply = peer.receive(5000);
        g_taxapi.micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!reply) {
          state.SkipWithError("no reply");
          break;
        }
      }
      peer.terminate();
    }
  }
  std::string cleanup = std::string("rm -rf ") + dir;
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir);
  report(state, g_taxapi);
}

BENCHMARK(BM_RawQueuePingPong)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TaxapiRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double raw_median = g_raw.percentile(0.50);
  const double taxapi_median = g_taxapi.percentile(0.50);
  std::printf("\nround trip     median      p99\n");
  std::printf("raw queues   %8.1f us %8.1f us\n", raw_median, g_raw.percentile(0.99));
  std::printf("taxapi       %8.1f us %8.1f us\n", taxapi_median, g_taxapi.percentile(0.99));
  if (raw_median > 0) {
    std::printf("ratio of medians: %.2f (target: at most 3)\n", taxapi_median / raw_median);
  }
  return 0;
}

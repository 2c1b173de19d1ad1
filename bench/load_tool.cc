// load_tool: N taxapi processes at once, each driven by its own ERP peer, R
// tax requests each; every reply is checked against its own request.
//
//   load_tool [--raw] [-n N] [-r R] [-t TIMEOUT_MS]     (defaults: 50, 500, 10000)
//
// Clients with an even number use the Taxware engine, odd ones Vertex. The
// amount of request r of client c is 4 * (c * R + r + 1) dollars, and its
// invoice number INV-c-r: no two requests of the run share an amount, and the
// result's taxes (exact cents, see bench_support.h) name the amount it was
// computed for. So every reply is one of:
//   right       the reply expected next;
//   lost        a reply that did not come within the time-out (per request);
//   duplicated  an extra reply: an answer to an earlier request of this
//               client, or an acknowledgement or status nobody asked for;
//   cross-talk  a reply to another client's request, or from the other engine;
//   wrong       anything else (an error reply, a result with other taxes).
// Throughput is all requests over the time from the start signal (every
// process up and acknowledged) to the last client's last reply.
//
// Each client is a process of its own, not a thread: erp::ErpPeer is
// single-threaded (its receive arms the process's alarm), and an ERP runs one
// session per user anyway.
//
// --raw runs the same clients, requests and checks against raw_server, which
// answers every message as taxapi does but with no work behind the answers:
// the floor that System V queues and this client set for the throughput.
//
// Ctrl-C (or SIGTERM to the tool) stops the run: every process ends and every
// queue is removed; the exit status is then 130.
//
// Exit status: 0 when every request got exactly its own replies, 1 when
// anything was lost, duplicated, crossed or wrong (or a process did not
// start), 2 for a usage error.
#include <getopt.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "erp_peer.h"

namespace {

struct Config {
  int clients = 50;
  int requests = 500;
  int timeout_ms = 10000;
  bool raw = false;  // raw_server in place of taxapi
};

// What one client saw; sent to the parent through a pipe (one write, smaller
// than PIPE_BUF, so the clients' reports never interleave).
struct Counts {
  long right = 0;
  long lost = 0;
  long duplicated = 0;
  long crosstalk = 0;
  long wrong = 0;
  long started = 0;     // 1 when its taxapi acknowledged its start
  long long end_ns = 0; // steady clock at its last request's last reply
};

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int stype_of(int client) { return client % 2 == 0 ? bench::kTaxware : bench::kVertex; }

// The amount of a client's first request; each next one is 4 dollars more.
long first_dollars(int client, const Config& config) { return 4L * (static_cast<long>(client) * config.requests + 1); }

std::string ack(int stype) { return "10~0~1~" + std::to_string(stype) + "~0~~"; }
std::string status(int stype) { return "6~1~1~" + std::to_string(stype) + "~1~0~"; }

class Client {
 public:
  Client(int id, const Config& config, erp::ErpPeer& peer)
      : id_(id), stype_(stype_of(id)), config_(config), peer_(peer) {}

  // Action, acknowledgement, data, status, result; counts the request right
  // or lost, and every stray reply on the way.
  void request(int r) {
    const long dollars = first_dollars(id_, config_) + 4L * r;
    const std::string head = "1~1~" + std::to_string(stype_) + "~1~";
    const std::string invoice = "INV-" + std::to_string(id_) + "-" + std::to_string(r);
    const bool right = peer_.send("8~" + head) && await(ack(stype_)) &&
                       peer_.send("9~" + head + bench::tax_body(stype_, dollars, invoice)) &&
                       await(status(stype_)) && await(bench::expected_result(stype_, dollars));
    ++(right ? counts.right : counts.lost);
  }

  // Replies still coming after the last request are all extra.
  void drain() {
    while (std::optional<std::string> reply = peer_.receive(200)) classify(*reply);
  }

  Counts counts;

 private:
  // Takes replies until `expected`; false when none came within the time-out.
  bool await(const std::string& expected) {
    for (;;) {
      std::optional<std::string> reply = peer_.receive(config_.timeout_ms);
      if (!reply) return false;
      if (*reply == expected) return true;
      classify(*reply);
    }
  }

  // A reply that is not the one expected now: whose is it?
  void classify(const std::string& reply) {
    const long dollars = bench::result_dollars(reply);
    const long index = dollars / 4 - 1;  // c * R + r of the request it answers
    if (dollars > 0 && dollars % 4 == 0 && index < static_cast<long>(config_.clients) * config_.requests) {
      const int owner = static_cast<int>(index / config_.requests);
      if (reply == bench::expected_result(stype_of(owner), dollars)) {
        ++(owner == id_ ? counts.duplicated : counts.crosstalk);
        return;
      }
    }
    const std::vector<std::string> f = erp::split_fields(reply);
    const int stype = f.size() > 3 ? std::atoi(f[3].c_str()) : 0;
    if (reply == ack(stype) || reply == status(stype)) {
      ++(stype == stype_ ? counts.duplicated : counts.crosstalk);
      return;
    }
    ++counts.wrong;
  }

  int id_;
  int stype_;
  const Config& config_;
  erp::ErpPeer& peer_;
};

std::string client_dir(const std::string& dir, int id) { return dir + "/client" + std::to_string(id); }

// One client process: starts its taxapi, reports ready, waits for the start
// signal (the end of the go pipe), runs its requests and reports its counts.
void run_client(int id, const Config& config, const std::string& dir, int ready_fd, int go_fd, int result_fd) {
  Counts counts;
  {
    erp::PeerOptions options = bench::engine_options(stype_of(id), client_dir(dir, id));
    options.timeout_ms = config.timeout_ms;
    if (config.raw) {
      options.taxapi = BENCH_RAW_SERVER;
      options.args = std::vector<std::string> {client_dir(dir, id) + "/inq", client_dir(dir, id) + "/outq", "1",
                                               std::to_string(stype_of(id)), std::to_string(first_dollars(id, config))};
    }
    erp::ErpPeer peer(options);
    // A client that cannot start closes its end without a byte: the parent
    // stops waiting for it all the same.
    const bool started = peer.start() && write(ready_fd, "r", 1) == 1;
    close(ready_fd);
    char byte;
    while (read(go_fd, &byte, 1) > 0) {
    }
    if (started) {
      Client client(id, config, peer);
      for (int r = 0; r < config.requests && !bench::stop_requested(); ++r) client.request(r);
      client.counts.end_ns = now_ns();
      client.drain();
      counts = client.counts;
      counts.started = 1;
    } else {
      counts.lost = config.requests;
    }
    peer.terminate();
  }
  if (write(result_fd, &counts, sizeof counts) != static_cast<ssize_t>(sizeof counts)) _exit(1);
}

// A client that died left its queues: remove them (only this user's), which
// also ends its orphaned taxapi.
void remove_left_queues(const std::string& dir, int clients) {
  for (int id = 0; id < clients; ++id) {
    for (const char* name : {"/inq", "/outq"}) {
      const key_t key = ftok((client_dir(dir, id) + name).c_str(), API_QUEUE_PROJECT_ID);
      const int qid = key == -1 ? -1 : msgget(key, 0);
      struct msqid_ds ds {};
      if (qid != -1 && msgctl(qid, IPC_STAT, &ds) == 0 && ds.msg_perm.uid == geteuid()) msgctl(qid, IPC_RMID, nullptr);
    }
  }
}

bool parse(int argc, char** argv, Config* config) {
  const option long_options[] = {{"raw", no_argument, nullptr, 'R'}, {nullptr, 0, nullptr, 0}};
  for (int opt; (opt = getopt_long(argc, argv, "n:r:t:h", long_options, nullptr)) != -1;) {
    const int value = optarg != nullptr ? std::atoi(optarg) : 0;
    if (opt == 'R') {
      config->raw = true;
    } else if (opt == 'n' && value > 0) {
      config->clients = value;
    } else if (opt == 'r' && value > 0) {
      config->requests = value;
    } else if (opt == 't' && value > 0) {
      config->timeout_ms = value;
    } else {
      return false;
    }
  }
  return optind == argc;
}

}  // namespace

int main(int argc, char** argv) {
  Config config;
  if (!parse(argc, argv, &config)) {
    std::fprintf(stderr, "usage: load_tool [--raw] [-n PROCESSES] [-r REQUESTS_EACH] [-t REPLY_TIMEOUT_MS]\n");
    return 2;
  }
  bench::catch_stop_signals();
  const std::string dir = bench::make_temp_dir("taxapi-load");
  int ready[2], go[2], results[2];
  std::set<key_t> keys;
  bool files = !dir.empty();
  for (int id = 0; files && id < config.clients; ++id) files = bench::make_queue_files(client_dir(dir, id), &keys);
  if (!files || pipe(ready) != 0 || pipe(go) != 0 || pipe(results) != 0) {
    std::perror("load_tool");
    if (!dir.empty()) bench::remove_tree(dir);
    return 1;
  }
  std::fflush(stdout);
  std::vector<pid_t> children;
  for (int id = 0; id < config.clients; ++id) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      close(go[1]);
      close(results[0]);
      run_client(id, config, dir, ready[1], go[0], results[1]);
      _exit(0);
    }
    if (pid > 0) children.push_back(pid);
  }
  close(ready[1]);
  close(go[0]);
  close(results[1]);

  const std::size_t ready_count = bench::read_all(ready[0], children.size()).size();
  const long long start_ns = now_ns();
  close(go[1]);  // the start signal
  const std::vector<char> data =
      bench::stop_requested() ? std::vector<char>() : bench::read_all(results[0], children.size() * sizeof(Counts));
  // Stopped: the clients stop too (they got Ctrl-C already, not a SIGTERM
  // sent to this process alone), ending their processes.
  if (bench::stop_requested()) {
    for (pid_t pid : children) kill(pid, SIGTERM);
  }
  for (pid_t pid : children) bench::reap(pid);
  remove_left_queues(dir, config.clients);
  bench::remove_tree(dir);
  if (bench::stop_requested()) {
    std::fprintf(stderr, "load_tool: stopped; every process ended, every queue removed\n");
    return 130;
  }

  Counts sum;
  long reported = 0;
  for (std::size_t at = 0; at + sizeof(Counts) <= data.size(); at += sizeof(Counts), ++reported) {
    Counts c;
    std::memcpy(&c, data.data() + at, sizeof c);
    sum.right += c.right;
    sum.lost += c.lost;
    sum.duplicated += c.duplicated;
    sum.crosstalk += c.crosstalk;
    sum.wrong += c.wrong;
    sum.started += c.started;
    sum.end_ns = std::max(sum.end_ns, c.end_ns);
  }
  // A client that never reported lost all its requests.
  sum.lost += (config.clients - reported) * static_cast<long>(config.requests);
  const long total = static_cast<long>(config.clients) * config.requests;
  const double seconds = sum.end_ns > start_ns ? static_cast<double>(sum.end_ns - start_ns) / 1e9 : 0;
  const double rate = seconds > 0 ? static_cast<double>(total) / seconds : 0;

  std::printf("load: %d %s (%d Taxware, %d Vertex) x %d requests = %ld requests (%zu ready, %ld started)\n",
              config.clients, config.raw ? "raw_server processes" : "processes", (config.clients + 1) / 2, config.clients / 2, config.requests, total, ready_count,
              sum.started);
  std::printf("  right       %ld\n  lost        %ld\n  duplicated  %ld\n  cross-talk  %ld\n  wrong       %ld\n",
              sum.right, sum.lost, sum.duplicated, sum.crosstalk, sum.wrong);
  std::printf("  time        %.3f s\n  throughput  %.0f requests/s\n", seconds, rate);
  std::printf("result: raw=%d processes=%d requests=%d right=%ld lost=%ld duplicated=%ld crosstalk=%ld wrong=%ld "
              "seconds=%.3f rps=%.1f\n",
              config.raw ? 1 : 0, config.clients, config.requests, sum.right, sum.lost, sum.duplicated, sum.crosstalk, sum.wrong,
              seconds, rate);
  const bool clean = sum.right == total && sum.lost + sum.duplicated + sum.crosstalk + sum.wrong == 0;
  return clean ? 0 : 1;
}

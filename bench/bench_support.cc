#include "bench_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "avp_request.h"
#include "vertex_request.h"

namespace bench {

namespace {

// "12.34" for 1234 cents, with the engines' six decimals.
std::string money(long cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%ld.%02ld0000", cents / 100, cents % 100);
  return text;
}

// The stand-in Taxware engine's ten variables (as engines/avp/demo_env.sh sets them).
void add_taxware_env(const std::string& work, std::vector<std::string>& env) {
  const std::string data = BENCH_AVP_DATA;
  env.insert(env.end(), {"ZIPIN=" + data + "/zipmaster.txt", "AVPIN=" + data + "/rates.txt",
                         "STEPIN=" + data + "/exempt.txt", "AVPAUDIT=" + work + "/avp_audit.log"});
  for (const char* name : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) {
    const std::string path = work + "/" + name;
    std::filesystem::create_directories(path);
    env.push_back(std::string(name) + "=" + path);
  }
}

// The stand-in Vertex engine's variables (as engines/vertex/demo_env.sh sets them).
void add_vertex_env(const std::string& work, std::vector<std::string>& env) {
  const std::string data = BENCH_VERTEX_DATA;
  env.insert(env.end(), {"VERTEXSERVER=" + data, "VERTEXUSER=demo", "VERTEXPWD=demo",
                         "VERTEXGEO=" + data + "/location.dat", "VERTEXRATE=" + data + "/rate.dat",
                         "VERTEXTDM=" + data + "/tdm.dat", "VERTEXREG=" + work + "/register.dat"});
}

}  // namespace

erp::PeerOptions engine_options(int stype, const std::string& dir, const std::string& taxapi) {
  erp::PeerOptions options;
  options.taxapi = taxapi.empty() ? BENCH_TAXAPI : taxapi;
  options.dir = dir;
  options.stype = stype;
  const std::string work = dir + "/engine";
  std::filesystem::create_directories(work);
  std::filesystem::create_directories(dir + "/log");  // $QSE/log must exist, logs on or off
  options.env = {"QSE=" + dir, std::string("QSE_SHLIB=") + BENCH_SHLIB, "APILOG=0"};
  if (stype == kTaxware) add_taxware_env(work, options.env);
  if (stype == kVertex) add_vertex_env(work, options.env);
  // Whatever the caller's shell holds: the default time-out, no engine logs.
  options.unset = {"TARN_API_TIMEOUT", "AVPDEBUG", "VERTEXDEBUG", "QSE_BIN"};
  return options;
}

std::string tax_body(int stype, long dollars, const std::string& invoice) {
  const std::string amount = std::to_string(dollars) + ".00";
  std::string body;
  std::string err;
  const bool ok =
      stype == kTaxware
          ? erp::build_avp_body("tax",
                                {{"addr1_slot1", "CA"}, {"addr1_slot2", "SAN ALBERO"}, {"addr1_slot3", "90411"},
                                 {"tax144", amount}, {"tax268", "WIDGET"}, {"tax783", invoice}},
                                &body, &err)
          : erp::build_vertex_body("tax",
                                   {{"ship_to_city", "Millbrook"}, {"ship_to_state", "BR"},
                                    {"ship_to_geo", "110010100"}, {"line_kind", "2"}, {"line_amount", amount},
                                    {"transaction_type", "1"}, {"product_code", "TOOLS-1"},
                                    {"customer_1", "ACME"}, {"invoice_number", invoice},
                                    {"line_number", "1"}, {"company_code", "C01"}},
                                   &body, &err);
  if (!ok) {
    std::fprintf(stderr, "cannot build a request body: %s\n", err.c_str());
    std::exit(2);
  }
  return body;
}

std::string expected_result(int stype, long dollars) {
  const long k = dollars;  // k dollars = 100 k cents; every product below is whole cents
  if (stype == kTaxware) {
    return "7~1~1~1~1~" + money(6 * k) + "~" + money(k / 4) + "~" + money(k) + "~" + money(k / 4) +
           "~0.000000~0.060000~0.002500~0.010000~0.002500~0.000000~D~CA 90411 00 SAN ALBERO   ~";
  }
  return "7~1~1~2~1~0.050000~0.010000~0.012500~0.000000~0.000000~" + money(5 * k) + "~" + money(k) + "~" +
         money(5 * k / 4) + "~0.000000~0.000000~0.072500~" + money(29 * k / 4) + "~T~T~";
}

long result_dollars(std::string_view reply) {
  const std::vector<std::string> f = erp::split_fields(reply);
  if (f.size() < 11 || f[0] != "7") return -1;
  // The state tax: Taxware's level 1 (6 %, field 5), Vertex's state amount (5 %, field 10).
  const bool taxware = f[3] == "1";
  const long cents = std::lround(std::strtod(f[taxware ? 5 : 10].c_str(), nullptr) * 100);
  const long rate = taxware ? 6 : 5;
  return cents > 0 && cents % rate == 0 ? cents / rate : -1;
}

std::string make_temp_dir(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + name + ".XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void remove_tree(const std::string& dir) {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

bool make_queue_files(const std::string& dir, std::set<key_t>* keys) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const char* name : {"/inq", "/outq"}) {
    const std::string path = dir + name;
    bool fresh = false;
    // A colliding file is moved aside, not removed: it keeps its inode taken,
    // so the next file gets another one.
    for (int attempt = 0; attempt < 20 && !fresh; ++attempt) {
      if (attempt > 0) std::rename(path.c_str(), (path + ".taken" + std::to_string(attempt)).c_str());
      const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
      if (fd == -1) return false;
      close(fd);
      const key_t key = ftok(path.c_str(), 1);
      fresh = key != -1 && keys->count(key) == 0 && msgget(key, 0) == -1 && errno == ENOENT;
      if (fresh) keys->insert(key);
    }
    if (!fresh) return false;
  }
  return true;
}

namespace {
volatile sig_atomic_t g_stop = 0;
void on_stop(int) { g_stop = 1; }
}  // namespace

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop;  // no SA_RESTART: a blocked call returns and the flag is seen
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

bool stop_requested() { return g_stop != 0; }

std::vector<char> read_all(int fd, std::size_t limit) {
  std::vector<char> data(limit);
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = read(fd, data.data() + got, limit - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  return data;
}

void reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
  }
}

}  // namespace bench

// Protocol fuzzer: plays the ERP over real queues against the real taxapi
// with the stand-in engines, sending random and malformed messages of every
// kind. Every reply must keep the message format (an acknowledgement, an
// error with a known code, or a status followed by exactly its results), and
// every process that ends must end normally with both its queues removed.
//
//   protocol_fuzz [--messages N] [--seed S] TAXAPI SHLIB_DIR AVP_DATA VERTEX_DATA
//
// After each fuzz message two sync messages follow: the first closes an
// action sequence the message may have opened, the second is answered with
// an error that carries a unique tag, which marks the end of the replies.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "erp_peer.h"
#include "test_util.h"

namespace {

using Fields = std::vector<std::string>;

struct Stats {
  long messages = 0, replies = 0, statuses = 0, processes = 0, failures = 0;
};

bool is_int(const std::string& s) {
  char* end = nullptr;
  std::strtol(s.c_str(), &end, 10);
  return !s.empty() && *end == '\0';
}

bool known_code(const std::string& text) {
  char* end = nullptr;
  const double code = std::strtod(text.c_str(), &end);
  if (*end != '\0' || text.find('.') != text.size() - 7) return false;
  const int whole = static_cast<int>(code);
  static const int plain[] = {0, 1, 2, 3, 4, 5, 8, 13, 14, 15};
  for (int p : plain) {
    if (code == p) return true;
  }
  return whole >= 1100 && whole < 1700;
}

// What is wrong with one reply, or "" when it keeps the format.
std::string check_reply(const std::string& r) {
  const Fields f = erp::split_fields(r);
  if (r.empty() || r.back() != '~') return "not ended by ~";
  const std::string& t = f[0];
  if (f.size() < 6 || !is_int(f[1]) || !is_int(f[2]) || !is_int(f[3]) || !is_int(f[4])) return "bad header";
  if (t == "10") return f.size() == 6 && f[1] == "0" && f[4] == "0" && f[5].empty() ? "" : "bad ack";
  if (t == "5") return f.size() == 6 && f[1] == "0" && f[4] == "0" && known_code(f[5]) ? "" : "bad error";
  if (t == "6") return f.size() == 6 && is_int(f[5]) && std::stoi(f[4]) >= 0 ? "" : "bad status";
  if (t == "7") return "";
  return "unknown type " + t;
}

class Fuzzer {
 public:
  Fuzzer(unsigned seed, std::vector<std::string> argv) : rng_(seed), args_(std::move(argv)) {}

  // One random message, or an action and its data message.
  Fields message(int stype) {
    auto pick = [&](int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); };
    auto num = [&] { return std::to_string(pick(14) - 1); };
    const std::string s = std::to_string(stype);
    switch (pick(10)) {
      case 0:  // any header, any tail
        return {num() + "~" + num() + "~" + num() + "~" + num() + "~" + num() + "~" + body(pick(4))};
      case 1:
        return {junk(pick(40))};
      case 2:
        return {std::string(static_cast<std::size_t>(1000 + pick(5000)), "~9x"[pick(3)])};
      case 3:  // rarely: what ends or reopens the process
        return {std::vector<std::string>{"4~0~1~", "2~0~1~", "3~0~1~", "1~0~1~"}[pick(4)] + s + "~0~"};
      case 4:  // an address lookup that finds places, one field perhaps replaced
        return {"8~2~1~" + s + "~1~", "9~2~1~" + s + "~1~" + (stype == 1 ? "~NY~12810~" : "Millbrook~BR~~") +
                                          (pick(2) == 0 ? body(1) : "")};
      default: {
        const std::string action = std::to_string(pick(5) == 0 ? pick(4) : 1 + pick(2));
        return {"8~" + action + "~1~" + s + "~" + std::to_string(pick(6) == 0 ? 0 : 1) + "~",
                "9~" + action + "~1~" + s + "~1~" + body(pick(3) == 0 ? 2 + pick(60) : 2 + pick(12))};
      }
    }
  }

  int run(long messages) {
    Stats st;
    test_util::TempDir dir("protocol_fuzz.");
    // The engine's handle dumps (VERTEXDEBUG) land in the working directory,
    // which taxapi inherits: the run's own, gone with it.
    if (!dir.ok() || chdir(dir.path().c_str()) != 0) return fail(st, "no working directory");
    std::unique_ptr<erp::ErpPeer> peer;
    int stype = 1;
    for (long i = 0; i < messages; ++i) {
      if (!peer) {
        peer = std::make_unique<erp::ErpPeer>(options(dir, stype));
        ++st.processes;
        std::string first;
        if (!peer->start(&first)) return fail(st, ("taxapi did not start: " + first).c_str());
      }
      const std::string tag = std::to_string(1000 + i % 100000), s = std::to_string(stype);
      Fields sent = message(stype);
      sent.push_back("9~0~1~" + s + "~1~");
      sent.push_back("9~0~" + tag + "~" + s + "~1~");
      bool alive = true;
      for (const std::string& m : sent) alive = alive && peer->send(m);
      st.messages += static_cast<long>(sent.size());
      std::string why;
      int results_due = 0, next_result = 0;
      while (alive) {
        std::optional<std::string> r = peer->receive(results_due > 0 ? 5000 : 1000);
        if (!r) break;
        ++st.replies;
        why = check_reply(*r);
        const Fields f = erp::split_fields(*r);
        if (why.empty() && results_due > 0 && (f[0] != "7" || std::stoi(f[4]) != ++next_result)) why = "result missing";
        if (!why.empty()) {
          std::fprintf(stderr, "after '%.60s': %s in '%.120s'\n", sent[0].c_str(), why.c_str(), r->c_str());
          ++st.failures;
        }
        if (f[0] == "6") results_due = std::stoi(f[4]), next_result = 0, ++st.statuses;
        if (f[0] == "7" && results_due > 0) --results_due;
        if (*r == "5~0~" + tag + "~" + s + "~0~8.000000~") break;
      }
      if (peer->running() && alive) continue;
      // The process has ended (or is ending): normally, its queues removed.
      const int status = peer->wait_exit(10000);
      if (status != 0 || peer->input_queue_id() != -1 || peer->output_queue_id() != -1) {
        std::fprintf(stderr, "after '%.60s': exit status %d, queues %d %d\n", sent[0].c_str(), status,
                     peer->input_queue_id(), peer->output_queue_id());
        ++st.failures;
      }
      peer.reset();
      stype = 3 - stype;
    }
    if (peer) peer->terminate();
    std::printf("%ld messages, %ld replies (%ld answered by an engine), %ld processes, %ld failures\n", st.messages,
                st.replies, st.statuses, st.processes, st.failures);
    return st.failures == 0 ? 0 : 1;
  }

 private:
  static int fail(Stats& st, const char* why) {
    std::fprintf(stderr, "%s\n", why);
    ++st.failures;
    return 1;
  }

  std::string junk(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>(1 + rng_() % 255);
    return out;
  }

  // `n` body fields, each "~"-ended: empty, numbers, huge, long, junk, or sample values.
  std::string body(int n) {
    static const char* const samples[] = {"CA", "SAN ALBERO", "90411", "100.00", "Millbrook", "BR",
                                          "110010100", "1", "-5", "1e300", "nan", "77", "0.05", "INV-1"};
    std::string out;
    for (int i = 0; i < n; ++i) {
      switch (rng_() % 6) {
        case 0: break;
        case 1: out += std::to_string(static_cast<long>(rng_()) - 2147483648L); break;
        case 2: out += std::string(rng_() % 80, 'w'); break;
        case 3: for (char c : junk(static_cast<int>(rng_() % 12))) out += c == '~' ? '-' : c; break;
        default: out += samples[rng_() % (sizeof samples / sizeof *samples)];
      }
      out += '~';
    }
    return out;
  }

  erp::PeerOptions options(const test_util::TempDir& dir, int stype) const {
    const std::string& avp = args_[2];
    const std::string& vtx = args_[3];
    erp::PeerOptions o;
    o.taxapi = args_[0];
    o.dir = dir.path();
    o.stype = stype;
    o.timeout_ms = 5000;
    o.unset = {"QSE", "QSE_BIN", "APILOG", "TARN_API_TIMEOUT", "AVP_STANDIN_CONTROL", "VST_STANDIN_CONTROL"};
    o.env = {"HOME=" + dir.path(), "QSE_SHLIB=" + args_[1], "AVPDEBUG=", "VERTEXDEBUG=1",
             "ZIPIN=" + avp + "/zipmaster.txt", "AVPIN=" + avp + "/rates.txt", "STEPIN=" + avp + "/exempt.txt",
             "AVPAUDIT=" + dir.at("audit.log"), "VERTEXSERVER=" + vtx, "VERTEXUSER=fuzz", "VERTEXPWD=fuzz",
             "VERTEXGEO=" + vtx + "/location.dat", "VERTEXRATE=" + vtx + "/rate.dat", "VERTEXTDM=" + vtx + "/tdm.dat",
             "VERTEXREG=" + dir.at("register.dat")};
    for (const char* v : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) {
      o.env.push_back(std::string(v) + "=" + dir.mkdir(v));
    }
    return o;
  }

  std::mt19937 rng_;
  std::vector<std::string> args_;  // taxapi, shlib, avp data, vertex data
};

}  // namespace

int main(int argc, char** argv) {
  long messages = 2000;
  unsigned seed = 1;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--messages" && i + 1 < argc) {
      messages = std::atol(argv[++i]);
    } else if (a == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      rest.push_back(a);
    }
  }
  if (rest.size() != 4) {
    std::fprintf(stderr, "usage: protocol_fuzz [--messages N] [--seed S] TAXAPI SHLIB_DIR AVP_DATA VERTEX_DATA\n");
    return 2;
  }
  for (std::string& path : rest) path = std::filesystem::absolute(path).string();  // the run changes directory
  return Fuzzer(seed, rest).run(messages);
}

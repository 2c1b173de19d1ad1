// taxapi-client: the ERP side on the command line. Starts taxapi with its own
// queues, sends raw message texts or engine requests built from named fields,
// prints every reply, terminates the process and leaves no queue behind.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "erp_peer.h"

#if __has_include("avp_request.h")
#include "avp_request.h"
#define CLIENT_HAVE_AVP 1
#endif
#if __has_include("vertex_request.h")
#include "vertex_request.h"
#define CLIENT_HAVE_VERTEX 1
#endif

namespace {

constexpr const char* kUsage =
    "Usage: taxapi-client [options] raw TEXT...\n"
    "       taxapi-client [options] avp tax|tax-enh|addr NAME=VALUE...\n"
    "       taxapi-client [options] vertex tax|tax-enh|addr NAME=VALUE...\n"
    "       taxapi-client fields avp|vertex\n"
    "\n"
    "Starts taxapi as the ERP runtime does (queue files, output queue, the four\n"
    "arguments), waits for its acknowledgement, sends the messages, prints every\n"
    "reply (\"<- text\") and terminates it. raw sends each TEXT as it stands and\n"
    "prints the replies that follow it; avp and vertex send one request built\n"
    "from named fields and print the reply with named values.\n"
    "\n"
    "Options:\n"
    "  --taxapi PATH     the taxapi executable (default: the one beside this client)\n"
    "  --dir DIR         directory for the queue files (default: a new temporary one)\n"
    "  --ptype N         provider type argument (default 1)\n"
    "  --stype N         sub-provider argument (default: 1 for avp, 2 for vertex, else 1)\n"
    "  --timeout MS      how long to wait for each reply (default 10000)\n"
    "  --env NAME=VALUE  set a variable for taxapi (repeatable)\n"
    "  --no-terminate    leave out the terminate message at the end\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 when every exchange got its replies, 1 when a reply is an\n"
    "error or missing, 2 for a usage error or when taxapi could not be started.\n";

struct Args {
  erp::PeerOptions options;
  bool stype_given = false;
  bool terminate = true;
  std::string command;
  std::vector<std::string> rest;
};

// taxapi in the directory of this client's own executable: the build and
// every installed tree keep the two side by side.
std::string default_taxapi(void) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "taxapi";
  self[n] = '\0';
  std::string path(self);
  const std::size_t slash = path.rfind('/');
  return path.substr(0, slash + 1) + "taxapi";
}

int usage_error(const std::string& what) {
  std::fprintf(stderr, "taxapi-client: %s\n\n%s", what.c_str(), kUsage);
  return 2;
}

bool parse_int(const std::string& text, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = static_cast<int>(v);
  return true;
}

// Parses the options; returns -1 to go on, else the exit status.
int parse_args(int argc, char** argv, Args* args) {
  args->options.taxapi = default_taxapi();
  int i = 1;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--no-terminate") {
      args->terminate = false;
      continue;
    }
    if (a.rfind("--", 0) != 0) break;
    if (i + 1 >= argc) return usage_error(a + " needs a value");
    const std::string v = argv[++i];
    if (a == "--taxapi") {
      args->options.taxapi = v;
    } else if (a == "--dir") {
      args->options.dir = v;
    } else if (a == "--ptype") {
      if (!parse_int(v, &args->options.ptype)) return usage_error("--ptype takes a whole number");
    } else if (a == "--stype") {
      if (!parse_int(v, &args->options.stype)) return usage_error("--stype takes a whole number");
      args->stype_given = true;
    } else if (a == "--timeout") {
      if (!parse_int(v, &args->options.timeout_ms) || args->options.timeout_ms < 1) {
        return usage_error("--timeout takes a positive number of milliseconds");
      }
    } else if (a == "--env") {
      if (v.find('=') == std::string::npos) return usage_error("--env takes NAME=VALUE");
      args->options.env.push_back(v);
    } else {
      return usage_error("unknown option " + a);
    }
  }
  if (i >= argc) return usage_error("no command given");
  args->command = argv[i++];
  for (; i < argc; ++i) args->rest.emplace_back(argv[i]);
  return -1;
}

bool named_fields(const std::vector<std::string>& words, std::size_t from,
                  std::vector<std::pair<std::string, std::string>>* out, std::string* err) {
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::size_t eq = words[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      *err = "expected NAME=VALUE, got '" + words[i] + "'";
      return false;
    }
    out->emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
  }
  return true;
}

// Prints what happened to the process when a reply did not come.
void explain_silence(erp::ErpPeer& peer, int timeout_ms) {
  const int status = peer.wait_exit(0);
  if (status >= 0) {
    std::fprintf(stderr, "taxapi-client: taxapi has exited with status %d\n", status);
  } else {
    std::fprintf(stderr, "taxapi-client: no reply within %d ms\n", timeout_ms);
  }
}

int run_raw(erp::ErpPeer& peer, const Args& args) {
  int status = 0;
  for (const std::string& text : args.rest) {
    std::printf("-> %s\n", text.c_str());
    if (!peer.send(text)) {
      std::fprintf(stderr, "taxapi-client: cannot send: the input queue is gone or full\n");
      return 1;
    }
    // Every reply that follows, until the process stays silent for a while.
    const bool expects_reply = text.rfind("4~", 0) != 0;
    int got = 0;
    for (;;) {
      std::optional<std::string> reply = peer.receive(got == 0 ? args.options.timeout_ms : 300);
      if (!reply) break;
      ++got;
      std::printf("<- %s\n", reply->c_str());
      if (reply->rfind("5~", 0) == 0) status = 1;
    }
    if (got == 0 && expects_reply && text.rfind("8~", 0) != 0) {
      explain_silence(peer, args.options.timeout_ms);
      status = 1;
    }
  }
  return status;
}

using Builder = bool (*)(std::string_view, const std::vector<std::pair<std::string, std::string>>&, std::string*,
                         std::string*);
using Describer = std::string (*)(std::string_view, std::string_view);

int run_named(erp::ErpPeer& peer, const Args& args, Builder build, Describer describe) {
  if (args.rest.empty()) return usage_error("which request: tax, tax-enh or addr?");
  const std::string& kind = args.rest[0];
  if (kind != "tax" && kind != "tax-enh" && kind != "addr") return usage_error("unknown request kind " + kind);
  std::vector<std::pair<std::string, std::string>> fields;
  std::string err;
  std::string body;
  if (!named_fields(args.rest, 1, &fields, &err) || !build(kind, fields, &body, &err)) return usage_error(err);
  const int action = kind == "addr" ? 2 : 1;
  const erp::Exchange ex = peer.request(action, args.options.stype, body);
  for (const std::string& reply : ex.replies) {
    std::printf("<- %s\n", reply.c_str());
    std::printf("%s", describe(kind, reply).c_str());
  }
  if (!ex.problem.empty()) {
    std::fprintf(stderr, "taxapi-client: %s\n", ex.problem.c_str());
    explain_silence(peer, args.options.timeout_ms);
  }
  return ex.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  const int parsed = parse_args(argc, argv, &args);
  if (parsed >= 0) return parsed;

  if (args.command == "fields") {
    const std::string which = args.rest.empty() ? "" : args.rest[0];
#ifdef CLIENT_HAVE_AVP
    if (which == "avp") return std::printf("%s", erp::avp_request_help().c_str()), 0;
#endif
#ifdef CLIENT_HAVE_VERTEX
    if (which == "vertex") return std::printf("%s", erp::vertex_request_help().c_str()), 0;
#endif
    return usage_error("fields takes avp or vertex");
  }
  Builder build = nullptr;
  Describer describe = nullptr;
  if (args.command == "avp") {
#ifdef CLIENT_HAVE_AVP
    build = erp::build_avp_body;
    describe = erp::describe_avp_reply;
#endif
    if (!args.stype_given) args.options.stype = 1;
  } else if (args.command == "vertex") {
#ifdef CLIENT_HAVE_VERTEX
    build = erp::build_vertex_body;
    describe = erp::describe_vertex_reply;
#endif
    if (!args.stype_given) args.options.stype = 2;
  } else if (args.command != "raw") {
    return usage_error("unknown command " + args.command);
  }
  if (args.command != "raw" && build == nullptr) return usage_error(args.command + " requests are not built into this client");

  std::string temp_dir;
  if (args.options.dir.empty()) {
    char pattern[] = "/tmp/taxapi-client.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return usage_error("cannot make a temporary directory");
    temp_dir = pattern;
    args.options.dir = temp_dir;
  }
  int status = 0;
  {
    erp::ErpPeer peer(args.options);
    std::string first;
    if (!peer.spawn()) {
      std::fprintf(stderr, "taxapi-client: cannot start %s\n", args.options.taxapi.c_str());
      status = 2;
    } else if (std::optional<std::string> reply = peer.receive(); !reply) {
      explain_silence(peer, args.options.timeout_ms);
      status = 2;
    } else {
      std::printf("<- %s\n", reply->c_str());
      if (reply->rfind("10~", 0) != 0) {
        std::fprintf(stderr, "taxapi-client: taxapi did not start: %s\n", reply->c_str());
        const int exit_status = peer.wait_exit(args.options.timeout_ms);
        if (exit_status >= 0) std::fprintf(stderr, "taxapi-client: taxapi exited with status %d\n", exit_status);
        status = 2;
      } else {
        status = args.command == "raw" ? run_raw(peer, args) : run_named(peer, args, build, describe);
        if (args.terminate && peer.running()) {
          const int exit_status = peer.terminate();
          if (exit_status != 0) {
            std::fprintf(stderr, "taxapi-client: taxapi ended with status %d\n", exit_status);
            if (status == 0) status = 1;
          }
        }
      }
    }
  }  // the peer removes the queues and their files here
  if (!temp_dir.empty()) rmdir(temp_dir.c_str());
  return status;
}

// taxapi-client: the ERP side on the command line. Starts taxapi with its own
// queues, sends raw message texts, engine requests built from named fields or
// a whole request file, prints every reply, terminates the process and leaves
// no queue behind. Also checks an engine through taxapi's diagnostic mode and
// explains error codes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine_check.h"
#include "engine_table.h"
#include "erp_peer.h"
#include "error_codes.h"
#include "exchange_report.h"
#include "json_writer.h"
#include "quoted_words.h"
#include "replay.h"
#include "status_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: taxapi-client [options] raw TEXT...\n"
    "       taxapi-client [options] avp|vertex tax|tax-enh|addr NAME=VALUE...\n"
    "       taxapi-client [options] replay FILE\n"
    "       taxapi-client [options] check avp|vertex\n"
    "       taxapi-client [--json] explain CODE...\n"
    "       taxapi-client [--json] fields avp|vertex\n"
    "       taxapi-client [--json] status [--remove]\n"
    "\n"
    "Starts taxapi as the ERP runtime does (queue files, output queue, the four\n"
    "arguments), waits for its acknowledgement, sends the messages, prints every\n"
    "reply (\"<- text\") and terminates it. raw sends each TEXT as it stands and\n"
    "prints the replies that follow it; avp and vertex send one request built\n"
    "from named fields and print the reply with named values.\n"
    "\n"
    "replay sends every request of FILE, one a line (a message text, raw TEXT...\n"
    "or avp|vertex KIND NAME=VALUE...; \"#\" starts a comment line; double quotes\n"
    "keep blanks in a word), through one taxapi per engine and prints each reply.\n"
    "check runs taxapi -dt (avp) or -dv (vertex), the engine's open and close, and\n"
    "tells each step: the libraries and where they lie, the entry points, the\n"
    "variables, the open and the close. explain tells what an error code of\n"
    "taxapi means. fields lists the named fields of each request kind.\n"
    "status lists the running taxapi processes (the caller's own; every user's\n"
    "for root): pid, user, engine, idle time, the queues' ids and waiting\n"
    "messages, log directory and queue files; then the caller's queues no live\n"
    "process uses any more (left by killed processes), which --remove removes.\n"
    "\n"
    "Options (before or after the command's words):\n"
    "  --taxapi PATH     the taxapi executable (default: the one beside this client)\n"
    "  --dir DIR         directory for the queue files (default: a new temporary one)\n"
    "  --ptype N         provider type argument (default 1)\n"
    "  --stype N         sub-provider argument (default: 1 for avp, 2 for vertex, else 1)\n"
    "  --timeout MS      how long to wait for each reply (default 10000)\n"
    "  --env NAME=VALUE  set a variable for taxapi (repeatable)\n"
    "  --no-terminate    leave out the terminate message at the end\n"
    "  --json            one JSON object per exchange, one a line, instead of text\n"
    "  --record OUT      replay: write the replies to OUT in a stable text form\n"
    "  --expect FILE     replay: compare the replies with FILE (made by --record)\n"
    "                    and print only the differences\n"
    "  --remove          status: remove the stale queues it lists\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 when every exchange got its replies, 1 when a reply is an\n"
    "error or missing (replay --expect: when anything differs from the record;\n"
    "check: when the engine cannot serve; explain: for an unknown code; status:\n"
    "when a removal failed), 2 for a usage error or when taxapi could not be\n"
    "started.\n";

struct Args {
  erp::PeerOptions options;
  bool stype_given = false;
  bool terminate = true;
  bool json = false;
  bool remove = false;
  std::string record;
  std::string expect;
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

// One option with its value; false with the usage error's status in *status.
bool take_option(const std::string& a, const std::string& v, Args* args, int* status) {
  std::string problem;
  if (a == "--taxapi") {
    args->options.taxapi = v;
  } else if (a == "--dir") {
    args->options.dir = v;
  } else if (a == "--record") {
    args->record = v;
  } else if (a == "--expect") {
    args->expect = v;
  } else if (a == "--ptype") {
    if (!parse_int(v, &args->options.ptype)) problem = "--ptype takes a whole number";
  } else if (a == "--stype") {
    if (!parse_int(v, &args->options.stype)) problem = "--stype takes a whole number";
    args->stype_given = true;
  } else if (a == "--timeout") {
    if (!parse_int(v, &args->options.timeout_ms) || args->options.timeout_ms < 1) {
      problem = "--timeout takes a positive number of milliseconds";
    }
  } else if (a == "--env") {
    if (v.find('=') == std::string::npos) problem = "--env takes NAME=VALUE";
    // A later value of a name replaces an earlier one.
    const std::string name = v.substr(0, v.find('='));
    std::erase_if(args->options.env, [&name](const std::string& e) { return e.substr(0, e.find('=')) == name; });
    args->options.env.push_back(v);
  } else {
    problem = "unknown option " + a;
  }
  if (!problem.empty()) *status = usage_error(problem);
  return problem.empty();
}

// Parses the options, which may stand before or after the command's words;
// returns -1 to go on, else the exit status.
int parse_args(int argc, char** argv, Args* args) {
  args->options.taxapi = default_taxapi();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--no-terminate" || a == "--json" || a == "--remove") {
      if (a == "--json") args->json = true;
      if (a == "--no-terminate") args->terminate = false;
      if (a == "--remove") args->remove = true;
    } else if (a.rfind("--", 0) == 0) {
      if (i + 1 >= argc) return usage_error(a + " needs a value");
      int status = 2;
      if (!take_option(a, argv[++i], args, &status)) return status;
    } else if (args->command.empty()) {
      args->command = a;
    } else {
      args->rest.push_back(a);
    }
  }
  if (args->command.empty()) return usage_error("no command given");
  if ((!args->record.empty() || !args->expect.empty()) && args->command != "replay") {
    return usage_error("--record and --expect go with replay");
  }
  if (args->remove && args->command != "status") return usage_error("--remove goes with status");
  return -1;
}

// The words as one request text, each quoted when it holds a blank or quote.
std::string request_text(const std::string& command, const std::vector<std::string>& words) {
  std::string out = command;
  for (const std::string& w : words) {
    out += " " + (w.find_first_of(" \t\"") == std::string::npos ? w : erp::quote_word(w));
  }
  return out;
}

void print_json(const erp::ExchangeReport& report) { std::printf("%s\n", erp::exchange_json(report).c_str()); }

// Prints what happened to the process when a reply did not come; "no reply
// within" only when that time passed (a vanished queue ends a receive at once).
void explain_silence(erp::ErpPeer& peer, int timeout_ms) {
  using Silence = erp::ErpPeer::Silence;
  const Silence silence = peer.silence();
  const bool ending = silence == Silence::kQueueGone || silence == Silence::kExited;
  peer.wait_exit(ending ? erp::ErpPeer::kEndGraceMs : 0);
  const std::string end = peer.end_text();
  if (!end.empty()) {
    std::fprintf(stderr, "taxapi-client: %s before replying\n", end.c_str());
  } else if (silence == Silence::kTimeOut) {
    std::fprintf(stderr, "taxapi-client: no reply within %d ms\n", timeout_ms);
  } else if (ending) {
    std::fprintf(stderr, "taxapi-client: the queue is gone, but taxapi still runs\n");
  }
}

int run_raw(erp::ErpPeer& peer, const Args& args) {
  int status = 0;
  for (const std::string& text : args.rest) {
    erp::ExchangeReport report;
    report.request = text;
    if (!args.json) std::printf("-> %s\n", text.c_str());
    if (!peer.send(text)) {
      std::fprintf(stderr, "taxapi-client: cannot send: the input queue is gone or full\n");
      return 1;
    }
    // Every reply that follows, until the process stays silent for a while.
    const int type = erp::message_type(text);
    const bool expects_reply = type != API_MSG_TERMINATE;
    for (;;) {
      std::optional<std::string> reply = peer.receive(report.replies.empty() ? args.options.timeout_ms : 300);
      if (!reply) break;
      report.replies.push_back(erp::name_plain_reply(*reply));
      if (!args.json) std::printf("<- %s\n", reply->c_str());
      if (erp::message_type(*reply) == API_MSG_ERROR) status = 1;
    }
    if (report.replies.empty() && expects_reply && type != API_MSG_ACTION) {
      explain_silence(peer, args.options.timeout_ms);
      report.problem = "no reply";
      status = 1;
    }
    erp::settle(&report);
    if (args.json) print_json(report);
  }
  return status;
}

int run_named(erp::ErpPeer& peer, const Args& args, const erp::EngineInfo& engine, const std::string& body) {
  const std::string& kind = args.rest[0];
  const erp::Exchange ex = peer.request(kind == "addr" ? 2 : 1, args.options.stype, body);
  erp::ExchangeReport report;
  report.request = request_text(args.command, args.rest);
  report.problem = ex.problem;
  for (const std::string& reply : ex.replies) {
    report.replies.push_back(engine.name_reply(kind, reply));
    if (!args.json) std::printf("<- %s\n%s", reply.c_str(), erp::reply_lines(report.replies.back()).c_str());
  }
  erp::settle(&report);
  if (args.json) print_json(report);
  if (!ex.problem.empty()) {
    std::fprintf(stderr, "taxapi-client: %s\n", ex.problem.c_str());
    explain_silence(peer, args.options.timeout_ms);
  }
  return ex.ok ? 0 : 1;
}

// Starts taxapi, runs the raw or named exchange, terminates it.
int run_session(const Args& args, const erp::EngineInfo* engine) {
  erp::NamedFields fields;
  std::string err;
  std::string body;
  if (engine != nullptr &&
      (!erp::parse_named_fields(args.rest, 1, &fields, &err) || !engine->build(args.rest[0], fields, &body, &err))) {
    return usage_error(err);
  }
  erp::ErpPeer peer(args.options);
  if (!peer.spawn()) {
    std::fprintf(stderr, "taxapi-client: cannot start %s\n", args.options.taxapi.c_str());
    return 2;
  }
  const std::optional<std::string> reply = peer.receive();
  if (!reply) {
    explain_silence(peer, args.options.timeout_ms);
    return 2;
  }
  erp::ExchangeReport start;
  start.request = "start " + std::string(engine != nullptr ? engine->name : "taxapi");
  start.replies.push_back(engine != nullptr ? engine->name_reply("tax", *reply) : erp::name_plain_reply(*reply));
  erp::settle(&start);
  if (args.json) {
    print_json(start);
  } else {
    std::printf("<- %s\n", reply->c_str());
  }
  if (erp::message_type(*reply) != API_MSG_ACK) {
    std::fprintf(stderr, "taxapi-client: taxapi did not start: %s\n", reply->c_str());
    peer.wait_exit(args.options.timeout_ms);
    const std::string end = peer.end_text();
    if (!end.empty()) std::fprintf(stderr, "taxapi-client: %s\n", end.c_str());
    return 2;
  }
  int status = engine != nullptr ? run_named(peer, args, *engine, body) : run_raw(peer, args);
  if (args.terminate && peer.running()) {
    const int exit_status = peer.terminate();
    if (exit_status != 0) {
      std::fprintf(stderr, "taxapi-client: taxapi ended with status %d\n", exit_status);
      if (status == 0) status = 1;
    }
  }
  return status;
}

int run_fields(const Args& args) {
  const erp::EngineInfo* engine = erp::engine_named(args.rest.empty() ? "" : args.rest[0]);
  if (engine == nullptr) return usage_error("fields takes avp or vertex");
  if (!args.json) return std::printf("%s", engine->help().c_str()), 0;
  erp::JsonWriter json;
  json.begin_object().key("engine").value(engine->name).key("kinds").begin_array();
  for (const char* kind : {"tax", "tax-enh", "addr"}) {
    erp::KindFields k;
    engine->kind_fields(kind, &k);
    json.begin_object().key("kind").value(kind).key("fields").begin_array();
    for (const erp::NamedField* f : k.fields) {
      json.begin_object().key("number").value(f->number).key("name").value(f->name).key("what").value(f->what);
      json.end_object();
    }
    json.end_array().end_object();
  }
  std::printf("%s\n", json.end_array().end_object().text().c_str());
  return 0;
}

int run_explain(const Args& args) {
  if (args.rest.empty()) return usage_error("explain takes one or more error codes");
  int status = 0;
  for (const std::string& code : args.rest) {
    const std::string meaning = erp::explain_error_code(code);
    if (meaning == erp::kUnknownCode) status = 1;
    if (args.json) {
      erp::JsonWriter json;
      json.begin_object().key("code").value(code).key("meaning").value(meaning).end_object();
      std::printf("%s\n", json.text().c_str());
    } else {
      std::printf("%s: %s\n", code.c_str(), meaning.c_str());
    }
  }
  return status;
}

int run_check(const Args& args) {
  const erp::EngineInfo* engine = erp::engine_named(args.rest.empty() ? "" : args.rest[0]);
  if (engine == nullptr || args.rest.size() != 1) return usage_error("check takes avp or vertex");
  if (access(args.options.taxapi.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "taxapi-client: cannot start %s\n", args.options.taxapi.c_str());
    return 2;
  }
  const erp::EngineCheck check =
      erp::check_engine(*engine, args.options.taxapi, erp::child_environment(args.options), args.options.timeout_ms);
  std::printf("%s", args.json ? (erp::check_json(check) + "\n").c_str() : erp::check_text(check).c_str());
  return check.can_serve ? 0 : 1;
}

// The commands that start taxapi, in a queue directory of their own unless
// --dir names one.
int run_with_queues(Args& args) {
  const erp::EngineInfo* engine = erp::engine_named(args.command);
  if (engine != nullptr) {
    if (args.rest.empty()) return usage_error("which request: tax, tax-enh or addr?");
    if (!args.stype_given) args.options.stype = engine->stype;
  } else if (args.command != "raw" && args.command != "replay") {
    return usage_error("unknown command " + args.command);
  }
  if (args.command == "replay" && args.rest.size() != 1) return usage_error("replay takes one request file");
  std::string temp_dir;
  if (args.options.dir.empty()) {
    char pattern[] = "/tmp/taxapi-client.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return usage_error("cannot make a temporary directory");
    temp_dir = pattern;
    args.options.dir = temp_dir;
  }
  const int status = args.command == "replay"
                         ? erp::run_replay(args.rest[0], {args.options, args.json, args.record, args.expect})
                         : run_session(args, engine);
  if (!temp_dir.empty()) rmdir(temp_dir.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  const int parsed = parse_args(argc, argv, &args);
  if (parsed >= 0) return parsed;
  if (args.command == "fields") return run_fields(args);
  if (args.command == "explain") return run_explain(args);
  if (args.command == "check") return run_check(args);
  if (args.command == "status") {
    if (!args.rest.empty()) return usage_error("status takes no words, only --remove and --json");
    return erp::run_status({args.remove, args.json});
  }
  return run_with_queues(args);
}

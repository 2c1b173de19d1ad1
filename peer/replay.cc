#include "replay.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "engine_table.h"
#include "erp_peer.h"
#include "exchange_report.h"
#include "progress_bar.h"
#include "recording.h"
#include "request_file.h"

namespace erp {

namespace {

std::string process_name(int stype) {
  const EngineInfo* engine = engine_of_stype(stype);
  return engine != nullptr ? engine->name : "stype" + std::to_string(stype);
}

NamedReply named(int stype, std::string_view kind, const std::string& reply) {
  const EngineInfo* engine = engine_of_stype(stype);
  return engine != nullptr ? engine->name_reply(kind, reply) : name_plain_reply(reply);
}

// The replies to one message text: none for a terminate message (its process
// ends), else the first reply and, after a status, its results.
void raw_exchange(ErpPeer& peer, const std::string& text, int timeout_ms, ExchangeReport* r) {
  if (!peer.send(text)) {
    r->problem = "cannot send " + text;
    return;
  }
  if (message_type(text) == API_MSG_TERMINATE) {
    peer.wait_exit(timeout_ms);
    return;
  }
  int expected = 1;
  for (int i = 0; i < expected; ++i) {
    const std::optional<std::string> reply = peer.receive();
    if (!reply) {
      r->problem = "no reply to " + text;
      return;
    }
    r->replies.push_back(name_plain_reply(*reply));
    const std::vector<std::string> f = split_fields(*reply);
    if (i == 0 && f.size() > 4 && message_type(*reply) == API_MSG_STATUS) expected += reply_number(f[4]);
  }
}

class Replay {
 public:
  Replay(const ReplayOptions& options, std::vector<RecordBlock> expected, FILE* record, std::size_t total)
      : options_(options), expected_(std::move(expected)), record_(record), bar_(total) {}

  ~Replay() {
    peers_.clear();  // removes their queues
    for (const char* sub : {"/avp", "/vertex"}) rmdir((options_.peer.dir + sub).c_str());
  }

  void request(const FileRequest& r) {
    ExchangeReport outcome;
    outcome.line = r.line;
    outcome.request = r.text;
    ErpPeer* peer = process_for(r);
    if (peer == nullptr) {
      outcome.problem = "taxapi did not start";
    } else if (r.messages.empty()) {
      const Exchange ex = peer->request(r.kind == "addr" ? 2 : 1, r.stype, r.body);
      for (const std::string& reply : ex.replies) outcome.replies.push_back(named(r.stype, r.kind, reply));
      outcome.problem = ex.problem;
    } else {
      for (const std::string& text : r.messages) {
        if (outcome.problem.empty()) raw_exchange(*peer, text, options_.peer.timeout_ms, &outcome);
      }
    }
    settle(&outcome);
    report(outcome);
    bar_.show(++done_);
  }

  // Ends every process and reports the recorded blocks this run did not reach.
  int finish() {
    bar_.clear();
    for (auto& [stype, peer] : peers_) {
      if (!peer || !peer->running()) continue;  // null: it did not start
      const int status = peer->terminate();
      if (status != 0) {
        std::fprintf(stderr, "taxapi-client: taxapi (%s) ended with status %d\n", process_name(stype).c_str(), status);
        failed_ = true;
      }
    }
    while (block_ < expected_.size()) {
      ExchangeReport missing;
      missing.request = expected_[block_].request;
      missing.differences = compare_blocks(&expected_[block_++], nullptr);
      print(missing);
    }
    if (!options_.expect.empty() && !options_.json) {
      std::printf("%zu difference%s\n", differences_, differences_ == 1 ? "" : "s");
    }
    if (!options_.expect.empty()) return differences_ > 0 ? 1 : 0;
    return failed_ ? 1 : 0;
  }

 private:
  // The running process for the request's sub-provider; started (and its
  // start reported) when there is none. Null when it did not start.
  ErpPeer* process_for(const FileRequest& r) {
    std::unique_ptr<ErpPeer>& peer = peers_[r.stype];
    if (peer && peer->running()) return peer.get();
    PeerOptions o = options_.peer;
    o.stype = r.stype;
    o.dir += '/';
    o.dir += process_name(r.stype);
    peer.reset();
    peer = std::make_unique<ErpPeer>(o);
    ExchangeReport start;
    start.request = "start " + process_name(r.stype);
    std::optional<std::string> first;
    if (!peer->spawn()) {
      start.problem = "cannot start " + o.taxapi;
    } else if (!(first = peer->receive())) {
      // Its end in words, once it came: the record stays the same from run to run.
      const bool timed_out = peer->silence() == ErpPeer::Silence::kTimeOut;
      peer->wait_exit(timed_out ? 0 : ErpPeer::kEndGraceMs);
      const std::string end = peer->end_text();
      start.problem = "no reply (" + (!end.empty() ? end : timed_out ? "time-out" : "the queue is gone") + ")";
    } else {
      start.replies.push_back(named(r.stype, "tax", *first));
    }
    settle(&start);
    report(start);
    if (start.ok) return peer.get();
    peer.reset();
    return nullptr;
  }

  void report(ExchangeReport& r) {
    const RecordBlock got = record_block(r);
    if (!options_.expect.empty()) {
      r.differences = compare_blocks(block_ < expected_.size() ? &expected_[block_] : nullptr, &got);
      ++block_;
    }
    if (record_ != nullptr) std::fputs(record_text(got).c_str(), record_);
    failed_ = failed_ || !r.ok;
    print(r);
  }

  void print(const ExchangeReport& r) {
    differences_ += r.differences.size();
    bar_.clear();
    if (options_.json) {
      std::printf("%s\n", exchange_json(r).c_str());
    } else {
      std::fputs((options_.expect.empty() ? exchange_text(r) : differences_text(r)).c_str(), stdout);
    }
    std::fflush(stdout);
  }

  const ReplayOptions& options_;
  std::vector<RecordBlock> expected_;
  FILE* record_;
  ProgressBar bar_;
  std::map<int, std::unique_ptr<ErpPeer>> peers_;
  std::size_t done_ = 0;
  std::size_t block_ = 0;
  std::size_t differences_ = 0;
  bool failed_ = false;
};

}  // namespace

int run_replay(const std::string& file, const ReplayOptions& options) {
  std::vector<FileRequest> requests;
  std::vector<std::string> errors;
  std::vector<RecordBlock> expected;
  std::string err;
  if (!read_request_file(file, options.peer.stype, &requests, &errors)) {
    for (const std::string& e : errors) std::fprintf(stderr, "taxapi-client: %s\n", e.c_str());
    return 2;
  }
  if (!options.expect.empty() && !read_record(options.expect, &expected, &err)) {
    std::fprintf(stderr, "taxapi-client: %s\n", err.c_str());
    return 2;
  }
  // Close-on-exec: every taxapi the replay starts would hold the record open.
  FILE* record = options.record.empty() ? nullptr : std::fopen(options.record.c_str(), "we");
  if (!options.record.empty() && record == nullptr) {
    std::fprintf(stderr, "taxapi-client: cannot write %s\n", options.record.c_str());
    return 2;
  }
  int status;
  {
    Replay replay(options, std::move(expected), record, requests.size());
    for (const FileRequest& r : requests) replay.request(r);
    status = replay.finish();
  }
  if (record != nullptr && std::fclose(record) != 0) {
    std::fprintf(stderr, "taxapi-client: cannot write %s\n", options.record.c_str());
    status = 2;
  }
  return status;
}

}  // namespace erp

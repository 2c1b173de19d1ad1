#include "engine_check.h"

#include <cctype>

#include "json_writer.h"

namespace erp {

namespace {

bool starts(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

bool ends(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The library file taxapi means by `shown` ("AVPTAX.DLL", "location.DLL").
std::string library_file(const EngineInfo& engine, const std::string& shown) {
  std::string lower;
  for (const char c : shown) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* file : engine.libraries) {
    const std::string base = std::string(file).substr(3, std::string(file).size() - 6);  // lib<base>.so
    if (lower.find(base) != std::string::npos) return file;
  }
  return shown;
}

std::string where(const EngineCheck& c, const std::string& file, bool loaded) {
  const SearchDir* d = find_library(c.search, file);
  if (d != nullptr) return file + " in " + d->dir + " (" + d->from + ")";
  return file +
         (loaded ? " not on the search path, found by the dynamic linker" : " in no directory of the search path");
}

// Reads taxapi's diagnostic lines into steps; lines no step claims are kept
// in *notes and told with the next failure.
class StepReader {
 public:
  explicit StepReader(EngineCheck* check) : c_(check) {}

  void line(const std::string& l) {
    if (l.empty() || (starts(l, "Initialize ") && ends(l, " Structure."))) return;
    if (starts(l, "Loading ")) return loading(l.substr(8));
    if (starts(l, "Missing function '")) {
      return add("entry point", l.substr(18, l.find('\'', 18) - 18), "failed", "missing in " + library_);
    }
    if (l == "Checking environment variables") return add("entry points", "", "ok", "all found");
    const std::size_t value = l.find(" - <");
    if (value != std::string::npos && ends(l, ">")) {
      const std::string v = l.substr(value + 4, l.size() - value - 5);
      return add("variable", l.substr(0, value), v == "(not set)" ? "not set" : "ok", v == "(not set)" ? "" : v);
    }
    if (ends(l, " not set.")) return add("variable", l.substr(0, l.size() - 9), "failed", "not set");
    if (starts(l, "Failed to open logfile")) return add("log file", "", "failed", l);
    for (const char* word : {" passed", " succeeded", " skipped", " failed"}) {
      const std::size_t at = l.find(word);
      // taxapi names an engine call in one word ("VstOpenDb(eVstDbTypeRate)").
      if (at != std::string::npos && l.find_first_of(" :") == at) {
        return engine_call(l.substr(0, at), word + 1, l.substr(at + std::string(word).size()));
      }
    }
    notes_.push_back(l);
  }

  // Lines left over go with the last failure, or stand as notes.
  void finish() {
    for (auto it = c_->steps.rbegin(); it != c_->steps.rend() && !notes_.empty(); ++it) {
      if (it->outcome == "failed") take_notes(&*it);
    }
    for (const std::string& n : notes_) c_->steps.push_back({"message", "", "note", n});
  }

 private:
  void loading(const std::string& rest) {
    const std::size_t failed = rest.find(" failed: ");
    if (ends(rest, " succeeded.")) {
      library_ = rest.substr(0, rest.size() - 11);
      add("library", library_, "ok", where(*c_, library_file(*c_->engine, library_), true));
    } else if (failed != std::string::npos) {
      library_ = rest.substr(0, failed);
      add("library", library_, "failed",
          where(*c_, library_file(*c_->engine, library_), false) + "; taxapi: " + rest.substr(failed + 9));
    }
  }

  void engine_call(const std::string& call, const std::string& outcome, std::string detail) {
    const bool closing = call.find("Close") != std::string::npos || call.find("Release") != std::string::npos;
    while (!detail.empty() && (detail[0] == ':' || detail[0] == ',' || detail[0] == ' ')) detail.erase(0, 1);
    if (ends(detail, ".")) detail.pop_back();
    add(closing ? "engine close" : "engine open", call, outcome == "passed" || outcome == "succeeded" ? "ok" : outcome,
        detail);
  }

  void add(const std::string& step, const std::string& subject, const std::string& outcome, const std::string& detail) {
    c_->steps.push_back({step, subject, outcome, detail});
    if (outcome == "failed") take_notes(&c_->steps.back());
  }

  void take_notes(CheckStep* s) {
    for (const std::string& n : notes_) s->detail += (s->detail.empty() ? "" : "; ") + n;
    notes_.clear();
  }

  EngineCheck* c_;
  std::string library_;
  std::vector<std::string> notes_;
};

const CheckStep* first_failure(const EngineCheck& c) {
  for (const CheckStep& s : c.steps) {
    if (s.outcome == "failed" && s.step != "engine close") return &s;
  }
  return nullptr;
}

std::string taxapi_words(const EngineCheck& c) {
  std::string out = c.run.out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string verdict(const EngineCheck& c) {
  const std::string run = std::string("taxapi ") + c.engine->diag_option;
  if (c.run.timed_out) return run + " did not finish in time";
  std::string out = run + " exited with status " + std::to_string(c.run.status);
  if (!taxapi_words(c).empty()) out += ": " + taxapi_words(c);
  const CheckStep* failed = first_failure(c);
  if (failed != nullptr) out += "; first failure: " + failed->step + " " + failed->subject;
  return out;
}

}  // namespace

EngineCheck check_engine(const EngineInfo& engine, const std::string& taxapi, const std::vector<std::string>& env,
                         int timeout_ms) {
  EngineCheck c;
  c.engine = &engine;
  c.search = library_search(env);
  c.run = run_child({taxapi, engine.diag_option}, env, timeout_ms);
  StepReader reader(&c);
  std::size_t start = 0;
  for (std::size_t end; (end = c.run.err.find('\n', start)) != std::string::npos; start = end + 1) {
    reader.line(c.run.err.substr(start, end - start));
  }
  reader.line(c.run.err.substr(start));
  reader.finish();
  c.can_serve = c.run.status == 0 && !c.run.timed_out && first_failure(c) == nullptr;
  return c;
}

std::string check_text(const EngineCheck& c) {
  std::string out = std::string(c.engine->title) + " engine check (taxapi " + c.engine->diag_option + ")\n";
  out += "search path:";
  for (const SearchDir& d : c.search.dirs) out += " " + d.dir + " (" + d.from + ")";
  if (c.search.dirs.empty()) out += " none; the dynamic linker's own directories only";
  out += "\n";
  for (const std::string& i : c.search.ignored) out += "ignored: " + i + "\n";
  for (const CheckStep& s : c.steps) {
    const std::string outcome = s.outcome == "failed" ? "FAILED" : s.outcome;
    std::string subject = s.step + (s.subject.empty() ? "" : " " + s.subject);
    out += outcome + std::string(outcome.size() < 8 ? 8 - outcome.size() : 1, ' ') + subject +
           (s.detail.empty() ? "" : ": " + s.detail) + "\n";
  }
  out += std::string("The ") + c.engine->title + " engine " + (c.can_serve ? "can" : "cannot") + " serve (" +
         verdict(c) + ").\n";
  return out;
}

std::string check_json(const EngineCheck& c) {
  JsonWriter json;
  json.begin_object().key("engine").value(c.engine->name).key("search_path").begin_array();
  for (const SearchDir& d : c.search.dirs)
    json.begin_object().key("dir").value(d.dir).key("from").value(d.from).end_object();
  json.end_array().key("ignored").begin_array();
  for (const std::string& i : c.search.ignored) json.value(i);
  json.end_array().key("steps").begin_array();
  for (const CheckStep& s : c.steps) {
    json.begin_object().key("step").value(s.step).key("subject").value(s.subject);
    json.key("outcome").value(s.outcome).key("detail").value(s.detail).end_object();
  }
  json.end_array().key("taxapi_status").value(c.run.status).key("taxapi_output").value(taxapi_words(c));
  return json.key("can_serve").value(c.can_serve).key("verdict").value(verdict(c)).end_object().text();
}

}  // namespace erp

// vtx_control: per-call overrides of the stand-in engine, for tests.
//
// The file named by VST_STANDIN_CONTROL is read again by every entry point on
// every call (see README.md for its syntax), so a test changes the engine's
// answers by rewriting the file, without rebuilding or reloading anything.
// A Control is a plain value: it owns its parsed lines and nothing else.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vtx {

struct ControlValue {
  enum Kind { kInt, kReal, kText, kNull };
  Kind kind = kNull;
  long long i = 0;
  double d = 0.0;
  std::string text;
};

class Control {
 public:
  // Selector of a call that has no selecting argument: only lines without a
  // selector apply to it.
  static constexpr long long kNoSelector = -1000000000LL;

  // The lines of the file that VST_STANDIN_CONTROL names; empty when the
  // variable is unset or the file cannot be read. A call of the entry point
  // `entry` counts it (per library, since it was loaded), so that lines with
  // "@<n>" apply to its n-th call only.
  static Control load(std::string_view entry = {});
  // Lines that do not parse are skipped.
  static Control parse(std::string_view text);

  // The value of the last of the most particular lines naming entry.field
  // that apply: a line with a selector (which must equal `selector`) beats
  // one without, and among those a line with a call number (which must be
  // this call's) beats one without. An empty field asks for the result
  // override. Null when no line applies.
  const ControlValue* find(std::string_view entry, long long selector,
                           std::string_view field) const;

  // Typed lookups; false when no line applies or the value has another kind.
  // Integers and reals convert into each other (reals truncate, clamped to
  // the int range).
  bool get_int(std::string_view entry, long long selector,
               std::string_view field, int* out) const;
  bool get_real(std::string_view entry, long long selector,
                std::string_view field, double* out) const;
  bool get_text(std::string_view entry, long long selector,
                std::string_view field, std::string* out) const;
  // True when the applying line's value is `null`.
  bool is_null(std::string_view entry, long long selector,
               std::string_view field) const;

  std::size_t size() const { return lines_.size(); }

 private:
  struct Line {
    std::string entry;
    bool has_selector = false;
    long long selector = 0;
    long long call = 0;  // 0: every call
    std::string field;
    ControlValue value;
  };
  static bool parse_line(std::string_view text, Line* line);
  std::vector<Line> lines_;
  long long call_ = 0;  // number of the call that loaded this, 0 for none
};

}  // namespace vtx

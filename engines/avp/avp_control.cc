#include "avp_control.h"

#include <climits>
#include <cstdlib>

#include "avp_data_file.h"
#include "avp_text.h"

namespace avp_standin {

namespace {

// Returns a writable member of `c`, so `c` cannot be const (cppcheck misses
// the pointer-to-member use).
// cppcheck-suppress constParameter
std::optional<int>* slot(Control& c, std::string_view name) {
  struct Name {
    const char* text;
    std::optional<int> Control::*member;
  };
  static const Name names[] = {
      {"AVPTAXOPEN", &Control::AVPTAXOPEN},   {"AVPTAXCLOSE", &Control::AVPTAXCLOSE},
      {"AVPTAXCMN", &Control::AVPTAXCMN},     {"AVPTAX_IO_ERR", &Control::AVPTAX_IO_ERR},
      {"ZIPOPEN", &Control::ZIPOPEN},         {"ZIPCLOSE", &Control::ZIPCLOSE},
      {"ZIP020", &Control::ZIP020},           {"GenCmplCd", &Control::GenCmplCd},
      {"JurCmplCd", &Control::JurCmplCd},     {"POOJurRC", &Control::POOJurRC},
      {"POAJurRC", &Control::POAJurRC},       {"ShpToJurRC", &Control::ShpToJurRC},
      {"ShpFrJurRC", &Control::ShpFrJurRC},   {"ZipCmplCd", &Control::ZipCmplCd},
      {"ZipCandidates", &Control::ZipCandidates}, {"LevelTaxExp10", &Control::LevelTaxExp10},
  };
  for (const Name& n : names)
    if (name == n.text) return &(c.*n.member);
  return nullptr;
}

}  // namespace

Control parse_control(const std::string& text) {
  Control c;
  for_each_data_line(text, [&c](std::string_view line, int) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return true;
    std::optional<int>* target = slot(c, trim(line.substr(0, eq)));
    long value = 0;
    if (target == nullptr || !parse_long(line.substr(eq + 1), INT_MIN, INT_MAX, &value))
      return true;
    if (target == &c.ZipCandidates) {
      if (value < 0) return true;
      if (value > kMaxCandidates) value = kMaxCandidates;
    }
    *target = static_cast<int>(value);
    return true;
  });
  return c;
}

Control read_control() {
  const char* path = std::getenv(kControlVar);
  if (path == nullptr || *path == '\0') return Control{};
  std::string text, error;
  if (!read_data_file(path, &text, &error)) return Control{};
  return parse_control(text);
}

}  // namespace avp_standin

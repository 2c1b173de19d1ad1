#include "avp_control.h"

#include <climits>
#include <cstdlib>

#include "avp_text.h"
#include "avp_zipdata.h"

namespace avp_standin {

namespace {

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
      {"ZipCandidates", &Control::ZipCandidates},
  };
  for (const Name& n : names)
    if (name == n.text) return &(c.*n.member);
  return nullptr;
}

}  // namespace

Control parse_control(const std::string& text) {
  Control c;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::optional<int>* target = slot(c, trim(line.substr(0, eq)));
    long value = 0;
    if (target == nullptr || !parse_long(line.substr(eq + 1), INT_MIN, INT_MAX, &value)) continue;
    if (target == &c.ZipCandidates) {
      if (value < 0) continue;
      if (value > kMaxCandidates) value = kMaxCandidates;
    }
    *target = static_cast<int>(value);
  }
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

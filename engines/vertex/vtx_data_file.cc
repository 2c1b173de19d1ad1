#include "vtx_data_file.h"

#include <cstdio>

#include "vtx_text.h"

namespace vtx {

namespace {
// The sample data are a few kilobytes; a limit keeps a wrong file name (a
// device, a huge log) from being swallowed whole.
constexpr std::size_t kMaxDataBytes = 16u << 20;
}  // namespace

bool resolve_source(const char* source, const char* server,
                    const char* default_name, std::string* path) {
  std::string_view src = view_of(source);
  std::string_view dir = view_of(server);
  if (src.empty()) {
    if (dir.empty()) return false;
    src = view_of(default_name);
  }
  if (src.front() == '/' || dir.empty()) {
    *path = std::string(src);
  } else {
    *path = std::string(dir);
    if (path->back() != '/') path->push_back('/');
    path->append(src);
  }
  return true;
}

DataStatus read_data_file(const std::string& path, std::string_view kind,
                          const char* user, const char* password,
                          std::vector<Record>* records) {
  records->clear();
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return DataStatus::kUnreadable;
  std::string text;
  char buf[8192];
  std::size_t n;
  bool too_big = false;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (text.size() + n > kMaxDataBytes) {
      too_big = true;
      break;
    }
    text.append(buf, n);
  }
  bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (too_big || read_error) return DataStatus::kUnreadable;

  bool have_format = false;
  bool have_auth = false;
  std::string auth_user, auth_password;
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t nl = rest.find('\n');
    std::string_view line = trim(rest.substr(0, nl));
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string_view> fields = split_fields(line, '|');
    if (!have_format) {
      if (fields.size() != 3 || fields[0] != "FORMAT") return DataStatus::kBadVersion;
      if (fields[1] != kind) return DataStatus::kWrongKind;
      if (fields[2] != "1") return DataStatus::kBadVersion;
      have_format = true;
      continue;
    }
    if (fields[0] == "AUTH") {
      if (fields.size() != 3 || have_auth) return DataStatus::kMalformed;
      have_auth = true;
      auth_user = std::string(fields[1]);
      auth_password = std::string(fields[2]);
      continue;
    }
    records->emplace_back(fields.begin(), fields.end());
  }
  if (!have_format) return DataStatus::kBadVersion;
  if (have_auth) {
    if (view_of(user) != auth_user) return DataStatus::kBadUser;
    if (view_of(password) != auth_password) return DataStatus::kBadPassword;
  }
  return DataStatus::kOk;
}

}  // namespace vtx

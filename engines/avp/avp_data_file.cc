#include "avp_data_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "avp_text.h"

namespace avp_standin {

bool read_data_file(const std::string& path, std::string* text, std::string* error) {
  constexpr long kMaxSize = 16L << 20;
  struct stat st;
  if (path.empty()) {
    *error = "no file named";
    return false;
  }
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (st.st_size > kMaxSize) {
    *error = path + ": file too big";
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string out;
  char buf[8192];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out.append(buf, n);
    if (static_cast<long>(out.size()) > kMaxSize) break;
  }
  bool bad = std::ferror(f) != 0 || static_cast<long>(out.size()) > kMaxSize;
  std::fclose(f);
  if (bad) {
    *error = path + ": read error";
    return false;
  }
  *text = std::move(out);
  return true;
}

bool load_data_file(const std::string& path,
                    const std::function<bool(const std::string& text, std::string* error)>& parse,
                    std::string* error) {
  std::string text;
  if (!read_data_file(path, &text, error)) return false;
  if (!parse(text, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool for_each_data_line(std::string_view text,
                        const std::function<bool(std::string_view line, int number)>& visit) {
  std::size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (!visit(line, number)) return false;
  }
  return true;
}

}  // namespace avp_standin

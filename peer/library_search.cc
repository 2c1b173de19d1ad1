#include "library_search.h"

#include <sys/stat.h>
#include <unistd.h>

namespace erp {

namespace {

std::string variable(const std::vector<std::string>& env, const std::string& name) {
  std::string value;
  for (const std::string& e : env) {
    if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=') {
      value = e.substr(name.size() + 1);
    }
  }
  return value;
}

bool is_dir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Adds the entries of the ":"-separated `list`.
void add_entries(const std::string& list, const std::string& from, LibrarySearch* out) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(':', start);
    const std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool known = false;
    for (const SearchDir& d : out->dirs) known = known || d.dir == dir;
    if (dir.empty() || dir[0] != '/') {
      out->ignored.push_back(from + " entry \"" + dir + "\": not an absolute directory");
    } else if (!known) {
      out->dirs.push_back({dir, from});
    }
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

// "<parent of bin>/shlib", as the loader forms it.
std::string shlib_beside(std::string bin) {
  while (bin.size() > 1 && bin.back() == '/') bin.pop_back();
  const std::size_t slash = bin.rfind('/');
  if (slash == std::string::npos) return "./shlib";
  std::string parent = bin.substr(0, slash);
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  return parent + "/shlib";
}

}  // namespace

LibrarySearch library_search(const std::vector<std::string>& env) {
  LibrarySearch out;
  const std::string shlib = variable(env, "QSE_SHLIB");
  std::string bin = variable(env, "QSE_BIN");
  std::string bin_from = "QSE_BIN";
  if (bin.empty() && !variable(env, "QSE").empty()) {
    bin = variable(env, "QSE") + "/bin";  // a trailing "/" of QSE is dropped with the bin directory's parent
    bin_from = "QSE";
  }
  if (!shlib.empty()) {
    add_entries(shlib, "QSE_SHLIB", &out);
  } else if (!bin.empty() && is_dir(shlib_beside(bin))) {
    add_entries(shlib_beside(bin), bin_from, &out);
  }
  const std::string ld_path = variable(env, "LD_LIBRARY_PATH");
  if (!ld_path.empty()) add_entries(ld_path, "LD_LIBRARY_PATH", &out);
  return out;
}

const SearchDir* find_library(const LibrarySearch& search, const std::string& file) {
  for (const SearchDir& d : search.dirs) {
    if (access((d.dir + "/" + file).c_str(), R_OK) == 0) return &d;
  }
  return nullptr;
}

}  // namespace erp

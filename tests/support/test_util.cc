#include "test_util.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace test_util {

TempDir::TempDir(const std::string& prefix, bool throw_on_failure) {
  std::string tmpl = "/tmp/" + prefix + "XXXXXX";
  if (mkdtemp(tmpl.data()) != nullptr) {
    path_ = tmpl;
  } else if (throw_on_failure) {
    throw std::runtime_error("mkdtemp failed");
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

std::string TempDir::mkdir(const std::string& rel) const {
  fs::create_directories(at(rel));
  return at(rel);
}

std::string TempDir::write(const std::string& rel, const std::string& text) const {
  fs::create_directories(fs::path(at(rel)).parent_path());
  write_file(at(rel), text);
  return at(rel);
}

std::string TempDir::copy(const std::string& from, const std::string& rel) const {
  fs::create_directories(fs::path(at(rel)).parent_path());
  fs::copy_file(from, at(rel), fs::copy_options::overwrite_existing);
  return at(rel);
}

std::string TempDir::touch(const std::string& rel) const {
  std::ofstream(at(rel), std::ios::app).flush();
  return at(rel);
}

EnvGuard::EnvGuard(std::initializer_list<const char*> names) {
  for (const char* n : names) save(n);
}

void EnvGuard::save(const std::string& name) {
  for (const auto& entry : saved_)
    if (entry.first == name) return;
  const char* v = getenv(name.c_str());
  saved_.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
}

void EnvGuard::set(const std::string& name, const std::string& value) {
  save(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void EnvGuard::unset(const std::string& name) {
  save(name);
  unsetenv(name.c_str());
}

void EnvGuard::restore() {
  for (const auto& [name, value] : saved_) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  saved_.clear();
}

std::string slurp(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> log_messages(const std::string& text) {
  static const std::string kMark = ": Log mesg: ";
  std::vector<std::string> out;
  for (const std::string& line : lines_of(text)) {
    const std::size_t at = line.find(kMark);
    if (at != std::string::npos) out.push_back(line.substr(at + kMark.size()));
  }
  return out;
}

std::string shell_output(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *status = -1;
    return out;
  }
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  *status = pclose(p);
  return out;
}

FdCapture::FdCapture(int fd, const std::string& file) : fd_(fd), file_(file) {
  std::fflush(stdout);
  std::fflush(stderr);
  saved_ = dup(fd);
  const int f = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (f >= 0) {
    dup2(f, fd);
    close(f);
  }
}

void FdCapture::restore() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_, fd_);
  close(saved_);
  saved_ = -1;
}

}  // namespace test_util

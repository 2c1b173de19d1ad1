#include "vertex_test_util.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vtx_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

EnvGuard::~EnvGuard() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

void EnvGuard::remember(const std::string& name) {
  if (saved_.count(name) != 0) return;
  const char* old = std::getenv(name.c_str());
  saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
}

void EnvGuard::set(const std::string& name, const std::string& value) {
  remember(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void EnvGuard::unset(const std::string& name) {
  remember(name);
  unsetenv(name.c_str());
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> log_file_messages(const std::string& path) {
  std::vector<std::string> out;
  const std::string marker = ": Log mesg: ";
  for (const std::string& line : split_lines(read_file(path))) {
    const std::size_t at = line.find(marker);
    if (at != std::string::npos) out.push_back(line.substr(at + marker.size()));
  }
  return out;
}

const char* const kVertexVariables[8] = {"VERTEXDEBUG", "VERTEXSERVER", "VERTEXTDM",
                                         "VERTEXPWD",   "VERTEXUSER",   "VERTEXGEO",
                                         "VERTEXRATE",  "VERTEXREG"};

#include "al_mslot.h"
#include "api_tarn.h"

OutputQueue::OutputQueue() {
  const std::string file = dir_.path() + "/outq";
  std::ofstream(file).put('\n');
  key_ = MSltOpen(1, file.c_str(), 1, 0);
  msq_out = key_;
}

OutputQueue::~OutputQueue() {
  if (key_ != -1) MSltClose(key_, 0);
  msq_out = -1;
}

std::optional<std::string> OutputQueue::receive(int ms) {
  char text[MSLT_MAX_TEXT + 1] = {};
  int len = 0;
  const int type = MSltRecv(key_, 0, ms, text, &len, 0);
  if (type <= 0 || len < 0) return std::nullopt;
  return std::string(text);
}

std::vector<std::string> OutputQueue::drain() {
  std::vector<std::string> out;
  while (auto m = receive(0)) out.push_back(*m);
  return out;
}

#include "al_os.h"

OsFaultGuard::OsFaultGuard() { al_os_reset(); }
OsFaultGuard::~OsFaultGuard() { al_os_reset(); }

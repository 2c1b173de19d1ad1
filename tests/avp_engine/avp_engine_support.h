// avp_engine_support: what the stand-in engine tests share - a temporary
// directory, an environment guard, the ten variables over the sample data,
// a loaded engine library and record builders.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "avp_he.h"
#include "test_util.h"

namespace avp_test {

// A fresh mkdtemp directory, removed with everything in it on destruction;
// throws when it cannot be made.
struct TempDir : test_util::TempDir {
  TempDir() : test_util::TempDir("avp_engine_test.", true) {}
};

using test_util::EnvGuard;

// The ten engine variables: data from the sample set (or files given),
// journal and directories in its own temporary directory; no control file.
class EngineEnv {
 public:
  EngineEnv();
  const TempDir& dir() const { return dir_; }
  EnvGuard& env() { return env_; }
  std::string audit() const { return dir_.at("audit.log"); }
  // Writes the control file and points AVP_STANDIN_CONTROL at it.
  void control(const std::string& text);

 private:
  TempDir dir_;
  EnvGuard env_;
};

inline std::string read_file(const std::string& path) { return test_util::slurp(path); }
using test_util::write_file;
using test_util::lines_of;
std::vector<std::string> split(const std::string& line, char sep);

// A library loaded with dlopen(RTLD_NOW | RTLD_LOCAL), closed on destruction.
class Library {
 public:
  explicit Library(const std::string& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  void* sym(const char* name) const;
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

std::string shlib(const char* base);  // <build>/shlib/lib<base>.so

// Both stand-in libraries from <build>/shlib with their entry points.
struct Engine {
  Engine();
  Library tax;
  Library zip;
  AVPTAXOPEN_FN* tax_open;
  AVPTAXCLOSE_FN* tax_close;
  AVPTAXCMN_FN* tax_cmn;
  AVPTAX_IO_ERR_FN* tax_io_err;
  ZIPOPEN_FN* zip_open;
  ZIPCLOSE_FN* zip_close;
  ZIP020_FN* zip020;
};

// A tax request as the process prepares it: blank fill, numbers zero, 904 1,
// 1139 'Y', 1140 '1'.
struct TaxRequest {
  TaxRequest();
  Tax_Str tax;
  Jur_Str jur;
  // Block 1 ship-to, 2 ship-from, 3 POA, 4 POO.
  TaxRequest& block(int number, const std::string& state, const std::string& city, const std::string& zip,
                    const std::string& geo = "");
  TaxRequest& amount(double a, double freight = 0, double discount = 0);
  TaxRequest& product(const std::string& code);
  TaxRequest& invoice(const std::string& number);
};

// An address request as the process prepares it: zero-filled, first 8 bytes
// blank, function 0.
struct ZipRequest {
  ZipRequest(const std::string& state, const std::string& zip, const std::string& city);
  Zip_Str z;
};

std::string entry_text(const char* field, std::size_t width);  // bounded, trimmed

}  // namespace avp_test

// avp_env: the environment under which taxapi opens the stand-in Taxware
// engine, for tests that start the process. The including target defines
// SHLIB_DIR (where the build puts the engine libraries) and AVP_DATA_DIR.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_util {

// "NAME=value" entries for a test directory `dir`: QSE_SHLIB names dir/shlib,
// which holds links to the two Taxware libraries only (the Vertex engine is
// never found), the data files are the samples, the work directories are
// made under dir/work. Calling it again for the same directory is harmless.
inline std::vector<std::string> avp_engine_env(const std::string& dir) {
  namespace fs = std::filesystem;
  const std::string data = AVP_DATA_DIR, work = dir + "/work", shlib = dir + "/shlib";
  std::error_code ec;
  fs::create_directories(shlib, ec);
  for (const char* lib : {"/libavptax.so", "/libavpzip.so"}) fs::create_symlink(SHLIB_DIR + std::string(lib), shlib + lib, ec);
  std::vector<std::string> env = {"QSE_SHLIB=" + shlib, "ZIPIN=" + data + "/zipmaster.txt",
                                  "AVPIN=" + data + "/rates.txt", "STEPIN=" + data + "/exempt.txt",
                                  "AVPAUDIT=" + work + "/audit.log"};
  for (const char* var : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) {
    fs::create_directories(work + "/" + var, ec);
    env.push_back(std::string(var) + "=" + work + "/" + var);
  }
  return env;
}

}  // namespace test_util

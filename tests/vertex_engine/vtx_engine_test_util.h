// Helpers of the stand-in Vertex engine's tests: a temporary directory that
// cleans itself up, the control file switched on for one scope, and the
// built libraries loaded with dlopen with every entry point resolved.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "test_util.h"
#include "vtx_he.h"

namespace vtx_test {

// A directory made with mkdtemp, removed with its contents at scope end.
struct TempDir : test_util::TempDir {
  TempDir() : test_util::TempDir("vtxeng.") {}
};

inline std::string read_file(const std::string& path) { return test_util::slurp(path); }

// Points VST_STANDIN_CONTROL at a file of its own temp dir for its scope.
class ControlScope {
 public:
  explicit ControlScope(const std::string& text = "") {
    path_ = dir_.write("control", text);
    setenv("VST_STANDIN_CONTROL", path_.c_str(), 1);
  }
  ~ControlScope() { unsetenv("VST_STANDIN_CONTROL"); }
  ControlScope(const ControlScope&) = delete;
  ControlScope& operator=(const ControlScope&) = delete;

  // The engine reads the file on every call: rewriting takes effect at once.
  void set(const std::string& text) { dir_.write("control", text); }

 private:
  TempDir dir_;
  std::string path_;
};

inline std::string sample(const std::string& name) {
  return std::string(VTX_SAMPLE_DATA_DIR) + "/" + name;
}

// Both libraries of a directory, loaded privately, never unloaded (the
// registries inside must outlive every test of the binary).
struct Engine {
  void* vst = nullptr;
  void* loc = nullptr;
#define VTX_ENTRY(name) name##_fn* name = nullptr;
#include "vtx_engine_entries.inc"
#undef VTX_ENTRY

  static const Engine& get() {
    static Engine e = load(VTX_SHLIB_DIR);
    return e;
  }

  static Engine load(const std::string& dir) {
    Engine e;
    e.vst = dlopen((dir + "/libvst.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    e.loc = dlopen((dir + "/libloc.so").c_str(), RTLD_NOW | RTLD_LOCAL);
#define VTX_ENTRY(name)                                                         \
  e.name = reinterpret_cast<name##_fn*>(                                        \
      dlsym(std::string(#name).rfind("Loc", 0) == 0 ? e.loc : e.vst, #name));
    if (e.vst != nullptr && e.loc != nullptr) {
#include "vtx_engine_entries.inc"
    }
#undef VTX_ENTRY
    return e;
  }
};

// VstOpenDb as the process calls it; an empty source is passed as null.
inline int open_db(const Engine& e, VstConnHdl conn, int type, const std::string& source,
                   int mode = 0, const char* server = nullptr, const char* user = "",
                   const char* password = "") {
  return e.VstOpenDb(conn, type, source.empty() ? nullptr : source.c_str(), server, user,
                     password, mode, nullptr, nullptr);
}

// A tax connection with the sample databases open, and a calculation handle.
struct TaxSession {
  const Engine& e;
  VstConnHdl conn = nullptr;
  VstHdl hdl = nullptr;
  TempDir dir;
  std::string reg;

  explicit TaxSession(const Engine& engine = Engine::get()) : e(engine) {
    reg = dir.at("register.dat");
    conn = e.VstCreateConnHdl();
    EXPECT_NE(conn, nullptr);
    const std::pair<int, std::string> dbs[] = {{eVstDbTypeLocation, sample("location.dat")},
                                               {eVstDbTypeRate, sample("rate.dat")},
                                               {eVstDbTypeTDM, sample("tdm.dat")},
                                               {eVstDbTypeRegister, reg}};
    for (const auto& [type, source] : dbs)
      EXPECT_EQ(open_db(e, conn, type, source, type == eVstDbTypeRegister ? 2 : 0, nullptr, "u",
                        "p"),
                0)
          << source;
    hdl = e.VstCreateHdl();
    EXPECT_NE(hdl, nullptr);
  }
  ~TaxSession() {
    e.VstReleaseHdl(hdl);
    for (int t = 0; t < 4; ++t) e.VstCloseDb(conn, t, nullptr, nullptr);
    e.VstReleaseConnHdl(conn);
  }
  TaxSession(const TaxSession&) = delete;
  TaxSession& operator=(const TaxSession&) = delete;

  // Sets one jurisdiction (0 ship-to, 1 ship-from, 2 order acceptance).
  int juris(int type, std::int64_t geo, int flag = 0) {
    return e.VstSetInvJuris(hdl, type, 1, &geo, nullptr, nullptr, nullptr, nullptr, &flag);
  }
  int invoice(const char* number, int write_register = 0, const char* customer_1 = "C1",
              const char* customer_2 = "C2", const char* company = "CO1") {
    std::int64_t zero = 0;
    int mode = 0;
    return e.VstSetInvDetail(hdl, "TEXT", nullptr, number, nullptr, &zero, customer_1,
                             customer_2, &mode, company, nullptr, nullptr, nullptr,
                             &write_register);
  }
  int line(double amount, long long number = 1, const char* user_area = "UA") {
    int one = 1;
    return e.VstSetLineDetail(hdl, number, 0, 0, 0, 0, &one, &amount, nullptr, nullptr,
                              user_area, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  int product(const char* code, int number = 1) {
    double value = 0.0;
    int zero = 0;
    return e.VstSetLineProd(hdl, number, 0, &value, code, nullptr, &zero, nullptr, &value,
                            nullptr, nullptr);
  }
  int calc() { return e.VstCalcTax(conn, hdl, 0, 0); }

  struct Level {
    int ok = 0;
    int status = -1;
    double a = -1.0;
    double b = -1.0;
    int owner = -1;
    int juris = -1;
  };
  Level level(int lvl, int number = 1) { return level_back(e, hdl, lvl, number); }
  Level addtl(int loc, int number = 1) { return addtl_back(e, hdl, loc, number); }

  // The read-backs work on any handle, also a foreign or null one.
  static Level level_back(const Engine& e, VstHdl hdl, int lvl, int number) {
    Level r;
    double s1 = 0, s2 = 0;
    r.ok = e.VstGetLineLocal(hdl, number, lvl, nullptr, &r.status, nullptr, &s1, nullptr, &s2,
                             nullptr, &r.b, nullptr, nullptr, &r.a, &r.owner);
    return r;
  }
  static Level addtl_back(const Engine& e, VstHdl hdl, int loc, int number) {
    Level r;
    double s1 = 0, s2 = 0;
    r.ok = e.VstGetLineLocalAddtl(hdl, number, loc, nullptr, &r.status, nullptr, &s1, nullptr,
                                  &s2, nullptr, &r.b, nullptr, nullptr, &r.a, &r.juris,
                                  &r.owner);
    return r;
  }
};

}  // namespace vtx_test

// The shared-library loader with a real small library (fixtures/slifix.cc):
// where it is searched, the failure texts and the path lists.
#include "al_sli.h"

#include <dlfcn.h>
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "al_gtenv.h"
#include "al_os.h"
#include "test_util.h"

namespace {

// The file the dynamic linker mapped for `h`.
std::string loaded_path(void* h) {
  link_map* map = nullptr;
  return h != nullptr && dlinfo(h, RTLD_DI_LINKMAP, &map) == 0 ? map->l_name : "";
}

std::string env_of(const char* name) { return std::getenv(name) != nullptr ? std::getenv(name) : "(unset)"; }

// Each test starts with none of the loader's variables, QSE naming a root
// without bin, shlib or variables file, and gets them all back afterwards.
class Sli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    for (const char* n : {"QSE_BIN", "QSE_SHLIB", "LD_LIBRARY_PATH"}) env_.unset(n);
    set("QSE", "@/noroot");
    reread();
    al_os_reset();
  }
  void TearDown() override {
    env_.restore();
    reread();
    al_os_reset();
  }
  static void reread() { read_qse_vars(nullptr, 1); }
  // "@" in a value stands for the test's directory; null unsets.
  std::string at(const std::string& text) const {
    std::string out = text;
    for (std::size_t p; (p = out.find('@')) != std::string::npos;) out.replace(p, 1, tmp_.path());
    return out;
  }
  void set(const char* name, const char* value) { value ? env_.set(name, at(value)) : env_.unset(name); }
  std::string lib(const std::string& rel) const { return tmp_.copy(SLIFIX_PATH, rel); }

  test_util::EnvGuard env_{"QSE", "QSE_BIN", "QSE_SHLIB", "LD_LIBRARY_PATH", "AL1_LIB"};
  test_util::TempDir tmp_;
  char err_[1024] = "untouched";
};

// Where the library is found, and the library path put for the process.
TEST_F(Sli, SearchPath) {
  const struct {
    const char* qse;        // null: the root without anything
    const char* qse_bin;    // null: unset
    const char* qse_shlib;  // null: unset
    const char* file;       // the variables file under QSE, or null
    const char* ld;         // LD_LIBRARY_PATH, or null
    const char* dir;        // where the library is
    const char* ld_after;
  } cases[] = {
      {nullptr, nullptr, "@/a:@/b", nullptr, "/al1-none", "b", "@/a:@/b:/al1-none"},
      {"@", nullptr, nullptr, "QSE_SHLIB=@/fromfile\n", nullptr, "fromfile", "@/fromfile"},
      {"@/q/", nullptr, nullptr, nullptr, "/al1-none", "q/shlib", "@/q/shlib:/al1-none"},  // beside $QSE/bin
      {nullptr, "@/p/bin/", nullptr, nullptr, nullptr, "p/shlib", "@/p/shlib"},
      {"@/q2", nullptr, nullptr, nullptr, "@/ld", "ld", "@/ld"},  // no shlib directory there
      {nullptr, nullptr, "@/d1", nullptr, "@/d2::@/d1:@/d2", "d2", "@/d1:@/d2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    const std::string file = lib(std::string(c.dir) + "/libslifix.so");
    if (c.file) tmp_.write("lib/qse_vars", at(c.file));
    set("QSE", c.qse ? c.qse : "@/noroot");
    set("QSE_BIN", c.qse_bin);
    set("QSE_SHLIB", c.qse_shlib);
    set("LD_LIBRARY_PATH", c.ld);
    reread();
    void* h = sli_open("slifix", nullptr, err_, sizeof err_);
    EXPECT_STREQ(err_, "");
    EXPECT_EQ(loaded_path(h), file);
    EXPECT_EQ(env_of("LD_LIBRARY_PATH"), at(c.ld_after));
    EXPECT_EQ(sli_close(h), 0);
    std::filesystem::remove(file);
    std::filesystem::remove(tmp_.at("lib/qse_vars"));
  }
  // A variable may name the library instead: by its path, or by a name
  // searched for as a library's own.
  set("QSE_SHLIB", "@/v");
  const std::string named = lib("v/libslifix.so");
  for (const std::string& value : {named, std::string("slifix")}) {
    env_.set("AL1_LIB", value);
    void* h = sli_load("other", "AL1_LIB", 10, err_, sizeof err_);
    EXPECT_EQ(loaded_path(h), named) << value;
    EXPECT_EQ(sli_close(h), 0);
  }
}

// The texts of each failure. "@" stands for the test's directory, "*" for the
// dynamic linker's reason.
TEST_F(Sli, FailureTexts) {
  set("QSE_SHLIB", "@/bad");
  tmp_.write("bad/libx.so", "not a shared object\n");
  lib("bad/libslifix.so");
  void* h = sli_open("slifix", nullptr, err_, sizeof err_);
  const struct {
    std::function<void*()> call;
    const char* text;
    long dlopens;
  } cases[] = {
      {[&] { return sli_open("x", nullptr, err_, sizeof err_); }, "Load of shared library '@/bad/libx.so' failed. *", 1},
      {[&] { return sli_open("none", nullptr, err_, sizeof err_); },
       "Load of shared library 'libnone.so' failed. *\nLoad of shared library 'libnone.a' failed. *", 2},
      {[&] { return sli_fun_sym(h, "ZIP020", err_, sizeof err_); },
       "Load of function symbol failed 'ZIP020'. *undefined symbol: ZIP020", 0},
      {[&] { return sli_fun_sym(nullptr, "malloc", err_, sizeof err_); },
       "Load of function symbol failed 'malloc'. no library handle", 0},
      {[&] { return al_os_fail_nth(AL_OS_DLSYM, 1, ENOENT), sli_fun_sym(h, "slifix_answer", err_, sizeof err_); },
       "Load of function symbol failed 'slifix_answer'. injected fault: No such file or directory", 0},
  };
  ASSERT_NE(h, nullptr) << err_;
  for (const auto& c : cases) {
    al_os_reset();
    EXPECT_EQ(c.call(), nullptr) << c.text;
    EXPECT_EQ(fnmatch(at(c.text).c_str(), err_, 0), 0) << err_;
    EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), c.dlopens) << c.text;
  }
  EXPECT_EQ(sli_close(h), 0);
  EXPECT_EQ(sli_close(nullptr), 0);
}

// A text is cut to the buffer; the ".a" line follows only with more than 64
// bytes left after the first.
TEST_F(Sli, FailureTextsFitTheirBuffer) {
  set("QSE_SHLIB", "@");
  char full[4096];
  ASSERT_EQ(sli_open("none", nullptr, full, sizeof full), nullptr);
  const std::string text = full;
  const std::size_t first = text.find('\n');
  ASSERT_NE(first, std::string::npos);
  for (const std::size_t size : {std::size_t{1}, std::size_t{10}, first + 65, first + 66, text.size() + 1}) {
    std::string buf(size + 8, '#');
    EXPECT_EQ(sli_open("none", nullptr, buf.data(), size), nullptr);
    EXPECT_EQ(buf.substr(size), std::string(8, '#')) << size;
    EXPECT_EQ(std::string(buf.c_str()), text.substr(0, std::min(size > first + 65 ? text.size() : first, size - 1)))
        << size;
  }
  char one = '#';
  EXPECT_EQ(sli_fun_sym(nullptr, "f", &one, 0), nullptr);
  EXPECT_EQ(one, '#');
}

// Relative and empty directories are never searched: a library planted in
// the current directory is not loaded through them. The library path put for
// the process holds at most 4096 characters with its name; a longer one is
// not put, and the search path stops at 8192.
TEST_F(Sli, PathElementsAndLimits) {
  lib("here/libslifix.so");
  lib("here/shlib/libslifix.so");
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(tmp_.at("here"));
  for (const char* var : {"QSE_SHLIB", "QSE_BIN", "QSE", "LD_LIBRARY_PATH"}) {
    for (const char* dir : {".", "", "here/../.:"}) {
      env_.unset("QSE_SHLIB");
      env_.set(var, std::string(var) == "QSE_BIN" ? "./bin" : dir);
      reread();
      EXPECT_EQ(sli_open("slifix", nullptr, err_, sizeof err_), nullptr) << var << "=" << dir;
    }
  }
  std::filesystem::current_path(cwd);
  env_.unset("LD_LIBRARY_PATH");
  const std::string exact = std::string("/").append(4096 - std::strlen("LD_LIBRARY_PATH=") - 1, 'e');
  env_.set("QSE_SHLIB", exact);
  EXPECT_EQ(sli_open("none", nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(env_of("LD_LIBRARY_PATH"), exact);
  env_.set("LD_LIBRARY_PATH", "/al1-former");
  env_.set("QSE_SHLIB", exact + "f");
  {
    test_util::FdCapture out(1, tmp_.at("out")), err(2, tmp_.at("err"));
    EXPECT_EQ(sli_open("none", nullptr, err_, sizeof err_), nullptr);
    EXPECT_EQ(out.text() + err.text(), "") << "reported to the library log, which goes nowhere";
  }
  EXPECT_EQ(env_of("LD_LIBRARY_PATH"), "/al1-former");
  // Three long directories fill the search path: LD_LIBRARY_PATH, which has
  // the library, is left out.
  env_.set("QSE_SHLIB", std::string("/").append(3000, 'a').append(":/").append(3000, 'b').append(":/").append(3000, 'c'));
  env_.set("LD_LIBRARY_PATH", tmp_.mkdir("late"));
  lib("late/libslifix.so");
  EXPECT_EQ(sli_open("slifix", nullptr, err_, sizeof err_), nullptr);
}

TEST(ExtendPath, Table) {
  const struct {
    const char* path;
    const char* list;
    char sep;
    std::size_t size;
    int result;
    const char* after;
  } cases[] = {
      {"", "a:b:a", ':', 64, 1, "a:b"},       {"ab", "a", ':', 64, 1, "ab:a"},  // whole elements only
      {"a:b", "b:a", ':', 64, 0, "a:b"},      {"abc", nullptr, ':', 64, 0, "abc"},
      {"a:", "b", ':', 64, 1, "a:b"},         {"a", "::b::", ':', 64, 1, "a:b"},  // empty ones never
      {"a;b", "b;c", ';', 64, 1, "a;b;c"},    {"abc", "de", ':', 6, -1, "abc"},
      {"abc", "de", ':', 7, 1, "abc:de"},     {"", "abcd", ':', 5, -1, ""},
      {"x", "toolong:y", ':', 5, 1, "x:y"},   {"x", "y:toolong", ':', 5, -1, "x:y"},  // the last new one decides
      {"abcd", "x", ':', 4, -1, "abcd"},      // not terminated within its size
  };
  for (const auto& c : cases) {
    std::string buf = std::string(c.path) + std::string(c.size + 8 - std::strlen(c.path), '#');
    if (std::strlen(c.path) < c.size) buf[std::strlen(c.path)] = '\0';
    EXPECT_EQ(ExtendPath(c.list, c.sep, buf.data(), c.size), c.result) << c.path << " + " << (c.list ? c.list : "-");
    EXPECT_EQ(std::string(buf.data(), strnlen(buf.data(), c.size)), c.after);
    EXPECT_EQ(buf.substr(c.size), std::string(8, '#'));
  }
  char path[4] = "";
  EXPECT_EQ(ExtendPath("x", ':', nullptr, 10), -1);
  EXPECT_EQ(ExtendPath("x", ':', path, 0), -1);
}

TEST_F(Sli, BinDirectory) {
  const std::string too_long = "/" + std::string(1100, 'b');  // never a cut directory
  for (const auto& [qse, qse_bin, bin] : std::initializer_list<std::array<const char*, 3>>{
           {nullptr, nullptr, "(none)"}, {"/q/", nullptr, "/q/bin"}, {"/", nullptr, "//bin"}, {"/q", "", "/q/bin"},
           {"/q", "/elsewhere/bin", "/elsewhere/bin"}, {"/q", too_long.c_str(), "(none)"}}) {
    set("QSE", qse);
    set("QSE_BIN", qse_bin);
    reread();
    EXPECT_STREQ(get_qse_bin() != nullptr ? get_qse_bin() : "(none)", bin);
  }
}

// With an empty search path the bare file name goes to the dynamic linker,
// which searches the library path it started with: a new process. Not when
// that path has an empty entry, which the linker takes for the current
// directory.
TEST_F(Sli, BareNameIsLeftToTheDynamicLinker) {
  if (const char* dir = std::getenv("AL1_BARE_DIR")) {
    env_.unset("LD_LIBRARY_PATH");
    void* h = sli_open("slifix", nullptr, err_, sizeof err_);
    EXPECT_EQ(loaded_path(h), *dir != '\0' ? std::string(dir) + "/libslifix.so" : "") << err_;
    EXPECT_EQ(env_of("LD_LIBRARY_PATH"), "(unset)") << "an empty path is not put";
    sli_close(h);
    return;
  }
  lib("bare/libslifix.so");
  for (const std::string& entries : {tmp_.at("bare"), tmp_.at("bare") + ":"}) {
    const std::string ld = "LD_LIBRARY_PATH=" + entries;
    const std::string dir = "AL1_BARE_DIR=" + (entries.back() == ':' ? std::string() : tmp_.at("bare"));
    std::string exe = "/proc/self/exe", filter = "--gtest_filter=Sli.BareNameIsLeftToTheDynamicLinker";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    char* envp[] = {const_cast<char*>(ld.c_str()), const_cast<char*>(dir.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << entries;
  }
}

}  // namespace

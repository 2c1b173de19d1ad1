#include "al_sli.h"

#include <dlfcn.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "al_gtenv.h"
#include "al_log.h"
#include "al_os.h"
#include "al_test_env.h"

namespace {

using al1test::EnvGuard;
using al1test::LogCapture;
using al1test::StdCapture;
using al1test::TempDir;

constexpr char kFixture[] = SLIFIX_PATH;

// Closes a loaded library at the end of a test, so that no test finds
// another's copy still mapped.
struct Loaded {
  void* h = nullptr;
  Loaded() = default;
  explicit Loaded(void* handle) : h(handle) {}
  ~Loaded() { sli_close(h); }
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
};

// The file the dynamic linker mapped for `h`.
std::string loaded_path(void* h) {
  link_map* map = nullptr;
  if (!h || dlinfo(h, RTLD_DI_LINKMAP, &map) != 0 || !map) return "";
  return map->l_name;
}

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

// Each test starts with none of the loader's variables set and no variables
// file, and gets them all back afterwards.
class SliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    for (const char* n : {"QSE", "QSE_BIN", "QSE_SHLIB", "LD_LIBRARY_PATH", "AL1_LIBVAR"}) unsetenv(n);
    setenv("QSE", (tmp_.path() + "/noroot").c_str(), 1);  // no bin, no shlib, no file
    reread();
    al_os_reset();
  }
  void reread() { read_qse_vars(nullptr, 1); }

  EnvGuard env_{"AL1_LIBVAR"};
  TempDir tmp_;
  char err_[1024] = "untouched";
};

// Where the library is looked for, and the library path that is put. In the
// texts, "@" stands for the test's directory; "lib" is where the copy goes.
TEST_F(SliTest, SearchLocationsAndThePutLibraryPath) {
  const struct {
    const char* qse;        // null: the set-up's root without bin or shlib
    const char* qse_bin;    // null: unset
    const char* qse_shlib;  // null: unset
    const char* file;       // the variables file under QSE, or null
    const char* ld;         // LD_LIBRARY_PATH, or null
    const char* lib;
    const char* ld_after;   // LD_LIBRARY_PATH afterwards
  } cases[] = {
      {nullptr, nullptr, "@/a:@/b", nullptr, "/al1-nowhere", "b", "@/a:@/b:/al1-nowhere"},
      {"@", nullptr, nullptr, "QSE_SHLIB=@/fromfile\n", nullptr, "fromfile", "@/fromfile"},
      {"@/q/", nullptr, nullptr, nullptr, "/al1-nowhere", "q/shlib", "@/q/shlib:/al1-nowhere"},  // beside bin
      {nullptr, "@/p/bin/", nullptr, nullptr, nullptr, "p/shlib", "@/p/shlib"},
      {"@/q2", nullptr, nullptr, nullptr, "@/ld", "ld", "@/ld"},  // no shlib: the library path first
      {nullptr, nullptr, "@/d1", nullptr, "@/d2::@/d1:@/d2", "d2", "@/d1:@/d2"},  // each directory once
  };
  const auto at = [&](const char* text) {
    std::string out = text;
    for (std::size_t p; (p = out.find('@')) != std::string::npos;) out.replace(p, 1, tmp_.path());
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lib);
    for (const char* d : {"a", "b", "q", "p", "q2", "ld", "d1", "d2", "fromfile"}) tmp_.mkdir(d);
    const std::string lib = tmp_.copy(kFixture, std::string(c.lib) + "/libslifix.so");
    if (c.file) tmp_.write("lib/qse_vars", at(c.file));
    setenv("QSE", c.qse ? at(c.qse).c_str() : (tmp_.path() + "/noroot").c_str(), 1);
    const std::pair<const char*, const char*> vars[] = {
        {"QSE_BIN", c.qse_bin}, {"QSE_SHLIB", c.qse_shlib}, {"LD_LIBRARY_PATH", c.ld}};
    for (const auto& [name, value] : vars) {
      if (value) {
        setenv(name, at(value).c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
    reread();
    for (int load = 0; load < 2; ++load) {  // a second load composes the same path, not a longer one
      Loaded l(sli_open("slifix", nullptr, err_, sizeof err_));
      ASSERT_NE(l.h, nullptr) << err_;
      EXPECT_STREQ(err_, "");
      EXPECT_EQ(loaded_path(l.h), lib);
      EXPECT_EQ(env_or("LD_LIBRARY_PATH", ""), at(c.ld_after));
      auto* answer = reinterpret_cast<int (*)()>(sli_fun_sym(l.h, "slifix_answer", err_, sizeof err_));
      ASSERT_NE(answer, nullptr) << err_;
      EXPECT_EQ(answer(), 42);
    }
    std::filesystem::remove(lib);
    std::filesystem::remove(tmp_.path() + "/lib/qse_vars");
  }
}

TEST_F(SliTest, FoundButUnloadableFileGivesOneLineAndNoArchiveAttempt) {
  const std::string d = tmp_.mkdir("bad");
  const std::string file = tmp_.write("bad/libx.so", "this is not a shared object\n");
  setenv("QSE_SHLIB", d.c_str(), 1);

  EXPECT_EQ(sli_open("x", nullptr, err_, sizeof err_), nullptr);
  const std::string prefix = "Load of shared library '" + file + "' failed. ";
  EXPECT_EQ(std::string(err_).rfind(prefix, 0), 0u) << err_;
  EXPECT_GT(std::strlen(err_), prefix.size());  // the dynamic linker's reason follows
  EXPECT_EQ(std::strchr(err_, '\n'), nullptr);
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 1);

  void* h = reinterpret_cast<void*>(1);
  EXPECT_EQ(SearchAndLoad("libx.so", &h, SLI_SEARCH, err_, sizeof err_), -1);
  EXPECT_EQ(h, nullptr);
}

TEST_F(SliTest, NothingFoundGivesTheSoAndTheArchiveLine) {
  setenv("QSE_SHLIB", tmp_.mkdir("empty").c_str(), 1);
  EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, err_, sizeof err_), nullptr);
  const std::string text = err_;
  const auto nl = text.find('\n');
  ASSERT_NE(nl, std::string::npos) << text;
  EXPECT_EQ(text.rfind("Load of shared library 'libal1_nowhere_zz.so' failed. ", 0), 0u) << text;
  EXPECT_EQ(text.find("Load of shared library 'libal1_nowhere_zz.a' failed. ", nl + 1), nl + 1)
      << text;
  EXPECT_EQ(text.find('\n', nl + 1), std::string::npos);
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 2);
}

TEST_F(SliTest, ErrorBufferOfAnySizeIsNeverOverrun) {
  setenv("QSE_SHLIB", tmp_.mkdir("empty").c_str(), 1);
  char full[4096];
  ASSERT_EQ(sli_open("al1_nowhere_zz", nullptr, full, sizeof full), nullptr);
  const std::string text = full;
  const std::size_t first = text.find('\n');
  ASSERT_NE(first, std::string::npos);

  const std::size_t sizes[] = {0, 1, 2, 10, first, first + 1, first + 65, first + 66, first + 67,
                               text.size(), text.size() + 1, sizeof full};
  for (const std::size_t size : sizes) {
    std::vector<char> buf(size + 32, '#');
    EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, buf.data(), size), nullptr);
    for (std::size_t i = size; i < buf.size(); ++i) {
      ASSERT_EQ(buf[i], '#') << "size " << size << " byte " << i;
    }
    if (size == 0) continue;
    const std::size_t len = strnlen(buf.data(), size);
    ASSERT_LT(len, size) << "unterminated at size " << size;
    const std::string got(buf.data(), len);
    // The first line is cut to the buffer; the second follows only when more
    // than 64 bytes were still free after the first.
    if (size > first + 1 + 64) {
      EXPECT_EQ(got, text.substr(0, std::min(text.size(), size - 1))) << size;
    } else {
      EXPECT_EQ(got, text.substr(0, std::min(first, size - 1))) << size;
    }
  }
  char one = '#';
  EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, nullptr, 100), nullptr);
  EXPECT_EQ(sli_fun_sym(nullptr, "f", &one, 0), nullptr);
  EXPECT_EQ(one, '#');
  EXPECT_EQ(sli_fun_sym(nullptr, "f", &one, 1), nullptr);
  EXPECT_EQ(one, '\0');
}

TEST_F(SliTest, EntryPointFailures) {
  const std::string d = tmp_.mkdir("m");
  tmp_.copy(kFixture, "m/libslifix.so");
  setenv("QSE_SHLIB", d.c_str(), 1);
  Loaded l(sli_open("slifix", nullptr, err_, sizeof err_));
  ASSERT_NE(l.h, nullptr) << err_;
  EXPECT_EQ(sli_fun_sym(l.h, "ZIP020", err_, sizeof err_), nullptr);
  const std::string text = err_;
  EXPECT_EQ(text.rfind("Load of function symbol failed 'ZIP020'. ", 0), 0u) << text;
  EXPECT_NE(text.find("undefined symbol: ZIP020"), std::string::npos) << text;

  char small[8] = "#######";
  EXPECT_EQ(sli_fun_sym(l.h, "ZIP020", small, 5), nullptr);
  EXPECT_STREQ(small, "Load");
  EXPECT_EQ(small[5], '#');
  EXPECT_EQ(sli_fun_sym(l.h, "ZIP020", nullptr, 0), nullptr);
  EXPECT_NE(sli_fun_sym(l.h, "slifix_tag", nullptr, 0), nullptr);

  EXPECT_EQ(sli_fun_sym(l.h, nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_).rfind("Load of function symbol failed 'NULL'. ", 0), 0u) << err_;
  EXPECT_EQ(sli_fun_sym(nullptr, "malloc", err_, sizeof err_), nullptr);  // not the global scope
  EXPECT_STREQ(err_, "Load of function symbol failed 'malloc'. no library handle");
  EXPECT_EQ(sli_close(nullptr), 0);

  al_os_fail_nth(AL_OS_DLSYM, 1, ENOENT);
  EXPECT_EQ(sli_fun_sym(l.h, "slifix_answer", err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_), std::string("Load of function symbol failed 'slifix_answer'. "
                                           "injected fault: ") +
                                   std::strerror(ENOENT));
  EXPECT_NE(sli_fun_sym(l.h, "slifix_answer", err_, sizeof err_), nullptr);
}

TEST_F(SliTest, InjectedDlopenFailures) {
  const std::string d = tmp_.mkdir("inj");
  const std::string lib = tmp_.copy(kFixture, "inj/libslifix.so");
  setenv("QSE_SHLIB", d.c_str(), 1);
  al_os_fail_nth(AL_OS_DLOPEN, 1, ENOMEM);
  EXPECT_EQ(sli_open("slifix", nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_), "Load of shared library '" + lib +
                                   "' failed. injected fault: " + std::strerror(ENOMEM));
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 1);  // found: no ".a" attempt
  al_os_reset();
  Loaded l(sli_open("slifix", nullptr, err_, sizeof err_));  // the next call works again
  EXPECT_NE(l.h, nullptr) << err_;
  // The failure of the archive attempt, after nothing was found.
  setenv("QSE_SHLIB", tmp_.mkdir("empty").c_str(), 1);
  al_os_fail_nth(AL_OS_DLOPEN, 2, EIO);
  EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, err_, sizeof err_), nullptr);
  const std::string text = err_;
  EXPECT_NE(text.find("\nLoad of shared library 'libal1_nowhere_zz.a' failed. injected fault: " +
                      std::string(std::strerror(EIO))),
            std::string::npos)
      << text;
}

TEST_F(SliTest, DirectLoadOfAPath) {
  const std::string lib = tmp_.copy(kFixture, "direct/libslifix.so");
  Loaded l(sli_load(lib.c_str(), nullptr, SLI_DIRECT, err_, sizeof err_));
  ASSERT_NE(l.h, nullptr) << err_;
  EXPECT_EQ(loaded_path(l.h), lib);

  const std::string missing = tmp_.path() + "/direct/libnone.so!member";
  EXPECT_EQ(sli_load(missing.c_str(), nullptr, SLI_DIRECT, err_, sizeof err_), nullptr);
  const std::string prefix = "Load of shared library failed '" + missing + "'. ";
  EXPECT_EQ(std::string(err_).rfind(prefix, 0), 0u) << err_;
  EXPECT_NE(std::string(err_).find(tmp_.path() + "/direct/libnone.so:"), std::string::npos)
      << "the member part is cut before loading: " << err_;
  al_os_reset();
  // Without the direct flag a path is refused.
  EXPECT_EQ(sli_open(lib.c_str(), nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_), "Load of shared library failed '" + lib +
                                   "'. no load method applies to this name");
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 0);
}

// Names with a member part, without the "lib" prefix, or given by a variable.
TEST_F(SliTest, NameForms) {
  const std::string d = tmp_.mkdir("mem");
  const std::string lib = tmp_.copy(kFixture, "mem/libslifix.so");
  const std::string plain = tmp_.copy(kFixture, "mem/slifix.so");
  setenv("QSE_SHLIB", d.c_str(), 1);
  constexpr int kOpen = SLI_SEARCH | SLI_SET_LDPATH;  // as sli_open
  const struct {
    const char* name;
    const char* var;  // the value of AL1_LIBVAR, or null for no variable
    int flags;
    std::string loaded;
  } cases[] = {
      {"slifix!member.o", nullptr, kOpen, lib},
      {"slifix", nullptr, SLI_SEARCH | SLI_NO_LIB_PREFIX, plain},
      {"other", "slifix!m", kOpen, lib},
      {"other", lib.c_str(), kOpen, lib},  // a path is searched as it stands
      {"slifix", "", kOpen, lib},               // empty: the logical name counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + (c.var ? c.var : "-"));
    if (c.var) setenv("AL1_LIBVAR", c.var, 1);
    Loaded l(sli_load(c.name, c.var ? "AL1_LIBVAR" : nullptr, c.flags, err_, sizeof err_));
    ASSERT_NE(l.h, nullptr) << err_;
    EXPECT_EQ(loaded_path(l.h), c.loaded);
  }
  setenv("AL1_LIBVAR", "al1_nowhere_zz", 1);
  EXPECT_EQ(sli_open("slifix", "AL1_LIBVAR", err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_).rfind("Load of shared library 'libal1_nowhere_zz.so' failed. ", 0), 0u)
      << err_;
  EXPECT_EQ(std::strchr(err_, '\n'), nullptr);  // no ".a" attempt on this way
}

TEST_F(SliTest, OverlongNamesFailWithoutLoadingACutName) {
  const std::string name(2000, 'n');
  EXPECT_EQ(sli_open(name.c_str(), nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_).rfind("Load of shared library '", 0), 0u);
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 0);
  const std::string name2(1019, 'n');  // "lib" + name + ".so": 1025 characters
  EXPECT_EQ(sli_open(name2.c_str(), nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(al_os_calls(AL_OS_DLOPEN), 0);
  EXPECT_EQ(sli_open(nullptr, nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_).rfind("Load of shared library failed 'NULL'. ", 0), 0u);
}

TEST_F(SliTest, LibraryPathEntryLimit) {
  LogCapture log;
  const std::size_t prefix = std::strlen("LD_LIBRARY_PATH=");
  // An entry of exactly 4096 characters is put whole.
  const std::string exact = "/" + std::string(4096 - prefix - 1, 'e');
  setenv("QSE_SHLIB", exact.c_str(), 1);
  EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(env_or("LD_LIBRARY_PATH", ""), exact);
  EXPECT_EQ(log.text(), "");

  // One more character: not put, the former value stays, and it is reported.
  setenv("LD_LIBRARY_PATH", "/al1-former", 1);
  const std::string over = exact + "f";
  setenv("QSE_SHLIB", over.c_str(), 1);
  EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(env_or("LD_LIBRARY_PATH", ""), "/al1-former");
  const std::string cut = (over + ":/al1-former").substr(0, 4095 - prefix);
  EXPECT_NE(log.text().find("setSystemLibPath: Value of environment variable LD_LIBRARY_PATH "
                            "exceeds maximum of 4096 characters, and is truncated to '" +
                            cut + "'."),
            std::string::npos);
}

TEST_F(SliTest, SearchPathLimitSkipsTheLaterAdditions) {
  // QSE_SHLIB fills the 8192-byte search path; LD_LIBRARY_PATH, which holds
  // the library, is then left out.
  const std::string d = tmp_.mkdir("late");
  tmp_.copy(kFixture, "late/libslifix.so");
  std::string shlib;
  for (int i = 0; i < 3; ++i) shlib += (i ? ":/" : "/") + std::string(3000, static_cast<char>('a' + i));
  setenv("QSE_SHLIB", shlib.c_str(), 1);
  setenv("LD_LIBRARY_PATH", d.c_str(), 1);
  LogCapture log;
  EXPECT_EQ(sli_open("slifix", nullptr, err_, sizeof err_), nullptr);
  EXPECT_EQ(std::string(err_).rfind("Load of shared library 'libslifix.so' failed. ", 0), 0u)
      << err_;
  EXPECT_EQ(env_or("LD_LIBRARY_PATH", ""), d);  // too long to be put
}

TEST_F(SliTest, LoggedMessagesReachNoOutput) {
  // The variables file overflows an expansion (a message of the variable
  // lookup) and the composed path is too long for the environment (a message
  // of the loader); neither reaches standard output, standard error or a file.
  const std::string big(5000, 'x');
  setenv("AL1_LIBVAR", big.c_str(), 1);
  setenv("QSE", tmp_.path().c_str(), 1);
  tmp_.write("lib/qse_vars", "AL1_OVER=${AL1_LIBVAR}\nQSE_SHLIB=/" + big + "\n");
  read_qse_vars("/nonexistent-root", 1);
  sVarInit = 0;  // the loader's lookup makes the first read
  const std::string out_dir = tmp_.mkdir("out");
  {
    StdCapture std_out(out_dir);
    EXPECT_EQ(sli_open("al1_nowhere_zz", nullptr, err_, sizeof err_), nullptr);
    std_out.restore();
    EXPECT_EQ(std_out.out(), "");
    EXPECT_EQ(std_out.err(), "");
  }
  EXPECT_STREQ(getvar("AL1_OVER"), "${AL1_LIBVAR}");  // the overflow did happen
  std::size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(tmp_.path())) {
    if (e.is_regular_file()) ++files;
  }
  EXPECT_EQ(files, 3u);  // qse_vars, stdout, stderr: nothing else was written
}

TEST(GetQseBinTest, FromQseBinOrQse) {
  EnvGuard env;
  unsetenv("QSE_BIN");
  unsetenv("QSE");
  read_qse_vars("/nonexistent-root", 1);
  EXPECT_EQ(get_qse_bin(), nullptr);
  setenv("QSE", "/q/", 1);
  EXPECT_STREQ(get_qse_bin(), "/q/bin");
  setenv("QSE", "/q", 1);
  EXPECT_STREQ(get_qse_bin(), "/q/bin");
  setenv("QSE_BIN", "", 1);
  EXPECT_STREQ(get_qse_bin(), "/q/bin");
  setenv("QSE_BIN", "/elsewhere/bin", 1);
  EXPECT_STREQ(get_qse_bin(), "/elsewhere/bin");
  setenv("QSE_BIN", ("/" + std::string(1100, 'b')).c_str(), 1);
  EXPECT_EQ(get_qse_bin(), nullptr);  // never a cut directory
}

struct ExtendCase {
  const char* path;
  const char* list;
  std::size_t size;
  int result;
  const char* after;
};

class ExtendPathTable : public ::testing::TestWithParam<ExtendCase> {};

TEST_P(ExtendPathTable, Extends) {
  const ExtendCase& c = GetParam();
  std::vector<char> buf(c.size + 16, '#');
  std::strcpy(buf.data(), c.path);
  EXPECT_EQ(ExtendPath(c.list, ':', buf.data(), c.size), c.result);
  EXPECT_STREQ(buf.data(), c.after);
  for (std::size_t i = c.size; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtendPathTable,
    ::testing::Values(ExtendCase{"", "a:b:a", 64, 1, "a:b"},
                      ExtendCase{"ab", "a", 64, 1, "ab:a"},    // whole elements only
                      ExtendCase{"a:b", "b", 64, 0, "a:b"},
                      ExtendCase{"a:b", "b:a", 64, 0, "a:b"},
                      ExtendCase{"abc", nullptr, 64, 0, "abc"},
                      ExtendCase{"a:", "b", 64, 1, "a:b"},    // no second separator
                      ExtendCase{"a", "::b::", 64, 1, "a:b"},  // empty elements never added
                      ExtendCase{"", "", 64, 0, ""},
                      ExtendCase{"abc", "de", 6, -1, "abc"},   // 3 + 2 + 1 is not below 6
                      ExtendCase{"abc", "de", 7, 1, "abc:de"},
                      ExtendCase{"", "abcd", 5, -1, ""},
                      ExtendCase{"", "abcd", 6, 1, "abcd"},
                      ExtendCase{"x", "toolong:y", 5, 1, "x:y"},  // the last new one decides
                      ExtendCase{"x", "y:toolong", 5, -1, "x:y"},
                      ExtendCase{"x", "toolong:x", 5, -1, "x"}));

TEST(ExtendPathTest, OtherSeparatorAndBadBuffers) {
  char path[32] = "a;b";
  EXPECT_EQ(ExtendPath("b;c", ';', path, sizeof path), 1);
  EXPECT_STREQ(path, "a;b;c");
  EXPECT_EQ(ExtendPath("x", ':', nullptr, 10), -1);
  EXPECT_EQ(ExtendPath("x", ':', path, 0), -1);
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(ExtendPath("x", ':', unterminated, sizeof unterminated), -1);
  EXPECT_EQ(std::string(unterminated, 4), "abcd");
}

// The dynamic linker's own search: the loader's path is empty, so the bare
// file name is handed over, and the linker finds it along the library path
// it was started with. That needs a fresh process: this test starts the test
// binary again with LD_LIBRARY_PATH set, running only the child part below.
TEST_F(SliTest, BareNameIsLeftToTheDynamicLinker) {
  const std::string d = tmp_.mkdir("bare");
  tmp_.copy(kFixture, "bare/libslifix.so");
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    const std::string s = *e;
    if (s.rfind("LD_LIBRARY_PATH=", 0) == 0 || s.rfind("QSE", 0) == 0) continue;
    env_text.push_back(s);
  }
  env_text.push_back("LD_LIBRARY_PATH=" + d);
  env_text.push_back("AL1_BARE_CHILD_DIR=" + d);
  std::vector<char*> envp;
  for (auto& s : env_text) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  std::string filter = "--gtest_filter=SliBareChild.LoadsByBareName";
  char* argv[] = {exe.data(), filter.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SliBareChild, LoadsByBareName) {
  const char* dir = std::getenv("AL1_BARE_CHILD_DIR");
  if (!dir) GTEST_SKIP() << "runs only as the child of BareNameIsLeftToTheDynamicLinker";
  const std::string expect = std::string(dir) + "/libslifix.so";
  unsetenv("LD_LIBRARY_PATH");  // the linker keeps what it read at start-up
  char err[1024];
  void* h = sli_open("slifix", nullptr, err, sizeof err);
  ASSERT_NE(h, nullptr) << err;
  EXPECT_EQ(loaded_path(h), expect);
  EXPECT_EQ(std::getenv("LD_LIBRARY_PATH"), nullptr);  // an empty path is not put
  EXPECT_EQ(sli_close(h), 0);
}

}  // namespace

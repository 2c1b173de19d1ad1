// The Taxware session: every step of the open with its log lines and result,
// through real fixture libraries loaded by the process's loader and faults
// injected at the OS seam; the close over whatever an open resolved.
#include "avp_session.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>

#include <cerrno>
#include <string>
#include <vector>

#include "avp_test_util.h"
#include "fixtures/avp_fixture.h"

namespace {

using Lines = std::vector<std::string>;

Lines env_lines(std::size_t count) {
  Lines out;
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(std::string(avp_env_vars[i]) + " - </data/" + avp_env_vars[i] + ">\n");
  }
  return out;
}
Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Lines kLoaded = {"Loading AVPTAX.DLL.\n", "Loading AVPTAX.DLL succeeded.\n", "Loading AVPZIP.DLL.\n",
                       "Loading AVPZIP.DLL succeeded.\n", "Checking environment variables\n"};
const Lines kPrepared = {"Initialize Tax Structure.\n", "Initialize Jurisdiction Structure.\n"};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QSE_SHLIB", AVPFIX_DIR, 1);
    unsetenv("QSE");
    unsetenv("QSE_BIN");
    // The fixtures stay loaded for the whole run: reach their state directly
    // and reset it, then check that the loader finds these very libraries.
    tax_lib_ = dlopen(AVPFIX_DIR "/libavptax.so", RTLD_NOW);
    zip_lib_ = dlopen(AVPFIX_DIR "/libavpzip.so", RTLD_NOW);
    ASSERT_NE(tax_lib_, nullptr) << dlerror();
    ASSERT_NE(zip_lib_, nullptr) << dlerror();
    tax_ = static_cast<AvpFixTax*>(dlsym(tax_lib_, "avpfix_tax"));
    zip_ = static_cast<AvpFixZip*>(dlsym(zip_lib_, "avpfix_zip"));
    ASSERT_NE(tax_, nullptr);
    ASSERT_NE(zip_, nullptr);
    *tax_ = AvpFixTax{1, 1, 0, 0, 0, 0, -1};
    *zip_ = AvpFixZip{0, 0, 0, 0, 0, -1};
    ASSERT_EQ(open_avp(), 0) << "fixture engines not opened from " AVPFIX_DIR << ": " << scene.log();
    ASSERT_EQ(avp_session.AvpTaxhinst, tax_lib_);
    ASSERT_EQ(avp_session.AvpZiphinst, zip_lib_);
    *tax_ = AvpFixTax{1, 1, 0, 0, 0, 0, -1};
    *zip_ = AvpFixZip{0, 0, 0, 0, 0, -1};
    // Start from a session that never opened, with an empty log.
    std::fclose(avp_session.avp_log_file);
    avp_session = TaxwareSession{};
    if (FILE* f = std::fopen(scene.log_path().c_str(), "w")) std::fclose(f);
    avp_session.avp_log_file = std::fopen(scene.log_path().c_str(), "a+");
  }

  void TearDown() override {
    if (tax_lib_ != nullptr) dlclose(tax_lib_);
    if (zip_lib_ != nullptr) dlclose(zip_lib_);
  }

  avptest::Scene scene;
  void* tax_lib_ = nullptr;
  void* zip_lib_ = nullptr;
  AvpFixTax* tax_ = nullptr;
  AvpFixZip* zip_ = nullptr;
};

TEST_F(SessionTest, OpenRunsEveryStepAndReportsEachEngineOpen) {
  struct Case {
    int tax_open, zip_open, result;
    Lines tail;
    int io_err_calls, zip_open_calls;
  };
  const Case cases[] = {
      {1, 0, 0, {"TaxOpenStr succeeded\n", "Initialize Zip Structure.\n", "ZipOpenStr succeeded\n"}, 0, 1},
      {0, 0, 1, {"TaxOpenStr failed: Unknown\n"}, 1, 0},  // the ZIP engine is never opened
      {1, 5, 1, {"TaxOpenStr succeeded\n", "Initialize Zip Structure.\n", "ZipOpenStr failed: Unknown\n"}, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tax_open) + "/" + std::to_string(c.zip_open));
    *tax_ = AvpFixTax{1, 1, 0, 0, 0, 0, -1};
    *zip_ = AvpFixZip{0, 0, 0, 0, 0, -1};
    tax_->open_result = c.tax_open;
    zip_->open_result = c.zip_open;
    ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
    EXPECT_EQ(open_avp(), c.result);
    EXPECT_EQ(scene.messages(), kLoaded + env_lines(10) + kPrepared + c.tail);
    EXPECT_EQ(tax_->open_calls, 1);
    EXPECT_EQ(tax_->io_err_calls, c.io_err_calls);
    if (c.io_err_calls != 0) {
      EXPECT_EQ(tax_->io_err_arg, 0);
    }
    EXPECT_EQ(zip_->open_calls, c.zip_open_calls);
    if (c.zip_open_calls != 0) {
      EXPECT_EQ(zip_->open_arg, 3);
    }
    EXPECT_EQ(tax_->cmn_calls + zip_->lookup_calls, 0);
    EXPECT_EQ(avp_ready() != 0, c.result == 0);
  }
}

TEST_F(SessionTest, EachMissingVariableStopsTheOpenWithTwo) {
  for (std::size_t i = 0; i < 10; ++i) {
    for (bool empty : {false, true}) {
      SCOPED_TRACE(std::string(avp_env_vars[i]) + (empty ? " empty" : " unset"));
      avptest::Scene::set_engine_vars();
      if (empty) {
        setenv(avp_env_vars[i], "", 1);
      } else {
        unsetenv(avp_env_vars[i]);
      }
      ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
      EXPECT_EQ(open_avp(), 2);
      EXPECT_EQ(scene.messages(), kLoaded + env_lines(i) + Lines{std::string(avp_env_vars[i]) + " not set.\n"});
      EXPECT_EQ(tax_->open_calls + zip_->open_calls, 0);
      EXPECT_EQ(avp_ready(), 0);
    }
  }
}

TEST_F(SessionTest, EachMissingEntryPointStopsTheOpenWithOne) {
  const char* names[] = {"AVPTAXOPEN", "AVPTAXCLOSE", "AVPTAXCMN", "AVPTAX_IO_ERR", "ZIPOPEN", "ZIPCLOSE", "ZIP020"};
  for (int n = 1; n <= 7; ++n) {
    SCOPED_TRACE(names[n - 1]);
    avp_session = TaxwareSession{.avp_log_file = avp_session.avp_log_file};
    ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
    al_os_reset();
    al_os_fail_nth(AL_OS_DLSYM, n, ENOENT);
    EXPECT_EQ(open_avp(), 1);
    Lines expected = {"Loading AVPTAX.DLL.\n", "Loading AVPTAX.DLL succeeded.\n"};
    if (n > 4) expected = expected + Lines{"Loading AVPZIP.DLL.\n", "Loading AVPZIP.DLL succeeded.\n"};
    expected.push_back(std::string("Missing function '") + names[n - 1] + "' in DLL\n");
    EXPECT_EQ(scene.messages(), expected);
    EXPECT_EQ(tax_->open_calls + zip_->open_calls, 0);
    // Entries after the missing one were never resolved in this session.
    void* const resolved[] = {
        reinterpret_cast<void*>(avp_session.AvpTaxOpenAdd), reinterpret_cast<void*>(avp_session.AvpTaxCloseAdd),
        reinterpret_cast<void*>(avp_session.AvpTaxCmnAdd),  reinterpret_cast<void*>(avp_session.AvpTaxIOErrAdd),
        reinterpret_cast<void*>(avp_session.ZipOpenAdd),    reinterpret_cast<void*>(avp_session.ZipCloseAdd),
        reinterpret_cast<void*>(avp_session.ZIP020Add)};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(resolved[i] != nullptr, i < n - 1) << names[i];
    EXPECT_EQ(avp_session.AvpZiphinst != nullptr, n > 4);
    EXPECT_EQ(avp_ready(), 0);
  }
}

TEST_F(SessionTest, LibraryLoadFailuresCarryTheLoadersText) {
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    avp_session = TaxwareSession{.avp_log_file = avp_session.avp_log_file};
    ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
    al_os_reset();
    al_os_fail_nth(AL_OS_DLOPEN, n, ENOENT, 1);
    EXPECT_EQ(open_avp(), 1);
    const Lines got = scene.messages();
    ASSERT_FALSE(got.empty());
    const std::string dll = n == 1 ? "AVPTAX.DLL" : "AVPZIP.DLL";
    EXPECT_EQ(got.back().rfind("Loading " + dll + " failed: ", 0), 0u) << got.back();
    EXPECT_NE(got.back().find("injected fault"), std::string::npos) << got.back();
    EXPECT_EQ(got.size(), n == 1 ? 2u : 4u);
    EXPECT_EQ(tax_->open_calls, 0);
  }
}

TEST_F(SessionTest, UnopenableLogIsReportedOnStandardError) {
  al_os_fail_nth(AL_OS_FOPEN, 1, EACCES);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(open_avp(), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to open logfile '" + scene.log_path() + "'");
  EXPECT_EQ(avp_session.avp_log_file, nullptr);
  EXPECT_EQ(avp_session.AvpTaxhinst, nullptr);
  EXPECT_EQ(avp_ready(), 0);
}

int streams_on(const std::string& path) {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = readdir(d)) {
    char target[PATH_MAX] = {};
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target) ++count;
  }
  closedir(d);
  return count;
}

TEST_F(SessionTest, ASecondOpenReplacesTheLogStream) {
  EXPECT_EQ(open_avp(), 0);
  EXPECT_EQ(open_avp(), 0);
  EXPECT_EQ(open_avp(), 0);
  EXPECT_EQ(streams_on(scene.log_path()), 1);
  EXPECT_EQ(tax_->open_calls, 3);
}

TEST_F(SessionTest, AFailedReopenKeepsLaterMembersButIsNotReady) {
  ASSERT_EQ(open_avp(), 0);
  al_os_fail_nth(AL_OS_DLSYM, 3, ENOENT);  // AVPTAXCMN
  EXPECT_EQ(open_avp(), 1);
  EXPECT_EQ(avp_session.AvpTaxCmnAdd, nullptr);
  EXPECT_NE(avp_session.AvpTaxIOErrAdd, nullptr);
  EXPECT_NE(avp_session.ZIP020Add, nullptr);
  EXPECT_EQ(avp_ready(), 0);
}

TEST_F(SessionTest, CloseRunsBothStepsAndLogsEachOutcome) {
  struct Case {
    int zip_result, tax_result;
    const char* zip_line;
    const char* tax_line;
  };
  const Case cases[] = {
      {0, 1, "ZipClose/ZIP020 passed\n", "AvpTaxClose/TAX010 passed.\n"},
      {5, 1, "ZipClose/ZIP020 failed: Unknown\n", "AvpTaxClose/TAX010 passed.\n"},
      {0, 0, "ZipClose/ZIP020 passed\n", "AvpTaxClose/TAX010 failed: Unknown\n"},
      {-1, 0, "ZipClose/ZIP020 failed: Unknown\n", "AvpTaxClose/TAX010 failed: Unknown\n"},
  };
  ASSERT_EQ(open_avp(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zip_result);
    zip_->close_result = c.zip_result;
    tax_->close_result = c.tax_result;
    tax_->close_calls = zip_->close_calls = 0;
    ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
    close_avp();
    EXPECT_EQ(scene.messages(), (Lines{"Initialize Zip Structure.\n", c.zip_line} + kPrepared + Lines{c.tax_line}));
    EXPECT_EQ(tax_->close_calls, 1);
    EXPECT_EQ(zip_->close_calls, 1);
    EXPECT_EQ(avp_ready(), 0);
  }
}

TEST_F(SessionTest, CloseAfterAnOpenThatStoppedAtAMissingClose) {
  al_os_fail_nth(AL_OS_DLSYM, 2, ENOENT);  // AVPTAXCLOSE
  ASSERT_EQ(open_avp(), 1);
  ASSERT_EQ(ftruncate(fileno(avp_session.avp_log_file), 0), 0);
  close_avp();
  const Lines got = scene.messages();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[1], "ZipClose/ZIP020 passed\n");
  EXPECT_EQ(got[4], "AvpTaxClose/TAX010 failed: Unknown\n");
  EXPECT_EQ(tax_->close_calls + zip_->close_calls, 0);
}

TEST_F(SessionTest, DiagnosticModeShowsTheOpenOnStandardError) {
  diag_mode = 1;
  unsetenv("AVPIN");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(open_avp(), 2);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Loading AVPTAX.DLL.\nLoading AVPTAX.DLL succeeded.\nLoading AVPZIP.DLL.\n"
                 "Loading AVPZIP.DLL succeeded.\nChecking environment variables\n"
                 "AVPAUDIT - </data/AVPAUDIT>\nAVPIN not set.\n");
}

TEST_F(SessionTest, WithoutDebugTheLogIsCreatedButStaysEmpty) {
  unsetenv("AVPDEBUG");
  std::remove(scene.log_path().c_str());
  EXPECT_EQ(open_avp(), 0);
  EXPECT_EQ(access(scene.log_path().c_str(), F_OK), 0);
  EXPECT_EQ(scene.log(), "");
}

}  // namespace

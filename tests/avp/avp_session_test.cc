// The Taxware session in-process over the stand-in libraries (real dlopen):
// every failing OS call of an open, and the stand-in's handling of its data
// and control files.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "al_os.h"
#include "api_log.h"
#include "avp_addr.h"
#include "avp_reply.h"
#include "avp_tax.h"
#include "avp_parse.h"
#include "avp_session.h"
#include "gtest/gtest.h"
#include "test_util.h"

namespace {

using Texts = std::vector<std::string>;

Texts operator+(Texts a, const Texts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char* const kVars[] = {"AVPAUDIT", "AVPIN",   "AVPOUT",  "AVPTEMP", "ZIPIN",
                             "ZIPOUT",   "ZIPTEMP", "STEPIN",  "STEPOUT", "STEPTEMP"};
const Texts kTaxLoaded = {"Loading AVPTAX.DLL.", "Loading AVPTAX.DLL succeeded."};
const Texts kZipLoaded = {"Loading AVPZIP.DLL.", "Loading AVPZIP.DLL succeeded."};
const Texts kOpened = {"Initialize Tax Structure.", "Initialize Jurisdiction Structure.", "TaxOpenStr succeeded",
                       "Initialize Zip Structure.", "ZipOpenStr succeeded"};
const char* const kPassed = "passed";
const char* const kFailed = "failed: Unknown";
Texts closed(const char* zip, const char* tax) {
  return {"Initialize Zip Structure.", std::string("ZipClose/ZIP020 ") + zip, "Initialize Tax Structure.",
          "Initialize Jurisdiction Structure.",
          std::string("AvpTaxClose/TAX010 ") + (tax == kPassed ? "passed." : tax)};
}

// A log directory, logging on, the engine variables over the sample data
// and the libraries from the build; everything put back at the end.
class AvpSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    std::snprintf(api_settings.log_dir, sizeof api_settings.log_dir, "%s", dir_.path().c_str());
    std::snprintf(api_settings.username, sizeof api_settings.username, "%s", "tester");
    api_settings.diag_mode = 0;
    env_.set("AVPDEBUG", "");
    env_.set("QSE_SHLIB", SHLIB_DIR);
    env_.save("LD_LIBRARY_PATH");  // the loader sets it
    env_.unset("AVP_STANDIN_CONTROL");
    const std::string data = AVP_DATA_DIR;
    env_.set("AVPIN", data + "/rates.txt");
    env_.set("ZIPIN", data + "/zipmaster.txt");
    env_.set("STEPIN", data + "/exempt.txt");
    env_.set("AVPAUDIT", dir_.at("audit.log"));
    for (const char* v : {"AVPOUT", "AVPTEMP", "ZIPOUT", "ZIPTEMP", "STEPOUT", "STEPTEMP"}) env_.set(v, dir_.mkdir(v));
    reset();
  }
  void TearDown() override {
    close_avp();  // whatever a failed test left open
    reset();
  }

  // A session that never opened and an empty log.
  void reset() {
    if (avp_session.avp_log_file != nullptr) std::fclose(avp_session.avp_log_file);
    avp_session = TaxwareSession{};
    al_os_reset();
    std::remove(log_path().c_str());
  }
  std::string log_path() const { return dir_.at("avp.log"); }
  Texts messages() const { return test_util::log_messages(test_util::slurp(log_path())); }
  // "Checking environment variables" and the ten variables' lines.
  static Texts env_lines() {
    Texts out = {"Checking environment variables"};
    for (const char* v : kVars) out.push_back(std::string(v) + " - <" + getenv(v) + ">");
    return out;
  }

  test_util::TempDir dir_{"avp_session."};
  test_util::EnvGuard env_;
};

TEST_F(AvpSession, EveryFailingCallStopsTheOpenAndTheCloseCopes) {
  struct Row {
    al_os_call call;
    int nth;
    int result;
    Texts log;  // the open's lines; the close's follow
    const char* zip_close;
    const char* tax_close;
  };
  const std::string injected = "injected fault: No such file or directory";
  auto missing = [](const char* name) { return Texts{std::string("Missing function '") + name + "' in DLL"}; };
  const Row rows[] = {
      {AL_OS_FOPEN, 1, 1, {}, kPassed, kFailed},  // no log at all: the close writes to none
      {AL_OS_DLOPEN, 1, 1,
       {"Loading AVPTAX.DLL.",
        "Loading AVPTAX.DLL failed: Load of shared library '" SHLIB_DIR "/libavptax.so' failed. " + injected},
       kPassed, kFailed},
      {AL_OS_DLOPEN, 2, 1,
       kTaxLoaded + Texts{"Loading AVPZIP.DLL.",
                          "Loading AVPZIP.DLL failed: Load of shared library '" SHLIB_DIR "/libavpzip.so' failed. " +
                              injected},
       kPassed, kFailed},
      {AL_OS_DLSYM, 1, 1, kTaxLoaded + missing("AVPTAXOPEN"), kPassed, kFailed},
      {AL_OS_DLSYM, 2, 1, kTaxLoaded + missing("AVPTAXCLOSE"), kPassed, kFailed},
      {AL_OS_DLSYM, 3, 1, kTaxLoaded + missing("AVPTAXCMN"), kPassed, kFailed},
      {AL_OS_DLSYM, 4, 1, kTaxLoaded + missing("AVPTAX_IO_ERR"), kPassed, kFailed},
      {AL_OS_DLSYM, 5, 1, kTaxLoaded + kZipLoaded + missing("ZIPOPEN"), kPassed, kFailed},
      {AL_OS_DLSYM, 6, 1, kTaxLoaded + kZipLoaded + missing("ZIPCLOSE"), kPassed, kFailed},
      {AL_OS_DLSYM, 7, 1, kTaxLoaded + kZipLoaded + missing("ZIP020"), kFailed, kFailed},
      {AL_OS_DLSYM, 8, 0, kTaxLoaded + kZipLoaded + env_lines() + kOpened, kPassed, kPassed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.call) + " #" + std::to_string(row.nth));
    reset();
    al_os_fail_nth(row.call, row.nth, ENOENT);
    test_util::FdCapture err(2, dir_.at("stderr"));
    EXPECT_EQ(open_avp(), row.result);
    EXPECT_EQ(avp_ready() != 0, row.result == 0);
    close_avp();
    EXPECT_EQ(avp_ready(), 0);
    EXPECT_EQ(err.text(),
              row.call == AL_OS_FOPEN ? "Failed to open logfile '" + log_path() + "': No such file or directory\n" : "");
    EXPECT_EQ(messages(), row.call == AL_OS_FOPEN ? Texts{} : row.log + closed(row.zip_close, row.tax_close));
  }
  // The log keeps the engine closed only while it is on; without a log
  // directory there is no log, never one at "/".
  const struct {
    bool debug;
    bool has_log_dir;
    int result;
    const char* err;
  } logs[] = {{false, true, 0, ""},
              {false, false, 0, ""},
              {true, false, 1, "Failed to open logfile 'avp.log': no log directory\n"}};
  for (const auto& c : logs) {
    SCOPED_TRACE(std::to_string(c.debug) + std::to_string(c.has_log_dir));
    reset();
    if (!c.debug) env_.unset("AVPDEBUG");
    if (!c.has_log_dir) api_settings.log_dir[0] = '\0';
    al_os_fail_nth(AL_OS_FOPEN, 1, EACCES, 1);
    test_util::FdCapture err(2, dir_.at("stderr"));
    EXPECT_EQ(open_avp(), c.result);
    EXPECT_EQ(err.text(), c.err);
    EXPECT_EQ(al_os_calls(AL_OS_FOPEN), c.has_log_dir ? 1 : 0);
    env_.set("AVPDEBUG", "");
    std::snprintf(api_settings.log_dir, sizeof api_settings.log_dir, "%s", dir_.path().c_str());
  }
  // A second open replaces the log stream of the first rather than leak it.
  reset();
  ASSERT_EQ(open_avp(), 0);
  const int fd = fileno(avp_session.avp_log_file);
  ASSERT_EQ(open_avp(), 0);
  EXPECT_TRUE(fileno(avp_session.avp_log_file) == fd || fcntl(fd, F_GETFD) == -1);
}

// The stand-in's data files and control file as an open and a lookup meet them.
TEST_F(AvpSession, StandInDataAndControlFiles) {
  struct Row {
    const char* name;
    const char* var;      // variable naming the file (AVP_STANDIN_CONTROL: the control file), or nullptr
    const char* content;  // its text; "<missing>", "<dir>" or "<file>" (a regular file)
    int open;
    std::string err;  // standard error, or its start when not ending in a newline ("@": the file's path)
    int ret = 0, code = 0, count = 0;  // of a lookup of CA 90412 after a successful open
  };
  const Row rows[] = {
      {"sample data", nullptr, nullptr, 0, "", 29, 29, 2},
      {"blanks, comments and case", "ZIPIN", "# places\n\n  ca | 90412 | san  albero | 037 | lorena | 00 | i \n",
       0, "", 0, 0, 1},
      {"a rate of 1", "AVPIN", "1|CA|*|*|*|1|state\n", 1, "avptax: open failed: @: line 1: "},
      {"a malformed ZIP master line", "ZIPIN", "# places\nCA|9041|X|037|Y|00|I\n", 1,
       "avptax: open failed: @: line 2: "},
      {"an exemption without product", "STEPIN", "CA\n", 1, "avptax: open failed: @: line 1: "},
      {"no exemptions at all", "STEPIN", "# none\n", 0, "", 29, 29, 2},
      {"a missing file", "AVPIN", "<missing>", 1, "avptax: open failed: @: No such file or directory\n"},
      {"a directory for a file", "ZIPIN", "<dir>", 1, "avptax: open failed: @: not a regular file\n"},
      {"a file for a directory", "ZIPOUT", "<file>", 1, ""},  // the ZIP open fails, silently
      {"a journal in no directory", "AVPAUDIT", "<missing>/audit.log", 1,
       "avptax: open failed: AVPAUDIT @: cannot be opened for appending\n"},
      {"forced lookup code and result", "AVP_STANDIN_CONTROL", "ZipCmplCd = 41\nZIP020 = 12345\n", 0, "", 12345, 41, 2},
      {"candidates capped at 300", "AVP_STANDIN_CONTROL", "ZipCandidates = 100000\n", 0, "", 29, 29, 300},
      {"no candidates though places match", "AVP_STANDIN_CONTROL", "ZipCandidates = 0\n", 0, "", 16, 16, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    reset();
    test_util::EnvGuard env;
    std::string path = dir_.at("file");
    std::remove(path.c_str());
    if (row.var != nullptr) {
      const std::string content = row.content;
      if (content == "<dir>") {
        path = dir_.mkdir("dir");
      } else if (content.rfind("<missing>", 0) == 0) {
        path = dir_.at("missing") + content.substr(9);
      } else {
        test_util::write_file(path, content == "<file>" ? "x" : content);
      }
      env.set(row.var, path);
    }
    test_util::FdCapture err(2, dir_.at("stderr"));
    EXPECT_EQ(open_avp(), row.open);
    EXPECT_EQ(avp_ready() != 0, row.open == 0);
    std::string want_err = row.err;
    if (const std::size_t at = want_err.find('@'); at != std::string::npos) want_err.replace(at, 1, path);
    const std::string got_err = err.text();
    EXPECT_EQ(want_err.empty() || want_err.back() == '\n' ? got_err : got_err.substr(0, want_err.size()), want_err);
    const Texts log = messages();  // a refused open says which engine refused
    EXPECT_EQ(log.empty() ? "" : log.back(), row.open == 0     ? "ZipOpenStr succeeded"
                          : row.err.empty() ? "ZipOpenStr failed: Unknown"
                                            : "TaxOpenStr failed: Unknown");
    if (row.open == 0) {
      auto zip = std::make_unique<Zip_Str>();
      std::memcpy(zip->state, "CA", 2);
      std::memcpy(zip->zip, "90412", 5);
      EXPECT_EQ(determine_addr_avp(zip.get()), row.ret);
      EXPECT_EQ(zip->ZipCmplCd, row.code);
      int count = 0;
      while (count < AVP_ZIP_ENTRIES && std::memcmp(zip->entry[count].state, "  ", 2) != 0) ++count;
      EXPECT_EQ(count, row.count);
    }
    close_avp();
  }
}

}  // namespace

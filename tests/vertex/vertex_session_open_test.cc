// open_vertex_general and close_vertex against the real stand-in libraries
// "vst" and "loc", loaded with dlopen from the build's shlib directory.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "al_os.h"
#include "api_log.h"
#include "vertex_session.h"
#include "vertex_test_util.h"

namespace {

namespace fs = std::filesystem;

class VertexOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVertexVariables) env_.unset(name);
    for (const char* name : {"QSE", "QSE_BIN", "LD_LIBRARY_PATH"}) env_.unset(name);
    env_.set("QSE_SHLIB", SHLIB_DIR);
    env_.set("VERTEXDEBUG", "1");
    std::snprintf(log_dir, sizeof log_dir, "%s", dir_.path().c_str());
    std::snprintf(username, sizeof username, "%s", "tester");
    saved_diag_ = diag_mode;
    diag_mode = 0;
    vertex_session = VertexSession{};
  }
  void TearDown() override {
    close_vertex();
    al_os_reset();
    diag_mode = saved_diag_;
    log_dir[0] = '\0';
  }
  // Points every database at the sample data, the register into the temp dir.
  void use_sample_data() {
    env_.set("VERTEXSERVER", VTX_DATA_DIR);
    env_.set("VERTEXUSER", "tester");
    env_.set("VERTEXREG", dir_.path() + "/register.dat");
  }
  std::string log_path() const { return dir_.path() + "/vertex.log"; }
  std::vector<std::string> messages() const { return log_file_messages(log_path()); }
  bool logged(const std::string& text) const {
    const std::vector<std::string> m = messages();
    return std::find(m.begin(), m.end(), text) != m.end();
  }

  TempDir dir_;
  EnvGuard env_;
  int saved_diag_ = 0;
};

TEST_F(VertexOpenTest, SampleDataOpensEverythingAndCloseReleasesIt) {
  use_sample_data();
  ASSERT_EQ(open_vertex_general(), 0);
  EXPECT_EQ(vertex_ready(), 1);
  const std::vector<std::string> expected = {
      "Loading vst.DLL.",
      "Loading vst.DLL succeeded.",
      "Loading loc shared library.",
      "Loading location.DLL succeeded.",
      "Checking environment variables",
      std::string("VERTEXSERVER - <") + VTX_DATA_DIR + ">",
      "VERTEXTDM - <(not set)>",
      "VERTEXPWD - <(not set)>",
      "VERTEXUSER - <tester>",
      "VERTEXGEO - <(not set)>",
      "VERTEXRATE - <(not set)>",
      "VERTEXREG - <" + dir_.path() + "/register.dat>",
      "LocCreateConnHdl passed.",
      "LocOpenDb passed.",
      "VstCreateConnHdl passed.",
      "VstOpenDb(eVstDbTypeLocation) passed.",
      "VstOpenDb(eVstDbTypeRate) passed.",
      "VstOpenDb(eVstDbTypeTDM) passed.",
      "VstOpenDb(eVstDbTypeRegister) passed.",
      "VstCreateHdl passed.",
  };
  EXPECT_EQ(messages(), expected);

  close_vertex();
  EXPECT_EQ(vertex_ready(), 0);
  EXPECT_EQ(vertex_session.vertex_log_file, nullptr);
  EXPECT_EQ(vertex_session.VstCalcTaxAdd, nullptr);
  EXPECT_EQ(vertex_session.pVstHdl, nullptr);
  std::vector<std::string> all = messages();
  const std::vector<std::string> tail(all.end() - 8, all.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "LocCloseDb passed.",
                      "LocReleaseConnHdl passed.",
                      "VstReleaseHdl passed.",
                      "VstCloseDb(eVstDbTypeRate) passed.",
                      "VstCloseDb(eVstDbTypeLocation) passed.",
                      "VstCloseDb(eVstDbTypeTDM) passed.",
                      "VstCloseDb(eVstDbTypeRegister) passed.",
                      "VstReleaseConnHdl passed.",
                  }));
}

struct EnvCase {
  const char* name;
  std::map<std::string, std::string> vars;
  int result;
  const char* last;           // last message of a failed open
  bool reads_rate, reads_reg;
};

TEST_F(VertexOpenTest, RequiredVariables) {
  const EnvCase cases[] = {
      {"nothing", {}, 1, "VERTEXGEO or VERTEXUSER not set.", false, false},
      {"geo only", {{"VERTEXGEO", "g"}}, 1, "VERTEXRATE or VERTEXUSER not set.", true, false},
      {"empty geo counts", {{"VERTEXGEO", ""}, {"VERTEXRATE", "r"}}, 1,
       "VERTEXREG or VERTEXUSER not set.", true, true},
      {"user alone", {{"VERTEXUSER", "u"}}, 0, nullptr, true, true},
      {"three sources", {{"VERTEXGEO", "g"}, {"VERTEXRATE", "r"}, {"VERTEXREG", "x"}}, 0, nullptr,
       true, true},
  };
  for (const EnvCase& c : cases) {
    SCOPED_TRACE(c.name);
    close_vertex();
    std::filesystem::remove(log_path());
    for (const char* name : kVertexVariables) {
      if (std::string(name) != "VERTEXDEBUG") env_.unset(name);
    }
    for (const auto& [name, value] : c.vars) env_.set(name, value);
    EXPECT_EQ(open_vertex_general(), c.result);
    const std::vector<std::string> m = messages();
    auto has = [&m](const char* text) {
      return std::any_of(m.begin(), m.end(), [text](const std::string& s) { return s.find(text) == 0; });
    };
    EXPECT_EQ(has("VERTEXRATE - <"), c.reads_rate);
    EXPECT_EQ(has("VERTEXREG - <"), c.reads_reg);
    EXPECT_EQ(vertex_ready(), 0);
    if (c.last) {
      EXPECT_EQ(m.back(), c.last);
    } else {  // no data behind the sources: the engine opens fail, the open does not
      EXPECT_TRUE(std::any_of(m.begin(), m.end(), [](const std::string& s) {
        return s.find("failed, returned") != std::string::npos;
      }));
    }
  }
}

TEST_F(VertexOpenTest, EveryMissingEntryPointIsNamed) {
#define VTX_NAME(name) #name,
  const char* const order[] = {VTX_TAX_ENTRY_POINTS(VTX_NAME) VTX_LOC_ENTRY_POINTS(VTX_NAME)};
#undef VTX_NAME
  use_sample_data();
  ASSERT_EQ(std::size(order), 32u);
  for (std::size_t i = 0; i < std::size(order); ++i) {
    SCOPED_TRACE(order[i]);
    close_vertex();
    std::filesystem::remove(log_path());
    al_os_reset();
    al_os_fail_nth(AL_OS_DLSYM, static_cast<int>(i) + 1, ENOENT);
    EXPECT_EQ(open_vertex_general(), 1);
    EXPECT_EQ(vertex_ready(), 0);
    EXPECT_EQ(messages().back(), std::string("Missing function '") + order[i] + "' in DLL");
    EXPECT_FALSE(logged("Checking environment variables"));
  }
}

TEST_F(VertexOpenTest, CloseAfterAFailedOpenRunsOnlyResolvedStepsAndNoNullHandle) {
  use_sample_data();
  al_os_fail_nth(AL_OS_DLSYM, 28, ENOENT);  // LocGetName
  ASSERT_EQ(open_vertex_general(), 1);
  close_vertex();
  const std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), 13u);
  EXPECT_EQ(m[4], "Missing function 'LocGetName' in DLL");
  const std::vector<std::string> closing(m.begin() + 5, m.end());
  EXPECT_EQ(closing, (std::vector<std::string>{
                         "LocCloseDb skipped, no connection.",
                         "LocReleaseConnHdl skipped, no connection.",
                         "VstReleaseHdl skipped, no handle.",
                         "VstCloseDb(eVstDbTypeRate) skipped, no connection.",
                         "VstCloseDb(eVstDbTypeLocation) skipped, no connection.",
                         "VstCloseDb(eVstDbTypeTDM) skipped, no connection.",
                         "VstCloseDb(eVstDbTypeRegister) skipped, no connection.",
                         "VstReleaseConnHdl skipped, no connection.",
                     }));
}

TEST_F(VertexOpenTest, MissingTaxLibrary) {
  use_sample_data();
  al_os_fail_nth(AL_OS_DLOPEN, 1, ENOENT, 1);
  EXPECT_EQ(open_vertex_general(), 1);
  const std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], "Loading vst.DLL.");
  EXPECT_EQ(m[1].rfind("Loading vst.DLL failed: ", 0), 0u);
  EXPECT_GT(m[1].size(), std::strlen("Loading vst.DLL failed: "));
}

TEST_F(VertexOpenTest, MissingLocationLibrary) {
  use_sample_data();
  TempDir only_vst;
  fs::create_symlink(fs::path(SHLIB_DIR) / "libvst.so", fs::path(only_vst.path()) / "libvst.so");
  env_.set("QSE_SHLIB", only_vst.path());
  EXPECT_EQ(open_vertex_general(), 1);
  const std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[2], "Loading loc shared library.");
  EXPECT_EQ(m[3].rfind("Loading location.DLL failed: ", 0), 0u);
}

TEST_F(VertexOpenTest, VertexDebugSwitchesTheFileLog) {
  const struct {
    const char* value;  // null: unset
    bool on;
  } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"abc", false},
               {"2", true},      {" +3", true}, {"-1", true}};
  use_sample_data();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    close_vertex();
    std::filesystem::remove(log_path());
    if (c.value) {
      env_.set("VERTEXDEBUG", c.value);
    } else {
      env_.unset("VERTEXDEBUG");
    }
    EXPECT_EQ(open_vertex_general(), 0);
    ASSERT_TRUE(fs::exists(log_path()));  // created in every case
    EXPECT_EQ(fs::file_size(log_path()) > 0, c.on);
  }
}

TEST_F(VertexOpenTest, UnopenableLogFileLeavesTheSessionWorking) {
  use_sample_data();
  al_os_fail_nth(AL_OS_FOPEN, 1, EACCES);
  EXPECT_EQ(open_vertex_general(), 0);
  EXPECT_EQ(vertex_session.vertex_log_file, nullptr);
  EXPECT_EQ(vertex_ready(), 1);
  EXPECT_FALSE(fs::exists(log_path()));
  close_vertex();
}

TEST_F(VertexOpenTest, SecondOpenClosesTheFirst) {
  use_sample_data();
  ASSERT_EQ(open_vertex_general(), 0);
  ASSERT_EQ(open_vertex_general(), 0);
  EXPECT_EQ(vertex_ready(), 1);
  const std::vector<std::string> m = messages();
  const auto second = std::find(m.begin() + 1, m.end(), "Loading vst.DLL.");
  ASSERT_NE(second, m.end());
  EXPECT_EQ(*(second - 1), "VstReleaseConnHdl passed.");
}

}  // namespace

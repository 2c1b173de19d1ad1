// The Vertex session against the fake engine: the three engine opens, the
// reset, the failing and skipped steps of the close, and readiness.
#include "vertex_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_vertex_engine.h"
#include "vertex_test_util.h"

namespace {

class VertexSessionFakeTest : public ::testing::Test {
 protected:
  FakeVertexScope scope_;
};

TEST_F(VertexSessionFakeTest, LocationOpenPassesOrNamesTheStatus) {
  EXPECT_NE(open_vertex_geo(), nullptr);
  EXPECT_EQ(log_messages(), (std::vector<std::string>{"LocCreateConnHdl passed.", "LocOpenDb passed."}));

  const struct {
    int status;
    const char* line;
  } cases[] = {
      {1, "LocOpenDb() failed, returned eLocDbRetInvalidDataSource."},
      {106, "LocOpenDb() failed, returned eLocDbRetIndexReIndexFailed."},
      {109, "LocOpenDb() failed, returned eLocDbRetOpenUpdateFileFailed."},
      {112, "LocOpenDb() failed, returned eLocDbRetDatabaseError."},
      {55, "LocOpenDb() failed, returned unknown status 55."},
  };
  for (const auto& c : cases) {
    install_fake_vertex();
    fake.loc_open_status = c.status;
    EXPECT_EQ(open_vertex_geo(), nullptr);
    EXPECT_EQ(log_messages().back(), c.line);
    // The connection is not released.
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"LocCreateConnHdl", "LocOpenDb"}));
  }
}

TEST_F(VertexSessionFakeTest, NullLocationConnectionIsNeverHandedToTheEngine) {
  fake.loc_conn_null = 1;
  EXPECT_EQ(open_vertex_geo(), nullptr);
  EXPECT_EQ(fake.calls, std::vector<std::string>{"LocCreateConnHdl"});
  EXPECT_EQ(log_messages().front(), "LocCreateConnHdl failed, returned NULL.");
}

TEST_F(VertexSessionFakeTest, TaxOpenOpensTheFourDatabasesInOrder) {
  vertex_session.VertexGeo = "geo";
  vertex_session.VertexRate = "rate";
  vertex_session.VertexTDM = "tdm";
  vertex_session.VertexReg = "reg";
  EXPECT_NE(open_vertex_tax(), nullptr);
  EXPECT_EQ(fake.open_sources, (std::vector<std::string>{"geo", "rate", "tdm", "reg"}));
  EXPECT_EQ(fake.open_modes, (std::vector<int>{0, 0, 0, 2}));
  EXPECT_EQ(log_messages(), (std::vector<std::string>{
                                "VstCreateConnHdl passed.",
                                "VstOpenDb(eVstDbTypeLocation) passed.",
                                "VstOpenDb(eVstDbTypeRate) passed.",
                                "VstOpenDb(eVstDbTypeTDM) passed.",
                                "VstOpenDb(eVstDbTypeRegister) passed.",
                            }));
}

TEST_F(VertexSessionFakeTest, TaxOpenStopsAtTheFirstFailedDatabase) {
  const struct {
    int type, status;
    std::size_t opens;
    const char* line;
  } cases[] = {
      {eVstDbTypeRate, 4, 2, "VstOpenDb(eVstDbTypeRate) failed, returned eVstDbRetCdInvalidPassword."},
      {eVstDbTypeRate, 9, 2, "VstOpenDb(eVstDbTypeRate) failed, returned "},
      {eVstDbTypeLocation, 1, 1, "VstOpenDb(eVstDbTypeLocation) failed, returned eVstDbRetCdInvalidDb."},
      {eVstDbTypeTDM, 2, 3, "VstOpenDb(eVstDbTypeTDM) failed, returned eVstDbRetCdInvalidDataSourcei."},
      {eVstDbTypeRegister, 2, 4,
       "VstOpenDb(eVstDbTypeRegister) failed, returned eVstDbRetCdInvalidDataSource."},
      {eVstDbTypeRegister, 113, 4, "VstOpenDb(eVstDbTypeRegister) failed, returned eVstDbRetCdNumElems."},
      {eVstDbTypeTDM, 7, 3, "VstOpenDb(eVstDbTypeTDM) failed, returned eVstDbRetCdInvalidRegID."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    install_fake_vertex();
    fake.vst_open_status[c.type] = c.status;
    EXPECT_EQ(open_vertex_tax(), nullptr);
    EXPECT_EQ(fake.open_sources.size(), c.opens);
    EXPECT_EQ(log_messages().back(), c.line);
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "VstReleaseConnHdl"), 0);
  }
}

TEST_F(VertexSessionFakeTest, TaxConnectionAndHandleFailures) {
  fake.vst_conn_null = 1;
  EXPECT_EQ(open_vertex_tax(), nullptr);
  EXPECT_EQ(log_messages().back(), "VstCreateConnHdl failed, returned NULL.");
  EXPECT_TRUE(fake.open_sources.empty());

  fake.vst_hdl_null = 1;
  EXPECT_EQ(open_vertex_handle(), nullptr);
  EXPECT_EQ(log_messages().back(), "VstCreateHdl failed, returned NULL.");
  fake.vst_hdl_null = 0;
  EXPECT_NE(open_vertex_handle(), nullptr);
  EXPECT_EQ(log_messages().back(), "VstCreateHdl passed.");
}

TEST_F(VertexSessionFakeTest, ResetHandle) {
  EXPECT_EQ(reset_vertex_handle(), 0);
  EXPECT_EQ(log_messages().back(), "VstResetHdl passed.");
  fake.reset_ok = 0;
  EXPECT_EQ(reset_vertex_handle(), 36);
  EXPECT_EQ(log_messages().back(), "VstResetHdl failed, returned FALSE.");
  fake.reset_ok = 1;
  vertex_session.pVstHdl = nullptr;
  const std::size_t calls = fake.calls.size();
  EXPECT_EQ(reset_vertex_handle(), 36);
  EXPECT_EQ(fake.calls.size(), calls);  // no call with a null handle
}

// close_vertex closes the session log, so each test gets a file of its own.
class VertexCloseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vertex_session.vertex_log_file = std::fopen(path_.c_str(), "a+");
    ASSERT_NE(vertex_session.vertex_log_file, nullptr);
  }
  std::vector<std::string> messages() { return log_file_messages(path_); }
  FakeVertexScope scope_;
  TempDir dir_;
  std::string path_ = dir_.path() + "/close.log";
};

TEST_F(VertexCloseTest, FailuresAreLoggedAndEveryStepStillRuns) {
  fake.loc_close_status = 112;
  fake.loc_release_conn = 0;
  fake.vst_release_hdl = 5;
  fake.vst_close_status[eVstDbTypeLocation] = 6;
  fake.vst_close_status[eVstDbTypeRegister] = 42;
  fake.vst_release_conn = 0;
  close_vertex();
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "LocCloseDb failed, returned eLocDbRetDatabaseError.",
                            "LocReleaseConnHdl failed, returned FALSE.",
                            "VstReleaseHdl failed, returned FALSE.",
                            "VstCloseDb(eVstDbTypeRate) passed.",
                            "VstCloseDb(eVstDbTypeLocation) failed, returned eVstDbRetCdMem.",
                            "VstCloseDb(eVstDbTypeTDM) passed.",
                            "VstCloseDb(eVstDbTypeRegister) failed, returned ",
                            "VstReleaseConnHdl failed, returned FALSE.",
                        }));
}

TEST_F(VertexCloseTest, StepsWithoutHandleOrEntryPointAreSkipped) {
  vertex_session.pLocConn = nullptr;
  vertex_session.pVstConnHdl = nullptr;
  vertex_session.VstReleaseHdlAdd = nullptr;
  close_vertex();
  EXPECT_EQ(fake.calls, std::vector<std::string>{});
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "LocCloseDb skipped, no connection.",
                            "LocReleaseConnHdl skipped, no connection.",
                            "VstCloseDb(eVstDbTypeRate) skipped, no connection.",
                            "VstCloseDb(eVstDbTypeLocation) skipped, no connection.",
                            "VstCloseDb(eVstDbTypeTDM) skipped, no connection.",
                            "VstCloseDb(eVstDbTypeRegister) skipped, no connection.",
                            "VstReleaseConnHdl skipped, no connection.",
                        }));
}

TEST(VertexSessionReadyTest, NeedsAnOpenSessionWithEveryEntryPointAndHandle) {
  vertex_session = VertexSession{};
  EXPECT_EQ(vertex_ready(), 0);
  FakeVertexScope scope;
  EXPECT_EQ(vertex_ready(), 1);
  vertex_session.VstGetDatabaseConnHdlAdd = nullptr;  // never called, still required
  EXPECT_EQ(vertex_ready(), 0);
  install_fake_vertex();
  vertex_session.pLocConn = nullptr;
  EXPECT_EQ(vertex_ready(), 0);
  EXPECT_EQ(vertex_loc_ready(), 0);
  EXPECT_EQ(vertex_tax_ready(), 1);
  install_fake_vertex();
  vertex_session.opened = 0;
  EXPECT_EQ(vertex_ready(), 0);
}

}  // namespace

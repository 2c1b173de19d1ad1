// The Vertex session against the fake engine: the three engine opens, the
// reset, the failing and skipped steps of the close, and readiness.
#include "vertex_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fake_vertex_engine.h"
#include "vertex_test_util.h"

namespace {

class VertexSessionFakeTest : public ::testing::Test {
 protected:
  FakeVertexScope scope_;
};

TEST_F(VertexSessionFakeTest, OpensPassInOrder) {
  vertex_session.VertexGeo = "geo";
  vertex_session.VertexRate = "rate";
  vertex_session.VertexTDM = "tdm";
  vertex_session.VertexReg = "reg";
  EXPECT_NE(open_vertex_geo(), nullptr);
  EXPECT_NE(open_vertex_tax(), nullptr);
  EXPECT_NE(open_vertex_handle(), nullptr);
  EXPECT_EQ(fake.open_sources, (std::vector<std::string>{"geo", "rate", "tdm", "reg"}));
  EXPECT_EQ(fake.open_modes, (std::vector<int>{0, 0, 0, 2}));
  EXPECT_EQ(log_messages(), (std::vector<std::string>{
                                "LocCreateConnHdl passed.",
                                "LocOpenDb passed.",
                                "VstCreateConnHdl passed.",
                                "VstOpenDb(eVstDbTypeLocation) passed.",
                                "VstOpenDb(eVstDbTypeRate) passed.",
                                "VstOpenDb(eVstDbTypeTDM) passed.",
                                "VstOpenDb(eVstDbTypeRegister) passed.",
                                "VstCreateHdl passed.",
                            }));
}

// A failed open names the status, stops there, releases nothing and never
// hands a null connection on.
TEST_F(VertexSessionFakeTest, FailedOpensNameTheStatusAndStop) {
  using V = std::vector<std::string>;
  const V loc = {"LocCreateConnHdl", "LocOpenDb"};
  const auto vst = [](std::size_t opens) {
    V calls{"VstCreateConnHdl"};
    calls.insert(calls.end(), opens, "VstOpenDb");
    return calls;
  };
  const struct {
    std::function<void()> setup;
    void* (*open)();
    const char* line;
    V calls;
  } cases[] = {
      {[] { fake.loc_open_status = 1; }, open_vertex_geo,
       "LocOpenDb() failed, returned eLocDbRetInvalidDataSource.", loc},
      {[] { fake.loc_open_status = 106; }, open_vertex_geo,
       "LocOpenDb() failed, returned eLocDbRetIndexReIndexFailed.", loc},
      {[] { fake.loc_open_status = 109; }, open_vertex_geo,
       "LocOpenDb() failed, returned eLocDbRetOpenUpdateFileFailed.", loc},
      {[] { fake.loc_open_status = 112; }, open_vertex_geo,
       "LocOpenDb() failed, returned eLocDbRetDatabaseError.", loc},
      {[] { fake.loc_open_status = 55; }, open_vertex_geo,
       "LocOpenDb() failed, returned unknown status 55.", loc},
      {[] { fake.loc_conn_null = 1; }, open_vertex_geo, "LocCreateConnHdl failed, returned NULL.",
       {"LocCreateConnHdl"}},
      {[] { fake.vst_open_status[eVstDbTypeRate] = 4; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeRate) failed, returned eVstDbRetCdInvalidPassword.", vst(2)},
      {[] { fake.vst_open_status[eVstDbTypeRate] = 9; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeRate) failed, returned ", vst(2)},
      {[] { fake.vst_open_status[eVstDbTypeLocation] = 1; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeLocation) failed, returned eVstDbRetCdInvalidDb.", vst(1)},
      {[] { fake.vst_open_status[eVstDbTypeTDM] = 2; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeTDM) failed, returned eVstDbRetCdInvalidDataSourcei.", vst(3)},
      {[] { fake.vst_open_status[eVstDbTypeTDM] = 7; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeTDM) failed, returned eVstDbRetCdInvalidRegID.", vst(3)},
      {[] { fake.vst_open_status[eVstDbTypeRegister] = 2; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeRegister) failed, returned eVstDbRetCdInvalidDataSource.", vst(4)},
      {[] { fake.vst_open_status[eVstDbTypeRegister] = 113; }, open_vertex_tax,
       "VstOpenDb(eVstDbTypeRegister) failed, returned eVstDbRetCdNumElems.", vst(4)},
      {[] { fake.vst_conn_null = 1; }, open_vertex_tax, "VstCreateConnHdl failed, returned NULL.",
       vst(0)},
      {[] { fake.vst_hdl_null = 1; }, open_vertex_handle, "VstCreateHdl failed, returned NULL.",
       {"VstCreateHdl"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    install_fake_vertex();
    c.setup();
    EXPECT_EQ(c.open(), nullptr);
    EXPECT_TRUE(has_message(log_messages(), c.line));
    EXPECT_EQ(fake.calls, c.calls);
  }
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

// The adapter object: readiness, the error codes of tax and address results,
// and one request through its steps against the fake engine.
#include "vertex_adapter.h"

#include <gtest/gtest.h>

#include <string>

#include "api_msg.h"
#include "fake_vertex_engine.h"
#include "vertex_session.h"

namespace {

TEST(VertexAdapterTest, TaxResultsBecomeErrorCodes) {
  const struct {
    int result;
    int is_error;
    double code;
  } cases[] = {
      {0, 0, 0.0},       {1, 1, 1600.0001}, {10, 1, 1600.001}, {11, 1, 1600.0011},
      {100, 1, 1600.01}, {101, 1, 1600.0101}, {111, 1, 1600.0111}, {2, 1, 1502.0},
      {20, 1, 1520.0},   {36, 1, 1536.0},   {102, 1, 1602.0},   {-1, 1, 1499.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    double code = -7.0;
    EXPECT_EQ(vertex_adapter.tax_error_code(nullptr, c.result, &code) != 0, c.is_error != 0);
    if (c.is_error) {
      EXPECT_NEAR(code, c.code, 1e-9);
      char text[32];
      std::snprintf(text, sizeof text, "%f", code);
      char want[32];
      std::snprintf(want, sizeof want, "%f", c.code);
      EXPECT_STREQ(text, want);
    }
  }
}

TEST(VertexAdapterTest, AddressResultsBecomeErrorCodes) {
  double code = 0.0;
  EXPECT_EQ(vertex_adapter.addr_error_code(nullptr, 0, &code), 0);
  EXPECT_EQ(vertex_adapter.addr_error_code(nullptr, 1, &code), 1);
  EXPECT_EQ(code, 1401.0);
  EXPECT_EQ(vertex_adapter.addr_error_code(nullptr, 2, &code), 1);
  EXPECT_EQ(code, 1402.0);
}

TEST(VertexAdapterTest, ReadyOnlyWithAFullyOpenSession) {
  vertex_session = VertexSession{};
  EXPECT_EQ(vertex_adapter.ready(), 0);
  FakeVertexScope scope;
  EXPECT_NE(vertex_adapter.ready(), 0);
  vertex_session.pVstHdl = nullptr;
  EXPECT_EQ(vertex_adapter.ready(), 0);
}

TEST(VertexAdapterTest, EnhancedFlagSelectsParserAndDetermination) {
  FakeVertexScope scope;
  std::string text = "9~1~1~2~1~";
  for (int field = 6; field <= 55; ++field) {
    text += field == 52 ? "ENH" : field == 30 ? "INV" : "";
    text += "~";
  }
  for (int enhanced : {0, 1}) {
    install_fake_vertex();
    void* req = vertex_adapter.tax_new();
    ASSERT_NE(req, nullptr);
    vertex_adapter.tax_parse(req, text.c_str(), enhanced);
    EXPECT_EQ(vertex_adapter.tax_determine(req, enhanced), 0);
    EXPECT_EQ(fake.set_invoice, "INV");
    EXPECT_EQ(fake.set_enh_code, enhanced ? "ENH" : "<null>");
    vertex_adapter.tax_free(req);
  }
  vertex_adapter.tax_free(nullptr);
  vertex_adapter.addr_free(nullptr);
}

TEST(VertexAdapterTest, AddressStepsRunTheLookup) {
  FakeVertexScope scope;
  fake.locations = {{"Providence", "RI", "Providence", "440610000"}};
  void* rec = vertex_adapter.addr_new();
  ASSERT_NE(rec, nullptr);
  vertex_adapter.addr_parse(rec, "9~2~1~2~1~Providence~RI~02903~");
  EXPECT_EQ(vertex_adapter.addr_determine(rec), 0);
  EXPECT_EQ(fake.crit_city, "Providence");
  vertex_adapter.addr_free(rec);
}

TEST(VertexAdapterTest, StepsWithoutARecordFailSafely) {
  EXPECT_NE(vertex_adapter.tax_determine(nullptr, 0), 0);
  EXPECT_NE(vertex_adapter.tax_send(nullptr, 0, msgout_raw.mtext), 0);
  EXPECT_NE(vertex_adapter.addr_determine(nullptr), 0);
  EXPECT_NE(vertex_adapter.addr_send(nullptr, msgout_raw.mtext), 0);
}

}  // namespace

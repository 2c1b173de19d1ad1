// The adapter object: the error codes of tax and address results, and its
// steps without a record. Whole requests through it run end to end.
#include "vertex_adapter.h"

#include <gtest/gtest.h>

#include <string>

#include "api_msg.h"

namespace {

TEST(VertexAdapterTest, ResultsBecomeErrorCodes) {
  const struct {
    bool addr;
    int result;
    double code;  // 0: no error
  } cases[] = {
      {false, 0, 0.0},        {false, 1, 1600.0001},  {false, 10, 1600.001},  {false, 11, 1600.0011},
      {false, 100, 1600.01},  {false, 101, 1600.0101}, {false, 111, 1600.0111}, {false, 2, 1502.0},
      {false, 20, 1520.0},    {false, 36, 1536.0},    {false, 102, 1602.0},   {false, -1, 1499.0},
      {true, 0, 0.0},         {true, 1, 1401.0},      {true, 2, 1402.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.addr) + " " + std::to_string(c.result));
    double code = -7.0;
    const int is_error = c.addr ? vertex_adapter.addr_error_code(nullptr, c.result, &code)
                                : vertex_adapter.tax_error_code(nullptr, c.result, &code);
    EXPECT_EQ(is_error != 0, c.code != 0.0);
    if (c.code != 0.0) {
      EXPECT_NEAR(code, c.code, 1e-9);
    }
  }
}

TEST(VertexAdapterTest, StepsWithoutARecordFailSafely) {
  EXPECT_NE(vertex_adapter.tax_determine(nullptr, 0), 0);
  EXPECT_NE(vertex_adapter.tax_send(nullptr, 0, msgout_raw.mtext), 0);
  EXPECT_NE(vertex_adapter.addr_determine(nullptr), 0);
  EXPECT_NE(vertex_adapter.addr_send(nullptr, msgout_raw.mtext), 0);
  vertex_adapter.tax_free(nullptr);
  vertex_adapter.addr_free(nullptr);
}

}  // namespace

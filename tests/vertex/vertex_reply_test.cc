// The Vertex tax replies: their texts, their bound, and failed sends over a
// real queue (the sound path runs end to end).
#include "vertex_reply.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "al_os.h"
#include "api_msg.h"
#include "vertex_test_util.h"

namespace {

VertexTaxResult sample_result() {
  VertexTaxResult r{};
  r.state_a = 0.06; r.county_a = 0.01; r.city_a = 0.02; r.district_a = 0.005;
  r.addtl_county_a = 0.001; r.addtl_city_a = 0.002; r.addtl_district_a = 0.003;
  r.state_b = 6; r.county_b = 1; r.city_b = 2; r.district_b = 0.5;
  r.addtl_county_b = 0.1; r.addtl_city_b = 0.2; r.addtl_district_b = 0.3;
  r.line_a = 0.101; r.line_b = 10.1;
  r.taxing_juris = 'T';
  r.addtl_juris = 'F';
  return r;
}

TEST(VertexReplyTest, StandardResultCarriesTwelveValuesAndTwoCharacters) {
  const VertexTaxResult r = sample_result();
  char out[API_TEXT_SIZE];
  format_vertex_tax_result(&r, out, sizeof out);
  EXPECT_STREQ(out,
               "7~1~1~2~1~0.060000~0.010000~0.020000~0.001000~0.002000~6.000000~1.000000~"
               "2.000000~0.100000~0.200000~0.101000~10.100000~T~F~");
}

TEST(VertexReplyTest, ZeroCharactersAppendOnlyTheirDelimiters) {
  VertexTaxResult r{};
  char out[API_TEXT_SIZE];
  format_vertex_tax_result(&r, out, sizeof out);
  std::string expected = "7~1~1~2~1~";
  for (int i = 0; i < 12; ++i) expected += "0.000000~";
  expected += "~~";
  EXPECT_EQ(out, expected);
  r.taxing_juris = ' ';
  format_vertex_tax_result(&r, out, sizeof out);
  EXPECT_EQ(std::string(out).substr(expected.size() - 2), " ~~");
}

TEST(VertexReplyTest, EnhancedResultCarriesSixteenValues) {
  const VertexTaxResult r = sample_result();
  char out[API_TEXT_SIZE];
  format_vertex_tax_result_enh(&r, out, sizeof out);
  EXPECT_STREQ(out,
               "7~1~1~2~1~0.060000~0.010000~0.020000~0.005000~0.001000~0.002000~0.003000~"
               "6.000000~1.000000~2.000000~0.500000~0.100000~0.200000~0.300000~0.101000~"
               "10.100000~");
}

TEST(VertexReplyTest, HugeValuesNeverRunPastTheBuffer) {
  VertexTaxResult r{};
  r.state_a = r.county_a = r.line_b = std::numeric_limits<double>::max();
  r.taxing_juris = 'T';
  r.addtl_juris = 'A';
  char out[API_TEXT_SIZE + 8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(format_vertex_tax_result(&r, out, API_TEXT_SIZE), static_cast<int>(API_TEXT_SIZE - 1));
  EXPECT_EQ(out[API_TEXT_SIZE - 1], '\0');
  EXPECT_EQ(out[API_TEXT_SIZE], '#');
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(format_vertex_tax_result_enh(&r, out, API_TEXT_SIZE), static_cast<int>(API_TEXT_SIZE - 1));
  EXPECT_EQ(out[API_TEXT_SIZE], '#');
}

TEST(VertexReplyTest, FailedSendsReportOne) {
  OsFaultGuard faults;
  const VertexTaxResult r = sample_result();
  {
    OutputQueue q;
    ASSERT_TRUE(q.ok());
    al_os_fail_nth(AL_OS_MSGSND, 1, EIDRM);
    EXPECT_EQ(send_vertex_tax(&r, msgout_raw.mtext), 1);
    EXPECT_TRUE(q.drain().empty());  // nothing after a failed status
    al_os_reset();
    al_os_fail_nth(AL_OS_MSGSND, 2, EIDRM);
    EXPECT_EQ(send_vertex_tax_enh(&r, msgout_raw.mtext), 1);
    EXPECT_EQ(q.drain(), std::vector<std::string>{"6~1~1~2~1~0~"});
    al_os_reset();
  }
  EXPECT_EQ(send_vertex_tax(&r, msgout_raw.mtext), 1);  // no output queue
  EXPECT_EQ(send_vertex_tax(nullptr, msgout_raw.mtext), 1);
}

}  // namespace

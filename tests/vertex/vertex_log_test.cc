// The Vertex log writer: its six-line frame, the switch "VERTEXDEBUG" and
// the diagnostic echo on standard error.
#include "vertex_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include "api_log.h"
#include "vertex_session.h"
#include "vertex_test_util.h"

namespace {

class VertexLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vertex_session = VertexSession{};
    path_ = dir_.path() + "/vertex.log";
    log_ = std::fopen(path_.c_str(), "a+");
    ASSERT_NE(log_, nullptr);
    saved_diag_ = diag_mode;
    diag_mode = 0;
  }
  void TearDown() override {
    std::fclose(log_);
    vertex_session = VertexSession{};
    diag_mode = saved_diag_;
  }
  TempDir dir_;
  std::string path_;
  FILE* log_ = nullptr;
  int saved_diag_ = 0;
};

TEST_F(VertexLogTest, OneMessageIsOneSixLineFrame) {
  vertex_session.vertex_debug = 2;
  vertex_log_write(log_, "lib/tax/vertex", 123, "alice", "Loading %s.\n", "vst.DLL");
  const std::vector<std::string> lines = split_lines(read_file(path_));
  ASSERT_EQ(lines.size(), 6u);
  const std::string stamp = R"(\d\d-\d\d-\d\d\[\d\d:\d\d:\d\d\])";
  const std::string pid = std::to_string(getpid()), uid = std::to_string(getuid());
  const std::string patterns[6] = {
      stamp + "alice:",
      stamp + R"(alice: Vertex Log Start \*{29})",
      stamp + "alice: Pid " + pid + " Uid " + uid,
      stamp + R"(alice: Log mesg: Loading vst\.DLL\.)",
      stamp + "alice: File: lib/tax/vertex:123",
      stamp + R"(alice: Vertex Log End   \*{29})",
  };
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(std::regex_match(lines[static_cast<std::size_t>(i)], std::regex(patterns[i])))
        << lines[static_cast<std::size_t>(i)];
  }
  // Every line carries the same stamp.
  for (const std::string& line : lines) EXPECT_EQ(line.substr(0, 18), lines[0].substr(0, 18));
}

TEST_F(VertexLogTest, NothingReachesTheFileWhenSwitchedOffOrIncomplete) {
  vertex_session.vertex_debug = 0;
  vertex_log_write(log_, "src", 1, "u", "x\n");
  vertex_session.vertex_debug = 1;
  vertex_log_write(log_, nullptr, 1, "u", "x\n");
  vertex_log_write(log_, "src", 1, nullptr, "x\n");
  vertex_log_write(log_, "src", 1, "u", nullptr);
  vertex_log_write(nullptr, "src", 1, "u", "x\n");
  EXPECT_EQ(read_file(path_), "");
}

TEST_F(VertexLogTest, DiagnosticModeEchoesTheBareMessageToStandardError) {
  diag_mode = 2;
  vertex_session.vertex_debug = 0;
  testing::internal::CaptureStderr();
  vertex_log_write(log_, "src", 1, "u", "VERTEXUSER - <%s>\n", "me");
  vertex_log_write(nullptr, "src", 1, "u", "no newline");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "VERTEXUSER - <me>\nno newline");
  EXPECT_EQ(read_file(path_), "");

  diag_mode = 1;  // Taxware's diagnostic mode says nothing for Vertex
  testing::internal::CaptureStderr();
  vertex_log_write(log_, "src", 1, "u", "quiet\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A message without its newline, or far longer than any buffer, still
// makes one whole frame.
TEST_F(VertexLogTest, UnusualMessagesKeepTheFrameIntact) {
  vertex_session.vertex_debug = 1;
  for (const std::string& text : {std::string("Write register check failed"), std::string(5000, 'v')}) {
    std::fclose(log_);
    log_ = std::fopen(path_.c_str(), "w+");
    ASSERT_NE(log_, nullptr);
    vertex_log_write(log_, "lib/tax/vertex", 7, "bob", "%s", text.c_str());
    const std::vector<std::string> lines = split_lines(read_file(path_));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3].substr(lines[3].find("Log mesg: ")), "Log mesg: " + text);
    EXPECT_NE(lines[4].find("File: lib/tax/vertex:7"), std::string::npos);
  }
}

}  // namespace

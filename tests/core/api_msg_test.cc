// Message format: header decoding, field extraction, delimiter counting, and
// the error and acknowledgement replies as they arrive on a real queue.
#include "api_msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace coretest {
namespace {

struct DecodeCase {
  const char* text;
  MessageHeader want;
};

class DecodeMessage : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeMessage, ReadsFiveIntegersAndStopsAtTheFirstMismatch) {
  const DecodeCase& c = GetParam();
  const MessageHeader h = decode_message(c.text);
  EXPECT_EQ(h.type, c.want.type) << c.text;
  EXPECT_EQ(h.action, c.want.action) << c.text;
  EXPECT_EQ(h.ptype, c.want.ptype) << c.text;
  EXPECT_EQ(h.stype, c.want.stype) << c.text;
  EXPECT_EQ(h.count, c.want.count) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeMessage,
    ::testing::Values(DecodeCase {"8~1~1~2~1~", {8, 1, 1, 2, 1}},
                      DecodeCase {"9 1 1 1 1", {9, 1, 1, 1, 1}},
                      DecodeCase {"7", {7, 0, 0, 0, 0}},
                      DecodeCase {"9~~1~", {9, 0, 0, 0, 0}},
                      DecodeCase {"", {0, 0, 0, 0, 0}},
                      DecodeCase {"abc", {0, 0, 0, 0, 0}},
                      DecodeCase {"-1~+2~ 3~\t4~-5~", {-1, 2, 3, 4, -5}},
                      DecodeCase {"6,2;1:1|3~0~", {6, 2, 1, 1, 3}},
                      DecodeCase {"1~2~3~4~5~6~7~", {1, 2, 3, 4, 5}},
                      DecodeCase {"1~2~3~4", {1, 2, 3, 4, 0}},
                      DecodeCase {"12~x~1~1~1~", {12, 0, 0, 0, 0}},
                      DecodeCase {"2147483647~-2147483648~1~1~1~", {INT_MAX, INT_MIN, 1, 1, 1}},
                      // A number beyond int stops the reading there, it does not wrap.
                      DecodeCase {"2147483648~1~1~1~1~", {0, 0, 0, 0, 0}},
                      DecodeCase {"8~-2147483649~1~1~1~", {8, 0, 0, 0, 0}},
                      DecodeCase {"8~1~99999999999999999999~1~1~", {8, 1, 0, 0, 0}},
                      DecodeCase {"8~1~1~2~0012~", {8, 1, 1, 2, 12}}));

TEST(DecodeMessageNull, GivesZeros) {
  const MessageHeader h = decode_message(nullptr);
  EXPECT_EQ(h.type, 0);
  EXPECT_EQ(h.count, 0);
}

struct FieldCase {
  int n;
  const char* text;
  int result;
  const char* out;  // what stands in the cleared buffer afterwards
};

class GetFieldOfMsg : public ::testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldOfMsg, CopiesTheFieldWithoutATerminator) {
  const FieldCase& c = GetParam();
  char out[16];
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(get_field_of_msg(c.n, c.text, out), c.result) << "field " << c.n << " of '" << c.text << "'";
  EXPECT_STREQ(out, c.out) << "field " << c.n << " of '" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(Table, GetFieldOfMsg,
                         ::testing::Values(FieldCase {1, "a~b~c~", 1, "a"}, FieldCase {3, "a~b~c~", 1, "c"},
                                           FieldCase {4, "a~b~c~", -1, ""}, FieldCase {2, "a~~c~", 0, ""},
                                           FieldCase {1, "", -1, ""}, FieldCase {2, "", -1, ""},
                                           FieldCase {5, "", -1, ""}, FieldCase {0, "~x~", 0, ""},
                                           FieldCase {-7, "~x~", 0, ""}, FieldCase {1, "~x~", 0, ""},
                                           FieldCase {2, "~x~", 1, "x"}, FieldCase {1, "abc", 3, "abc"},
                                           FieldCase {2, "abc", -1, ""}, FieldCase {6, "8~1~1~2~1~hello~", 5, "hello"},
                                           FieldCase {2, "a~bcd", 3, "bcd"}, FieldCase {3, "a~~", -1, ""},
                                           FieldCase {INT_MAX, "a~b~", -1, ""}));

TEST(GetFieldOfMsgBounds, AFieldLongerThanTheBufferIsCutAndNothingIsOverrun) {
  const std::string text = "1~" + std::string(100, 'x') + "~z~";
  char out[24];
  std::memset(out, '#', sizeof out);
  std::memset(out, 0, 8);
  // Only the first 8 bytes are the buffer; the rest must stay untouched.
  EXPECT_EQ(get_field_of_msg(2, text.c_str(), out, 8), 7);
  EXPECT_EQ(std::string(out, 7), "xxxxxxx");
  EXPECT_EQ(out[7], '\0');
  for (std::size_t i = 8; i < sizeof out; ++i) EXPECT_EQ(out[i], '#') << "byte " << i;
  char field3[4] = {};
  EXPECT_EQ(get_field_of_msg(3, text.c_str(), field3), 1) << "the field after the long one is still found";
  EXPECT_STREQ(field3, "z");
}

TEST(GetFieldOfMsgBounds, NoRoomOrNullArgumentsCopyNothingAndGiveZero) {
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(get_field_of_msg(1, "abc~", out, 1), 0);
  EXPECT_EQ(get_field_of_msg(1, "abc~", out, 0), 0);
  EXPECT_EQ(get_field_of_msg(1, nullptr, out, sizeof out), 0);
  EXPECT_EQ(std::string(out, 4), "####");
  EXPECT_EQ(get_field_of_msg(1, "a~", nullptr, 4), 0);
}

// Random texts against the C library's scanf reading of the header (numbers
// kept inside int, where scanf is defined).
std::string random_text(std::mt19937& rng) {
  static const char* const pieces[] = {"~", "~", "~", "1", "42", "-7", "+3", "123456789", " ", "\t", "a", "x~y",
                                       "-", "+", "0", "08", "~~", "9"};
  std::string text;
  const int n = static_cast<int>(rng() % 14);
  for (int i = 0; i < n; ++i) text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
  return text;
}

std::size_t longest_digit_run(const std::string& text) {
  std::size_t longest = 0, run = 0;
  for (char ch : text) {
    run = std::isdigit(static_cast<unsigned char>(ch)) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

TEST(DecodeMessageOracle, AgreesWithScanf) {
  std::mt19937 rng(1206);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = random_text(rng);
    if (longest_digit_run(text) > 9) continue;  // beyond int: scanf gives no reading
    int f[5] = {0, 0, 0, 0, 0};
    char c[4];
    std::sscanf(text.c_str(), "%d%c%d%c%d%c%d%c%d", &f[0], &c[0], &f[1], &c[1], &f[2], &c[2], &f[3], &c[3], &f[4]);
    const MessageHeader h = decode_message(text.c_str());
    ASSERT_EQ((std::vector<int> {h.type, h.action, h.ptype, h.stype, h.count}),
              (std::vector<int> {f[0], f[1], f[2], f[3], f[4]}))
        << "'" << text << "'";
  }
}

TEST(CountDelimiters, CountsEveryTilde) {
  EXPECT_EQ(count_delimiters(nullptr), 0);
  EXPECT_EQ(count_delimiters(""), 0);
  EXPECT_EQ(count_delimiters("abc"), 0);
  EXPECT_EQ(count_delimiters("~"), 1);
  EXPECT_EQ(count_delimiters("8~1~1~2~1~"), 5);
  EXPECT_EQ(count_delimiters(std::string(49, '~').c_str()), 49);
  EXPECT_EQ(count_delimiters("a~~b~~"), 4);
}

// The replies, read back from a real output queue.
class Replies : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    ASSERT_NO_FATAL_FAILURE(open_queues());
  }
};

struct ErrorCase {
  int ptype;
  int stype;
  double code;
  const char* text;
};

TEST_F(Replies, ErrorRepliesAreExact) {
  const ErrorCase cases[] = {
      {1, 1, 15, "5~0~1~1~0~15.000000~"},
      {1, 2, 15, "5~0~1~2~0~15.000000~"},
      {0, 0, 14, "5~0~0~0~0~14.000000~"},
      {2, 1, 0, "5~0~2~1~0~0.000000~"},
      {1, 1, 1399.1111, "5~0~1~1~0~1399.111100~"},
      {1, 2, 1600 + 101 * 0.0001, "5~0~1~2~0~1600.010100~"},
      {1, 2, 1602, "5~0~1~2~0~1602.000000~"},
      {-1, INT_MAX, 8, "5~0~-1~2147483647~0~8.000000~"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(send_error(c.ptype, c.stype, c.code), 0);
    long type = 0;
    const std::optional<std::string> got = take(msq_out, &type);
    ASSERT_TRUE(got.has_value()) << c.text;
    EXPECT_EQ(*got, c.text);
    EXPECT_EQ(type, 1);
  }
}

TEST_F(Replies, TheLargestCodeFitsTheBuffer) {
  EXPECT_EQ(send_error(1, 1, 1.7976931348623157e308), 0);
  const std::optional<std::string> got = take(msq_out);
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(got->starts_with("5~0~1~1~0~179769313486231570")) << *got;
  EXPECT_TRUE(got->ends_with(".000000~")) << *got;
  EXPECT_EQ(got->size(), 10u + 309u + 8u);
}

TEST_F(Replies, AckIsExactAndClearsWhatALongerReplyLeftBehind) {
  std::memset(msgout_raw.mtext, 'z', API_TEXT_SIZE);
  EXPECT_EQ(send_ack(1, 1), 0);
  for (std::size_t i = 12; i < API_TEXT_SIZE; ++i) ASSERT_EQ(msgout_raw.mtext[i], '\0') << "byte " << i;
  EXPECT_EQ(send_ack(1, 2), 0);
  EXPECT_EQ(send_ack(2, 7), 0);
  EXPECT_EQ(replies(), (std::vector<std::string> {"10~0~1~1~0~~", "10~0~1~2~0~~", "10~0~2~7~0~~"}));
}

TEST_F(Replies, ApiSendRequestSendsTheTextWithItsNulAndTheGivenType) {
  std::snprintf(msgout_raw.mtext, API_TEXT_SIZE, "%s", "7~1~1~2~1~x~");
  ASSERT_EQ(api_send_request(3), 0);
  const int qid = msgget(msq_out, 0);
  RawMessage m {};
  const ssize_t n = msgrcv(qid, &m, sizeof m.mtext, 0, IPC_NOWAIT);
  ASSERT_EQ(n, 13);  // 12 characters and the NUL
  EXPECT_EQ(m.mtype, 3);
  EXPECT_STREQ(m.mtext, "7~1~1~2~1~x~");
  EXPECT_EQ(msgout_raw.mtype, 3);
  // An unterminated output buffer is cut to its size.
  std::memset(msgout_raw.mtext, 'q', API_TEXT_SIZE);
  ASSERT_EQ(api_send_request(1), 0);
  const std::optional<std::string> got = take(msq_out);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->size(), API_TEXT_SIZE - 1);
}

TEST_F(Replies, AFailedSendIsReportedAsOne) {
  al_os_fail_nth(AL_OS_MSGSND, 1, EIDRM);
  EXPECT_EQ(send_error(1, 1, 15), 1);
  EXPECT_EQ(send_error(1, 1, 15), 0) << "the next send goes out again";
  EXPECT_EQ(replies(), (std::vector<std::string> {"5~0~1~1~0~15.000000~"}));
  ASSERT_EQ(msgctl(msgget(msq_out, 0), IPC_RMID, nullptr), 0);
  EXPECT_EQ(send_error(1, 1, 15), 1);
  EXPECT_EQ(send_ack(1, 1), 1);
  msq_out = -1;
  EXPECT_EQ(send_ack(1, 1), 1) << "no output queue at all";
}

TEST_F(Replies, LevelTwoLogsEverySentTextBeforeItGoesLevelOneNone) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  ASSERT_EQ(send_ack(1, 2), 0);
  EXPECT_EQ(msg_log_text(), "");
  api_log = 2;
  ASSERT_EQ(send_ack(1, 2), 0);
  ASSERT_EQ(send_error(1, 2, 15), 0);
  const std::vector<std::string> lines = lines_of(msg_log_text());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].ends_with(" S 10~0~1~2~0~~")) << lines[0];
  EXPECT_TRUE(lines[1].ends_with(" S 5~0~1~2~0~15.000000~")) << lines[1];
}

}  // namespace
}  // namespace coretest

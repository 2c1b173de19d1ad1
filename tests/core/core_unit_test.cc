// The process core's pieces with their own logic: the message header and
// fields, decimal numbers from the command line and the environment, log
// time stamps, and what only an in-process call reaches.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

#include "api_adapter.h"
#include "api_dispatch.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_number.h"
#include "al_mslot.h"
#include "api_signal.h"
#include "api_tarn.h"
#include "output_queue.h"
#include "test_util.h"

namespace {

TEST(Message, DecodeTable) {
  const struct {
    const char* text;
    MessageHeader want;
  } cases[] = {
      {"8~1~1~2~1~", {8, 1, 1, 2, 1}},
      {"9 1,1;1|1~0~", {9, 1, 1, 1, 1}},  // any one character separates
      {"-1~+2~ 3~\t4~-5~6~", {-1, 2, 3, 4, -5}},
      {"7", {7, 0, 0, 0, 0}},
      {"1~2~3~4", {1, 2, 3, 4, 0}},
      {"9~~1~", {9, 0, 0, 0, 0}},
      {"12~x~1~1~1~", {12, 0, 0, 0, 0}},
      {"abc", {0, 0, 0, 0, 0}},
      {"", {0, 0, 0, 0, 0}},
      {nullptr, {0, 0, 0, 0, 0}},
      {"2147483647~-2147483648~1~1~0012~", {INT_MAX, INT_MIN, 1, 1, 12}},
      {"2147483648~1~1~1~1~", {0, 0, 0, 0, 0}},  // beyond int: the reading stops, nothing wraps
      {"8~-2147483649~1~1~1~", {8, 0, 0, 0, 0}},
      {"8~1~99999999999999999999~1~1~", {8, 1, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const MessageHeader h = decode_message(c.text);
    EXPECT_EQ((std::vector<int>{h.type, h.action, h.ptype, h.stype, h.count}),
              (std::vector<int>{c.want.type, c.want.action, c.want.ptype, c.want.stype, c.want.count}))
        << (c.text != nullptr ? c.text : "(null)");
  }
}

TEST(Message, FieldTable) {
  const struct {
    int n;
    const char* text;
    std::size_t size;
    int result;
    const char* out;  // the cleared buffer afterwards
  } cases[] = {
      {1, "a~b~c~", 8, 1, "a"},     {3, "a~b~c~", 8, 1, "c"},  {4, "a~b~c~", 8, -1, ""},
      {2, "a~~c~", 8, 0, ""},       {1, "", 8, -1, ""},        {3, "", 8, -1, ""},
      {0, "x~y~", 8, 1, "x"},       {-7, "~x~", 8, 0, ""},     {2, "a~bcd", 8, 3, "bcd"},
      {3, "a~~", 8, -1, ""},        {INT_MAX, "a~b~", 8, -1, ""},
      {2, "1~xxxxxxxxxxxx~z~", 8, 7, "xxxxxxx"},  // cut to the buffer
      {1, "abc~", 1, 0, ""},        {1, nullptr, 8, 0, ""},
  };
  for (const auto& c : cases) {
    char out[16];
    std::memset(out, 0, sizeof out);
    std::memset(out + c.size, '#', sizeof out - c.size);
    EXPECT_EQ(get_field_of_msg(c.n, c.text, out, c.size), c.result) << c.n << " " << (c.text ? c.text : "(null)");
    EXPECT_EQ(std::string(out, strnlen(out, c.size)), c.out) << c.n << " " << (c.text ? c.text : "(null)");
    EXPECT_EQ(std::string(out + c.size, sizeof out - c.size), std::string(sizeof out - c.size, '#'));
  }
  EXPECT_EQ(get_field_of_msg(1, "a~", nullptr, 4), 0);
  EXPECT_EQ(count_delimiters("a~~b~~"), 4);
  EXPECT_EQ(count_delimiters(""), 0);
  EXPECT_EQ(count_delimiters(nullptr), 0);
}

TEST(Numbers, DecimalsAndTheReceiveTimeOut) {
  const struct {
    const char* text;  // null: unset
    int decimal;
    int timeout;
  } cases[] = {
      {nullptr, 0, 30000},    {"", 0, 30000},          {"abc", 0, 30000},       {" +20x", 20, 20},
      {"9", 9, 30000},        {"10", 10, 10},          {"100000", 100000, 100000}, {"100001", 100001, 30000},
      {"-10", -10, 30000},    {"99999999999", INT_MAX, 30000}, {"-99999999999", INT_MIN, 30000},
  };
  test_util::EnvGuard env{"TARN_API_TIMEOUT"};
  for (const auto& c : cases) {
    EXPECT_EQ(api_decimal(c.text), c.decimal) << (c.text ? c.text : "(null)");
    c.text ? env.set("TARN_API_TIMEOUT", c.text) : env.unset("TARN_API_TIMEOUT");
    EXPECT_EQ(api_receive_timeout(), c.timeout) << (c.text ? c.text : "(null)");
  }
}

// The input queue's mode: the owner's read and write bits always, execute
// bits never, and anything that is not an octal mode up to 0777 (a digit
// above 7 too) refused with one line on standard error.
TEST(Numbers, QueueMode) {
  test_util::EnvGuard env{"TAXAPI_QUEUE_MODE"};
  test_util::TempDir dir("core_queue_mode_");
  for (const auto& [text, mode, refused] : std::initializer_list<std::tuple<const char*, int, bool>>{
           {nullptr, 0600, false}, {"", 0600, false}, {"0660", 0660, false}, {"644", 0644, false}, {"0", 0600, false},
           {"777", 0666, false}, {"1000", 0600, true}, {"0o660", 0600, true}, {"-660", 0600, true},
           {"06600", 0600, true}, {"0668", 0600, true}, {"00000660", 0660, false}}) {
    text ? env.set("TAXAPI_QUEUE_MODE", text) : env.unset("TAXAPI_QUEUE_MODE");
    test_util::FdCapture err(2, dir.at("stderr"));
    EXPECT_EQ(api_queue_mode(), mode) << (text ? text : "(unset)");
    EXPECT_EQ(err.text(), refused ? "taxapi: TAXAPI_QUEUE_MODE=" + std::string(text) +
                                        " is not an octal mode from 0 to 0777; using 0600\n"
                                  : "") << (text ? text : "(unset)");
  }
}

TEST(Log, TimeStampInTheLocalZone) {
  test_util::EnvGuard env{"TZ"};
  env.set("TZ", "EST5");
  tzset();
  char out[32];
  EXPECT_EQ(api_time_stamp(out, sizeof out, 1234567890), 18);
  EXPECT_STREQ(out, "09-02-13[18:31:30]");
  env.restore();
  tzset();
}

// Paths no run of the process reaches: an action or an engine opening before
// the tax set-up (the start-up ends the process first), an engine not built in.
TEST(Dispatch, NotSetUpForTaxAndEnginesNotBuiltIn) {
  test_util::OutputQueue out;
  ASSERT_TRUE(out.ok());
  api_setup.api_tax = 0;
  api_queues.msgin = decode_message("8~1~1~1~1~");
  EXPECT_EQ(process_action_message(), 0);
  EXPECT_EQ(out.receive().value_or("(none)"), "5~0~1~1~0~5.000000~");
  EXPECT_EQ(init_apis(2), 0) << "another provider: nothing to open";
  EXPECT_EQ(init_apis(1), 3);
  EXPECT_EQ(out.receive().value_or("(none)"), "5~0~1~1~0~0.000000~");
  EXPECT_EQ(api_get_adapter(3), nullptr);
  api_set_adapter(2, nullptr);
  EXPECT_EQ(api_get_adapter(2)->open(), 1);
  EXPECT_EQ(api_get_adapter(2)->ready(), 0);
}

// Closing forgets the queues' ids, as a signal's removal does, so nothing is
// ever sent to, or removed under, an id a new queue may take.
TEST(Queues, ClosedQueuesAreForgotten) {
  test_util::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string in = dir.touch("inq"), out = dir.touch("outq");
  ASSERT_NE(MSltOpen(1, out.c_str(), 1, 0), -1);
  for (void (*close)(void) : {api_close_queues, api_remove_queues_now}) {
    ASSERT_EQ(setup_passed_queues(in.c_str(), out.c_str()), 0);
    const int in_id = msq_in_id, out_id = msq_out_id;
    close();
    EXPECT_EQ(msq_in_id, -1);
    EXPECT_EQ(msq_out_id, -1);
    for (const int id : {in_id, out_id}) EXPECT_EQ(MSltPending(id, 1), -1) << "removed";
    EXPECT_EQ(api_send_request(API_REPLY_MTYPE), 1);
    ASSERT_NE(MSltOpen(1, out.c_str(), 1, 0), -1);  // the ERP's output queue again, for the next round
  }
  MSltClose(MSltOpen(1, out.c_str(), 0, 0), 0);
}

}  // namespace

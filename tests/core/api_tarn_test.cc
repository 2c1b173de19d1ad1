// The queue session: time-out configuration, opening the ERP's queues, the
// next message with its cut to the input buffer, the watch on the parent and
// the queues, and the deferred work of a caught signal.
#include "api_tarn.h"

#include <gtest/gtest.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "core_fixture.h"

namespace coretest {
namespace {

class Tarn : public CoreFixture {};

TEST_F(Tarn, ReceiveTimeoutTable) {
  const struct {
    const char* env;  // null: unset
    int timeout;
  } cases[] = {
      {nullptr, 30000}, {"", 30000},       {"5", 30000},   {"9", 30000},     {"10", 10},
      {"100000", 100000}, {"100001", 30000}, {"abc", 30000}, {"50ms", 50},     {" 20", 20},
      {"-10", 30000},   {"99999999999999999999", 30000},   {"0", 30000},     {"30000", 30000},
  };
  for (const auto& c : cases) {
    if (c.env != nullptr) {
      setenv("TARN_API_TIMEOUT", c.env, 1);
    } else {
      unsetenv("TARN_API_TIMEOUT");
    }
    EXPECT_EQ(api_receive_timeout(), c.timeout) << (c.env != nullptr ? c.env : "(unset)");
  }
}

TEST_F(Tarn, SetupRecreatesTheInputQueueSoAPendingMessageIsLost) {
  QueueGuard extra;
  const int in_key = queues_.create(inq_);
  ASSERT_NE(in_key, -1);
  ASSERT_TRUE(put(in_key, "8~1~1~2~1~"));
  ASSERT_NO_FATAL_FAILURE(open_queues());
  EXPECT_EQ(msq_in, in_key);
  EXPECT_EQ(msq_out, key_of(outq_));
  EXPECT_EQ(pending(msq_in), 0);
}

TEST_F(Tarn, SetupOpensWhatItCanAndReportsTheRest) {
  queues_.watch(inq_);
  queues_.watch(outq_);
  {
    FdCapture err(2, dir_.at("stderr"));
    EXPECT_EQ(setup_passed_queues(inq_.c_str(), outq_.c_str()), -1);
    EXPECT_EQ(err.text(), "MSltOpen() failed, errno: 2\n");
  }
  EXPECT_NE(msq_in, -1);
  EXPECT_EQ(msq_out, -1);
  EXPECT_NE(qid_of(inq_), -1);
  EXPECT_EQ(qid_of(outq_), -1) << "the output queue is never created here";
  ASSERT_NE(queues_.create(outq_), -1);
  FdCapture err(2, dir_.at("stderr2"));
  EXPECT_EQ(setup_passed_queues(dir_.at("missing").c_str(), outq_.c_str()), -1);
  EXPECT_EQ(err.text(), "MSltOpen() failed, errno: 2\n");
  EXPECT_EQ(msq_in, -1);
  EXPECT_EQ(msq_out, key_of(outq_));
}

TEST_F(Tarn, SetupWritesTheSetUpEntryToTheMessageLog) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  ASSERT_NO_FATAL_FAILURE(open_queues());
  const std::string want = " I \npid: " + std::to_string(getpid()) + "\nppid: " + std::to_string(getppid()) +
                           "\nin: " + inq_ + "\nout: " + outq_ + "\n";
  const std::string text = msg_log_text();
  ASSERT_GE(text.size(), 18u);
  EXPECT_EQ(text.substr(18), want);
}

TEST_F(Tarn, InitializeQueueReportsAFailureOnStandardError) {
  FdCapture err(2, dir_.at("stderr"));
  al_os_fail_nth(AL_OS_FTOK, 1, EACCES);
  EXPECT_EQ(initialize_queue(inq_.c_str(), 2), -1);
  EXPECT_EQ(err.text(), "MSltOpen() failed, errno: 13\n");
}

TEST_F(Tarn, NextMessageFillsTheHeaderAndTheTextAndLevelTwoLogsIt) {
  ASSERT_NO_FATAL_FAILURE(open_logs(2));
  ASSERT_NO_FATAL_FAILURE(open_queues());
  ASSERT_TRUE(post("8~1~1~2~1~"));
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_STREQ(msgin_raw.mtext, "8~1~1~2~1~");
  EXPECT_EQ(msgin.type, 8);
  EXPECT_EQ(msgin.action, 1);
  EXPECT_EQ(msgin.ptype, 1);
  EXPECT_EQ(msgin.stype, 2);
  EXPECT_EQ(msgin.count, 1);
  const std::vector<std::string> lines = lines_of(msg_log_text());
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines.back().ends_with(" R 8~1~1~2~1~")) << lines.back();
}

TEST_F(Tarn, NextMessageClearsWhatTheLastOneLeft) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  ASSERT_TRUE(post("9~2~1~1~1~" + std::string(500, 'x') + "~"));
  ASSERT_TRUE(post("7"));
  ASSERT_EQ(get_next_message(), 1);
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_EQ(msgin.type, 7);
  EXPECT_EQ(msgin.action, 0);
  EXPECT_EQ(msgin.count, 0);
  for (std::size_t i = 1; i < API_TEXT_SIZE; ++i) ASSERT_EQ(msgin_raw.mtext[i], '\0') << "byte " << i;
}

TEST_F(Tarn, ALongTextIsCutToTheInputBuffer) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  const std::string head = "8~1~1~2~1~";
  ASSERT_TRUE(post(head + std::string(3000, 'L')));
  ASSERT_TRUE(put_bytes(msq_in, "12~" + std::string(6000, 'H')));  // beyond the transport too
  ASSERT_TRUE(post("4~0~1~2~0~"));
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_EQ(std::strlen(msgin_raw.mtext), API_TEXT_SIZE - 1);
  EXPECT_EQ(std::string(msgin_raw.mtext, head.size()), head);
  EXPECT_EQ(msgin.type, 8);
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_EQ(std::strlen(msgin_raw.mtext), API_TEXT_SIZE - 1);
  EXPECT_EQ(msgin.type, 12);
  ASSERT_EQ(get_next_message(), 1) << "the next message is not disturbed";
  EXPECT_EQ(msgin.type, 4);
}

TEST_F(Tarn, AnEmptyMessageOrAGoneInputQueueIsReceivedAsAllZero) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  ASSERT_TRUE(put_bytes(msq_in, ""));
  msgin.type = 77;
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_EQ(msgin.type, 0);
  EXPECT_STREQ(msgin_raw.mtext, "");
  ASSERT_EQ(msgctl(qid_of(inq_), IPC_RMID, nullptr), 0);
  al_os_reset();
  msgin.ptype = 77;
  ASSERT_EQ(get_next_message(), 1);
  EXPECT_EQ(msgin.ptype, 0);
  EXPECT_EQ(al_os_calls(AL_OS_MSGRCV), 0) << "at once, without a wait";
}

TEST_F(Tarn, AReceiveErrorOtherThanATimeOutFails) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  al_os_fail_nth(AL_OS_MSGRCV, 1, EIDRM);
  EXPECT_EQ(get_next_message(), 0);
}

TEST_F(Tarn, TimeOutsWithParentAndQueuesInPlaceGoOnWaiting) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  // After 25 time-outs (two watches that find everything in place) the
  // receive itself fails, which ends the wait.
  al_os_fail_nth(AL_OS_MSGRCV, 25 * 3 + 1, EIO);
  EXPECT_EQ(get_next_message(), 0);
  EXPECT_EQ(al_os_calls(AL_OS_MSGRCV), 25 * 3 + 1);
  EXPECT_NE(qid_of(inq_), -1);
  EXPECT_NE(qid_of(outq_), -1);
}

TEST_F(Tarn, TheWatchEndsTheProcessWhenTheParentIsGoneNamingItBeforeAGoneQueue) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  for (const bool out_gone : {false, true}) {
    SCOPED_TRACE(out_gone);
    ASSERT_NO_FATAL_FAILURE(open_queues());
    if (out_gone) {
      ASSERT_EQ(msgctl(qid_of(outq_), IPC_RMID, nullptr), 0);
    }
    EXPECT_EXIT(
        {
          parent = static_cast<long>(getppid()) + 100000;
          get_next_message();
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(qid_of(inq_), -1);
    EXPECT_EQ(qid_of(outq_), -1);
  }
  const std::string text = api_log_text();
  EXPECT_EQ(count_of(text, "Log mesg: Parent gone. Closing queues " + inq_ + " and " + outq_ + " and exiting.\n"), 2u)
      << text;
  EXPECT_NE(text.find(":File:lib/tax/api_tarn "), std::string::npos);
}

TEST_F(Tarn, TheWatchEndsTheProcessWhenAQueueIsGone) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  ASSERT_NO_FATAL_FAILURE(open_queues());
  ASSERT_EQ(msgctl(qid_of(outq_), IPC_RMID, nullptr), 0);
  // The death test runs in a child of this process: its parent is this one.
  EXPECT_EXIT(
      {
        parent = static_cast<long>(getppid());
        get_next_message();
      },
      ::testing::ExitedWithCode(255), "MSltOpen\\(\\) failed, errno: 2");
  EXPECT_EQ(qid_of(inq_), -1);
  const std::string text = api_log_text();
  EXPECT_NE(text.find("Log mesg: Message queue gone. Closing queues " + inq_ + " and " + outq_ + " and exiting.\n"),
            std::string::npos)
      << text;
  const std::string log = msg_log_text();
  const std::string want = " I \nq_in: " + inq_ + "\nq_out: " + outq_ + "\nmsq_in: " + std::to_string(msq_in) +
                           "\nmsq_out: -1\n";
  EXPECT_NE(log.find(want), std::string::npos) << log;
}

TEST_F(Tarn, ACaughtSignalIsHandledAtTheNextWait) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  ASSERT_NO_FATAL_FAILURE(open_queues());
  ASSERT_TRUE(post("8~1~1~1~1~"));
  sigterm_handler(SIGTERM);
  EXPECT_EQ(api_signal_pending, 1);
  EXPECT_NE(qid_of(inq_), -1) << "the handler itself touches no queue";
  EXPECT_EQ(get_next_message(), 1);
  EXPECT_EQ(msgin.type, 0) << "the queues were removed before the receive";
  EXPECT_EQ(qid_of(inq_), -1);
  EXPECT_EQ(qid_of(outq_), -1);
  EXPECT_EQ(api_signal_pending, 0);
  const std::string text = api_log_text();
  EXPECT_EQ(count_of(text, "Log mesg: Signal caught. Closing queues and exiting.\n"), 1u) << text;
  EXPECT_NE(text.find(":File:lib/tax/api_tarn "), std::string::npos);
  EXPECT_EQ(api_handle_pending_signal(), 0) << "handled once";
}

TEST_F(Tarn, TerminateQueueRemovesIt) {
  ASSERT_NO_FATAL_FAILURE(open_queues());
  terminate_queue(msq_out);
  EXPECT_EQ(qid_of(outq_), -1);
  terminate_queue(msq_out);  // already gone: harmless
  terminate_queue(-1);
  EXPECT_NE(qid_of(inq_), -1);
}

}  // namespace
}  // namespace coretest

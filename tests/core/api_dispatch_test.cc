// The main loop's step over real queues with the scriptable test adapter:
// the reply to every message type, the action sequences, the request form,
// adapter failures, provider set-up, engine opening, signals and termination.
#include "api_dispatch.h"

#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace coretest {
namespace {

using Texts = std::vector<std::string>;

class Dispatch : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    setenv("TEST_ADAPTER_TRACE", dir_.at("trace").c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(open_queues());
    ASSERT_NO_FATAL_FAILURE(set_up_provider(1));
    ASSERT_EQ(test_adapter_2.open(), 0);
    std::filesystem::remove(dir_.at("trace"));  // the trace starts with the test
  }
  // Posts every text, runs one loop step, returns its result.
  int step(const Texts& texts) {
    for (const std::string& t : texts) EXPECT_TRUE(post(t)) << t;
    return process_input();
  }
  std::string trace() const { return slurp(dir_.at("trace")); }
  // Both entries stand in the API log, `first` before `second`.
  void expect_logged_in_order(const std::string& first, const std::string& second) const {
    const std::string text = api_log_text();
    const std::size_t a = text.find(first);
    const std::size_t b = text.find(second);
    EXPECT_NE(a, std::string::npos) << text;
    EXPECT_NE(b, std::string::npos) << text;
    EXPECT_LT(a, b) << text;
  }
  // Fills the queue to the last byte; the number of messages put on it.
  static int fill(int key) {
    int sent = 0;
    while (sent < 100000 && put(key, std::string(999, 'f'))) ++sent;
    while (sent < 100000 && put(key, "")) ++sent;
    return sent;
  }
};

struct StepCase {
  Texts in;
  Texts out;
  int result;
};

// One step per case, each from the same set-up.
TEST_F(Dispatch, MessageTypesAndActionSequences) {
  const StepCase cases[] = {
      // Messages outside a request.
      {{"9~1~1~2~1~"}, {"5~0~1~2~0~8.000000~"}, 0},
      {{"0~0~1~1~0~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"5~0~1~1~0~15.000000~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"6~1~1~1~1~0~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"7~1~1~2~1~"}, {"5~0~1~2~0~0.000000~"}, 0},
      {{"10~0~1~1~0~~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"12~0~3~4~0~"}, {"5~0~3~4~0~0.000000~"}, 0},
      {{"-1~0~1~1~0~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"-8~1~1~1~1~"}, {"5~0~1~1~0~0.000000~"}, 0},
      {{"abc"}, {"5~0~0~0~0~0.000000~"}, 0},
      {{"2~0~1~1~0~"}, {}, 1},
      {{"3~0~1~1~0~"}, {}, 1},
      // Action messages that never reach the data message.
      {{"8~1~2~1~1~"}, {"5~0~2~1~0~0.000000~"}, 0},
      {{"8~1~0~0~1~"}, {"5~0~0~0~0~0.000000~"}, 0},
      {{"8~1~1~3~1~"}, {}, 1},
      {{"8~1~1~0~1~"}, {}, 1},
      {{"8~3~1~2~1~"}, {"5~0~1~2~0~15.000000~"}, 0},
      {{"8~0~1~1~1~"}, {"5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~0~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~2~1~2~-4~"}, {"10~0~1~2~0~~", "5~0~1~2~0~15.000000~"}, 0},
      // The message after the acknowledgement.
      {{"8~1~1~1~1~", "9~1~1~2~1~0~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~2~1~", "9~1~1~1~1~0~"}, {"10~0~1~2~0~~", "5~0~1~2~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "7~1~1~1~1~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "8~1~1~1~1~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "9~3~1~1~1~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "9~1~2~1~1~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "9~1~0~1~1~"}, {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}, 0},
      {{"8~1~1~1~1~", "9~1~0~0~1~"}, {"10~0~1~1~0~~"}, 1},
      {{"8~1~1~1~1~", "junk"}, {"10~0~1~1~0~~"}, 1},
      // Complete requests: the data message's action decides.
      {{"8~1~1~1~1~", "9~1~1~1~1~0~1~0~x~"}, {"10~0~1~1~0~~", "6~1~1~1~1~0~", "7~1~1~1~1~std~x~"}, 0},
      {{"8~2~1~1~1~", "9~1~1~1~1~0~1~0~x~"}, {"10~0~1~1~0~~", "6~1~1~1~1~0~", "7~1~1~1~1~std~x~"}, 0},
      {{"8~1~1~2~1~", "9~2~1~2~1~0~2~5~a~"},
       {"10~0~1~2~0~~", "6~2~1~2~2~5~", "7~2~1~2~1~std~a~", "7~2~1~2~2~std~a~"},
       0},
      {{"8~1~1~1~1~", "9~1~1~1~1~0~0~0~"}, {"10~0~1~1~0~~", "6~1~1~1~0~0~"}, 0},
      // Engine failures become error replies.
      {{"8~1~1~1~1~", "9~1~1~1~1~7~"}, {"10~0~1~1~0~~", "5~0~1~1~0~1507.000000~"}, 0},
      {{"8~2~1~2~1~", "9~2~1~2~1~-3~"}, {"10~0~1~2~0~~", "5~0~1~2~0~1497.000000~"}, 0},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.in.front() + (c.in.size() > 1 ? " + " + c.in.back() : ""));
    api_tax = 1;
    EXPECT_EQ(step(c.in), c.result);
    EXPECT_EQ(replies(), c.out);
    EXPECT_EQ(pending(msq_in), 0) << "every message was taken";
    drain(msq_in);
  }
}

TEST_F(Dispatch, ACountBelowOneLeavesTheDataMessageForTheNextStep) {
  EXPECT_EQ(step({"8~1~1~1~0~", "9~1~1~1~1~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~", "5~0~1~1~0~15.000000~"}));
  EXPECT_EQ(process_input(), 0);
  EXPECT_EQ(replies(), (Texts {"5~0~1~1~0~8.000000~"}));
}

TEST_F(Dispatch, TheStandardFormUpTo48DelimitersTheEnhancedFrom49) {
  const std::string base = "9~1~1~1~1~0~1~0~x~";  // 9 delimiters
  const struct {
    int delimiters;
    const char* form;
  } cases[] = {{9, "std"}, {47, "std"}, {48, "std"}, {49, "enh"}, {50, "enh"}, {300, "enh"}};
  for (const auto& c : cases) {
    const std::string data = base + std::string(static_cast<std::size_t>(c.delimiters - 9), '~');
    ASSERT_EQ(count_delimiters(data.c_str()), c.delimiters);
    EXPECT_EQ(step({"8~1~1~1~1~", data}), 0);
    EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~", "6~1~1~1~1~0~", std::string("7~1~1~1~1~") + c.form + "~x~"}))
        << c.delimiters << " delimiters";
  }
  EXPECT_EQ(trace(), "1 tax std\n1 tax std\n1 tax std\n1 tax enh\n1 tax enh\n1 tax enh\n");
  // An address request is never enhanced.
  EXPECT_EQ(step({"8~2~1~1~1~", "9~2~1~1~1~0~1~0~y~" + std::string(60, '~')}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~", "6~2~1~1~1~0~", "7~2~1~1~1~std~y~"}));
  EXPECT_TRUE(trace().ends_with("enh\n1 addr\n")) << trace();
}

TEST_F(Dispatch, TheMessagesSubProviderChoosesTheAdapterNotTheSetUp) {
  ASSERT_EQ(api_subtype, 1);
  EXPECT_EQ(step({"8~1~1~2~1~", "9~1~1~2~1~0~1~0~v~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~2~0~~", "6~1~1~2~1~0~", "7~1~1~2~1~std~v~"}));
  EXPECT_EQ(trace(), "2 tax std\n");
}

TEST_F(Dispatch, AnEngineThatIsNotOpenGetsCodeOne) {
  test_adapter_2.close();
  EXPECT_EQ(step({"8~1~1~2~1~", "9~1~1~2~1~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~2~0~~", "5~0~1~2~0~1.000000~"}));
  EXPECT_EQ(step({"8~2~1~2~1~", "9~2~1~2~1~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~2~0~~", "5~0~1~2~0~1.000000~"}));
  EXPECT_EQ(trace(), "2 close\n") << "no request step reached the engine";
}

TEST_F(Dispatch, AnEngineThatIsNotBuiltInGetsCodeOneNotSetUpForTaxCodeFive) {
  api_set_adapter(1, nullptr);
  EXPECT_EQ(step({"8~1~1~1~1~", "9~1~1~1~1~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~", "5~0~1~1~0~1.000000~"}));
  api_tax = 0;
  EXPECT_EQ(step({"8~1~1~2~1~"}), 0);
  EXPECT_EQ(replies(), (Texts {"5~0~1~1~0~5.000000~"}));
}

TEST_F(Dispatch, ABadActionMessageIsLogged) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  EXPECT_EQ(step({"8~1~2~1~1~"}), 0);
  EXPECT_EQ(replies(), (Texts {"5~0~2~1~0~0.000000~"}));
  const std::string text = api_log_text();
  EXPECT_NE(text.find("tester: Log mesg: API process received bad action message \n"), std::string::npos) << text;
  EXPECT_NE(text.find("tester:File:lib/tax/api "), std::string::npos);
}

TEST_F(Dispatch, AFailedReceiveEndsTheLoopWithTwoEntries) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  al_os_fail_nth(AL_OS_MSGRCV, 1, EIDRM);
  EXPECT_EQ(process_input(), 1);
  EXPECT_TRUE(replies().empty());
  expect_logged_in_order("Log mesg: FATAL ERROR - API queue closed, send failed \n",
                         "Log mesg: FATAL ERROR - API fatal error occurred for user \n");
}

TEST_F(Dispatch, AFailedReceiveOfTheDataMessageEndsTheLoopWithoutAReply) {
  ASSERT_TRUE(post("8~1~1~1~1~"));
  al_os_fail_nth(AL_OS_MSGRCV, 2, EIDRM);  // the first call takes the action message
  EXPECT_EQ(process_input(), 1);
  EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~"}));
}

TEST_F(Dispatch, AFailedSendEndsTheLoop) {
  const Texts request = {"8~1~1~1~1~", "9~1~1~1~1~0~2~0~r~"};
  const struct {
    Texts in;
    int failing_send;  // 1 is the first send of the step
    Texts out;
    int result;
  } cases[] = {
      {{"9~1~1~1~1~"}, 1, {}, 1},                                          // an error reply
      {{"8~1~1~1~1~", "9~1~1~1~1~9~"}, 2, {"10~0~1~1~0~~"}, 1},            // an engine's error code
      {request, 2, {"10~0~1~1~0~~"}, 1},                                   // the status message
      {request, 3, {"10~0~1~1~0~~", "6~1~1~1~2~0~"}, 1},                   // the first result
      {request, 4, {"10~0~1~1~0~~", "6~1~1~1~2~0~", "7~1~1~1~1~std~r~"}, 1},  // the last result
      {request, 1, {"6~1~1~1~2~0~", "7~1~1~1~1~std~r~", "7~1~1~1~2~std~r~"}, 0},  // the ack is not looked at
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.back() + " send " + std::to_string(c.failing_send));
    al_os_reset();
    al_os_fail_nth(AL_OS_MSGSND, c.failing_send, EIDRM);
    EXPECT_EQ(step(c.in), c.result);
    EXPECT_EQ(replies(), c.out);
  }
  al_os_reset();
  EXPECT_EQ(step({"9~1~1~1~1~"}), 0) << "the next send goes out again";
}

TEST_F(Dispatch, AFullOutputQueueThatNobodyReadsEndsTheLoopAfterTheWait) {
  setenv("TARN_API_TIMEOUT", "50", 1);
  int sent = fill(msq_out);
  ASSERT_GT(sent, 0);
  EXPECT_EQ(step({"9~1~1~1~1~"}), 1);
  EXPECT_EQ(MSltGetSendWait(), 50) << "the send waits as long as a receive";
  EXPECT_EQ(pending(msq_out), sent) << "nothing was dropped or added";
}

TEST_F(Dispatch, ARepliesRoomIsWaitedForWhenTheErpReadsLate) {
  setenv("TARN_API_TIMEOUT", "20000", 1);
  const int sent = fill(msq_out);
  // Another process empties the queue a little later.
  const int out = msq_out;
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    usleep(100 * 1000);
    for (int i = 0; i < sent; ++i) take(out);
    _exit(0);
  }
  EXPECT_EQ(step({"9~1~1~1~1~"}), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(replies(), (Texts {"5~0~1~1~0~8.000000~"}));
}

TEST_F(Dispatch, AnInitMessageSetsUpAndAcknowledges) {
  api_tax = 0;
  api_subtype = 0;
  test_adapter_1.close();
  test_adapter_2.close();
  EXPECT_EQ(step({"1~0~1~2~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~2~0~~"}));
  EXPECT_EQ(api_tax, 1);
  EXPECT_EQ(api_subtype, 2);
  EXPECT_NE(test_adapter_2.ready(), 0);
  EXPECT_EQ(test_adapter_1.ready(), 0);
  // A second init switches the sub-provider and opens again without closing.
  EXPECT_EQ(step({"1~0~1~1~0~"}), 0);
  EXPECT_EQ(replies(), (Texts {"10~0~1~1~0~~"}));
  EXPECT_EQ(api_subtype, 1);
  EXPECT_EQ(trace(), "1 close\n2 close\n2 open\n1 open\n");
}

TEST_F(Dispatch, AnInitMessageForAnotherProviderGetsCode14AndEndsTheLoop) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  EXPECT_EQ(step({"1~0~2~1~0~"}), 1);
  EXPECT_EQ(replies(), (Texts {"5~0~2~1~0~14.000000~"}));
  EXPECT_NE(api_log_text().find("Log mesg: FATAL ERROR - API process passed invalid init. message\n"),
            std::string::npos);
}

TEST_F(Dispatch, AnInitMessageWhoseEngineFailsEndsTheProcess) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  setenv("TEST_ADAPTER_OPEN", "1", 1);
  ASSERT_TRUE(post("1~0~1~2~0~"));
  EXPECT_EXIT(process_input(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(qid_of(inq_), -1);
  EXPECT_EQ(qid_of(outq_), -1);
  expect_logged_in_order("Log mesg: FATAL ERROR - API process passed invalid init. message\n",
                         "Log mesg: API process exited by user \n");
}

TEST_F(Dispatch, ATerminateMessageEndsTheProcessWithoutAReply) {
  ASSERT_NO_FATAL_FAILURE(open_logs(2));
  ASSERT_TRUE(post("4~0~1~1~0~"));
  EXPECT_EXIT(process_input(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(qid_of(inq_), -1);
  EXPECT_EQ(qid_of(outq_), -1);
  expect_logged_in_order("Log mesg: API process received terminate message \n",
                         "Log mesg: API process exited by user \n");
  EXPECT_EQ(count_of(msg_log_text(), " S "), 0u) << msg_log_text();
  EXPECT_TRUE(trace().ends_with("1 close\n")) << trace();
}

TEST_F(Dispatch, TerminationClosesOnlyTheEngineOfTheSetUp) {
  EXPECT_EXIT(terminate_api(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(trace(), "1 close\n");
  api_tax = 0;
  EXPECT_EXIT(terminate_api(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(trace(), "1 close\n") << "without the tax set-up no engine is closed";
}

TEST_F(Dispatch, TerminationWithoutQueuesOrLogs) {
  msq_in = msq_out = -1;
  EXPECT_EXIT(terminate_api(), ::testing::ExitedWithCode(0), "");
  EXPECT_NE(qid_of(inq_), -1) << "nothing was removed";
}

TEST_F(Dispatch, SigabrtRemovesTheQueuesAtOnce) {
  ASSERT_EQ(std::raise(SIGABRT), 0);
  EXPECT_EQ(qid_of(inq_), -1);
  EXPECT_EQ(qid_of(outq_), -1);
  EXPECT_EQ(api_signal_pending, 1);
}

TEST_F(Dispatch, ASignalDuringAFullWaitEndsIt) {
  ASSERT_NO_FATAL_FAILURE(open_logs(1));
  setenv("TARN_API_TIMEOUT", "100000", 1);
  // A helper process sends SIGTERM while the receive waits for a message
  // that never comes.
  EXPECT_EXIT(
      {
        const pid_t me = getpid();
        if (fork() == 0) {
          usleep(200 * 1000);
          kill(me, SIGTERM);
          _exit(0);
        }
        _exit(process_input() == 1 ? 7 : 8);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_NE(api_log_text().find("Signal caught. Closing queues and exiting."), std::string::npos);
  EXPECT_EQ(qid_of(inq_), -1);
}

TEST(ProviderSetUp, Table) {
  const struct {
    int ptype;
    int stype;
    int result;
    int tax;
    int subtype;
  } cases[] = {
      {2, 1, -1, 0, 0}, {0, 1, -1, 0, 0}, {-1, 2, -1, 0, 0}, {1, 3, 0, 0, 0},
      {1, 0, 0, 0, 0},  {1, 1, 0, 1, 1},  {1, 2, 0, 1, 2},
  };
  void (*saved[3])(int);
  const int sigs[3] = {SIGTERM, SIGINT, SIGABRT};
  for (int i = 0; i < 3; ++i) saved[i] = std::signal(sigs[i], SIG_DFL);
  for (const auto& c : cases) {
    api_tax = 0;
    api_subtype = 0;
    parent = 0;
    EXPECT_EQ(init_provider_type(c.ptype, c.stype), c.result) << c.ptype << "/" << c.stype;
    EXPECT_EQ(api_tax, c.tax) << c.ptype << "/" << c.stype;
    EXPECT_EQ(api_subtype, c.subtype) << c.ptype << "/" << c.stype;
    EXPECT_EQ(parent, c.result == 0 ? static_cast<long>(getppid()) : 0L);
    for (int sig : sigs) {
      void (*now)(int) = std::signal(sig, SIG_DFL);
      EXPECT_EQ(now != SIG_DFL, c.result == 0) << "signal " << sig;
    }
  }
  // A wrong sub-provider keeps the set-up that was there.
  ASSERT_EQ(init_provider_type(1, 2), 0);
  ASSERT_EQ(init_provider_type(1, 9), 0);
  EXPECT_EQ(api_tax, 1);
  EXPECT_EQ(api_subtype, 2);
  for (int i = 0; i < 3; ++i) std::signal(sigs[i], saved[i]);
  api_tax = 0;
  api_subtype = 0;
}

class EngineOpen : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    setenv("TEST_ADAPTER_TRACE", dir_.at("trace").c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(open_queues());
  }
};

TEST_F(EngineOpen, AnotherProviderOpensNothing) {
  api_tax = 1;
  api_subtype = 1;
  EXPECT_EQ(init_apis(2), 0);
  EXPECT_EQ(slurp(dir_.at("trace")), "");
  EXPECT_TRUE(replies().empty());
}

TEST_F(EngineOpen, NotSetUpIsAWrongSubProviderWithCodeZero) {
  EXPECT_EQ(init_apis(1), 3);
  EXPECT_EQ(replies(), (Texts {"5~0~0~0~0~0.000000~"}));
  msgin.ptype = 1;
  msgin.stype = 7;
  EXPECT_EQ(init_apis(1), 3);
  EXPECT_EQ(replies(), (Texts {"5~0~1~7~0~0.000000~"})) << "the header of the message received last";
}

TEST_F(EngineOpen, TheOpenResultIsPassedOn) {
  for (const char* result : {"0", "1", "2"}) {
    setenv("TEST_ADAPTER_OPEN", result, 1);
    for (int stype : {1, 2}) {
      ASSERT_EQ(init_provider_type(1, stype), 0);
      EXPECT_EQ(init_apis(1), std::atoi(result)) << stype;
    }
  }
  EXPECT_TRUE(replies().empty());
}

TEST_F(EngineOpen, TheAdapterRegistryAndAnEngineNotBuiltIn) {
  EXPECT_EQ(api_get_adapter(0), nullptr);
  EXPECT_EQ(api_get_adapter(3), nullptr);
  EXPECT_EQ(api_get_adapter(-1), nullptr);
  EXPECT_EQ(api_get_adapter(1), &test_adapter_1);
  api_set_adapter(1, nullptr);
  EXPECT_EQ(api_get_adapter(1), &api_unavailable_adapter);
  api_set_adapter(3, &test_adapter_1);  // ignored
  EXPECT_EQ(api_get_adapter(3), nullptr);
  EXPECT_EQ(api_unavailable_adapter.open(), 1);
  EXPECT_EQ(api_unavailable_adapter.ready(), 0);
  api_unavailable_adapter.close();
  ASSERT_EQ(init_provider_type(1, 1), 0);
  EXPECT_EQ(init_apis(1), 1) << "an engine not built in fails to open";
}

}  // namespace
}  // namespace coretest

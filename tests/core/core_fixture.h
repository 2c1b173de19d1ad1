// The fixture of the in-process core tests: every test starts from a clean
// process-wide state (queues closed, logs closed, not set up, no fault armed,
// signal handlers as they were) in a temporary directory of its own, and
// every queue it opened is removed afterwards, also when it failed.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

#include "al_mslot.h"
#include "al_os.h"
#include "api_adapter.h"
#include "api_dispatch.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_tarn.h"
#include "core_test_util.h"
#include "test_adapter.h"

namespace coretest {

class CoreFixture : public ::testing::Test {
 protected:
  CoreFixture()
      : env_({"TARN_API_TIMEOUT", "APILOG", "USER", "QSE", "HOME", "TEST_ADAPTER_OPEN", "TEST_ADAPTER_TRACE", "TZ",
              "CONFIGSPEC"}) {}

  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    for (int i = 0; i < 3; ++i) old_handlers_[i] = std::signal(kSignals[i], SIG_DFL);
    unsetenv("APILOG");
    unsetenv("TEST_ADAPTER_OPEN");
    unsetenv("TEST_ADAPTER_TRACE");
    setenv("TARN_API_TIMEOUT", "10", 1);
    reset_state();
    inq_ = dir_.touch("inq");
    outq_ = dir_.touch("outq");
  }

  void TearDown() override {
    close_logs();
    test_adapter_1.close();
    test_adapter_2.close();
    api_set_adapter(1, nullptr);
    api_set_adapter(2, nullptr);
    msq_in = msq_out = -1;
    MSltSetInterrupt(nullptr);
    MSltSetSendWait(30000);
    api_signal_pending = 0;
    al_os_reset();
    for (int i = 0; i < 3; ++i) std::signal(kSignals[i], old_handlers_[i]);
    queues_.remove_all();
  }

  static void reset_state() {
    msq_in = msq_out = -1;
    nmsq_in[0] = nmsq_out[0] = '\0';
    api_log = 0;
    api_tax = 0;
    api_subtype = 0;
    mode = 0;
    diag_mode = 0;
    parent = static_cast<long>(getppid());
    api_signal_pending = 0;
    std::snprintf(username, sizeof username, "%s", "tester");
    msgin = MessageHeader {};
    std::memset(msgin_raw.mtext, 0, sizeof msgin_raw.mtext);
    std::memset(msgout_raw.mtext, 0, sizeof msgout_raw.mtext);
    al_os_reset();
    MSltSetInterrupt(nullptr);
    MSltSetSendWait(30000);
    test_adapter_register();
    test_adapter_1.close();
    test_adapter_2.close();
  }

  // Creates the output queue as the ERP does, then lets the session open both.
  void open_queues() {
    queues_.watch(inq_);
    ASSERT_NE(queues_.create(outq_), -1);
    std::snprintf(nmsq_in, sizeof nmsq_in, "%s", inq_.c_str());
    std::snprintf(nmsq_out, sizeof nmsq_out, "%s", outq_.c_str());
    ASSERT_EQ(setup_passed_queues(inq_.c_str(), outq_.c_str()), 0);
    ASSERT_NE(msq_in, -1);
    ASSERT_NE(msq_out, -1);
  }

  // Opens the API log (and, for level > 0, the message log) in the test's directory.
  void open_logs(int level) {
    api_log = level;
    log_file = std::fopen(dir_.at("log.api").c_str(), "a+");
    ASSERT_NE(log_file, nullptr);
    if (level > 0) {
      msg_file = std::fopen(dir_.at("api_msg.log").c_str(), "a+");
      ASSERT_NE(msg_file, nullptr);
    }
  }
  static void close_logs() {
    api_log_close();
    api_message_log_close();
  }
  std::string api_log_text() const { return slurp(dir_.at("log.api")); }
  std::string msg_log_text() const { return slurp(dir_.at("api_msg.log")); }

  // Set up for the tax provider with sub-provider `stype`, engine `stype` open.
  void set_up_provider(int stype) {
    ASSERT_EQ(init_provider_type(1, stype), 0);
    ASSERT_EQ(init_apis(1), 0);
  }

  bool post(const std::string& text, long type = 1) { return put(msq_in, text, type); }
  std::vector<std::string> replies() { return drain(msq_out); }

  static constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGABRT};
  EnvGuard env_;
  TempDir dir_;
  QueueGuard queues_;
  std::string inq_;
  std::string outq_;
  void (*old_handlers_[3])(int) = {};
};

}  // namespace coretest
